// A workbook read as one import: the sheets chosen, their rows merged.

#include "import/table_import.h"
#include "import/table_import_p.h"

#include <map>
#include <stdexcept>
#include <tuple>

namespace trp::tableimport {

namespace {

// Fills the empty measures of `into` from `from`; false when both hold one.
bool Fill(growth::Measure& into, const growth::Measure& from) {
  if (!from.value && !from.mean && !from.sd) return true;
  if (into.value || into.mean || into.sd) return false;
  into = from;
  return true;
}
bool Fill(std::optional<double>& into, const std::optional<double>& from) {
  if (!from) return true;
  if (into) return false;
  into = from;
  return true;
}

QString Clash(const QString& sheet) {
  return QStringLiteral(
             "A planilha %1 repete valores já lidos de outra planilha (mesmo "
             "percentil, chave, sexo e medida).")
      .arg(sheet);
}

void Merge(Result& all, Result&& one, const QString& sheet) {
  for (auto& [k, v] : one.percentiles) all.percentiles[k] = v;
  for (auto& p : one.placed) all.placed.push_back(p);
  for (auto& n : one.errors) all.errors.push_back(n);
  for (auto& p : one.rows.lms) all.rows.lms.push_back(p);
  all.lmsOnlyLines += one.lmsOnlyLines;
  std::map<std::tuple<QString, int, int>, size_t> age;
  for (size_t i = 0; i < all.rows.age.size(); ++i)
    age[{all.rows.age[i].percentile, all.rows.age[i].years, all.rows.age[i].months}] = i;
  for (const growth::AgeRow& r : one.rows.age) {
    const auto it = age.find({r.percentile, r.years, r.months});
    if (it == age.end()) {
      age[{r.percentile, r.years, r.months}] = all.rows.age.size();
      all.rows.age.push_back(r);
      continue;
    }
    growth::AgeRow& into = all.rows.age[it->second];
    for (int s = 0; s < 2; ++s)
      if (!Fill(into.weight[s], r.weight[s]) || !Fill(into.height[s], r.height[s]) ||
          !Fill(into.head[s], r.head[s]))
        all.errors.push_back({0, -1, Clash(sheet)});
  }
  auto byHeight = [&](auto& into, const auto& from) {
    std::map<std::pair<QString, double>, size_t> at;
    for (size_t i = 0; i < into.size(); ++i) at[{into[i].percentile, into[i].height}] = i;
    for (const auto& r : from) {
      const auto it = at.find({r.percentile, r.height});
      if (it == at.end()) {
        at[{r.percentile, r.height}] = into.size();
        into.push_back(r);
        continue;
      }
      for (int s = 0; s < 2; ++s)
        if (!Fill(into[it->second].weight[s], r.weight[s]))
          all.errors.push_back({0, -1, Clash(sheet)});
    }
  };
  byHeight(all.rows.height, one.rows.height);
  byHeight(all.rows.nchs, one.rows.nchs);
}

}  // namespace

Result ReadBook(const sheet::Workbook& book, const Options& o,
                std::vector<std::pair<QString, Mapping>>* mappings) {
  if (!o.table && !o.key && o.map.isEmpty() && o.sheet.isEmpty() && IsExported(book))
    return ReadExported(book);
  std::vector<const sheet::Sheet*> chosen;
  for (const sheet::Sheet& s : book.sheets) {
    if (!o.sheet.isEmpty() ? s.name == o.sheet : Propose(s, o.table, o.key).headerLine > 0)
      chosen.push_back(&s);
  }
  if (!o.sheet.isEmpty() && chosen.empty()) {
    QStringList names;
    for (const sheet::Sheet& s : book.sheets) names << s.name;
    throw std::runtime_error(QStringLiteral("A planilha '%1' não existe no arquivo (há: %2).")
                                 .arg(o.sheet, names.join(QStringLiteral(", ")))
                                 .toStdString());
  }
  if (chosen.empty() && !book.sheets.isEmpty()) chosen.push_back(&book.sheets.front());
  Result all;
  for (const sheet::Sheet* s : chosen) {
    Mapping m = Propose(*s, o.table, o.key);
    ApplyMap(m, *s, o.map);
    if (mappings) mappings->emplace_back(s->name, m);
    Result one = Read(*s, m, o.percentiles);
    if (chosen.size() > 1)
      for (Note& n : one.errors) n.text = QStringLiteral("Planilha %1: %2").arg(s->name, n.text);
    Merge(all, std::move(one), s->name);
  }
  SortRows(all.rows);
  return all;
}

}  // namespace trp::tableimport
