// The plausibility findings of an import per value, and its percentiles
// matched to the registered ones by value.

#include "import/reference_ranges.h"
#include "import/table_import.h"

#include <cmath>
#include <map>
#include <stdexcept>
#include <tuple>

namespace trp::tableimport {

namespace {

using growth::Quantity;
using growth::Sex;

QString Num(double v) { return QString::number(v, 'g', 6).replace(u'.', u','); }

double ValueOf(const std::map<QString, PercentileSpec>& specs, const QString& code) {
  const auto it = specs.find(code);
  if (it != specs.end() && it->second.value) return *it->second.value;
  return code.mid(code.startsWith(u'P') ? 1 : 0).toDouble();
}

using CurveId = std::tuple<int, int, int, QString>;  // table, sex, quantity, percentile
using KeyId = std::tuple<int, int, int, double>;     // table, sex, quantity, key
using Curve = std::map<double, double>;              // key -> value

struct Curves {
  std::map<CurveId, Curve> byPercentile;
  std::map<KeyId, std::map<double, double>> byKey;  // percentile value -> value
  void Add(Table t, Sex sex, Quantity q, const QString& perc, double pValue, double key,
           const std::optional<double>& v) {
    if (!v) return;
    byPercentile[{int(t), int(sex), int(q), perc}][key] = *v;
    byKey[{int(t), int(sex), int(q), key}][pValue] = *v;
  }
};

QString Text(growth::Finding f, const growth::ValueInContext& v) {
  switch (f) {
    case growth::Finding::Bounds: {
      const growth::Range r = growth::RangeOf(v.quantity);
      return QStringLiteral("fora dos limites fisiológicos (%1 a %2)").arg(Num(r.low), Num(r.high));
    }
    case growth::Finding::Jump:
      return QStringLiteral("salto: afastado da linha entre os vizinhos do mesmo percentil");
    case growth::Finding::Reference:
      return QStringLiteral("fora da faixa das curvas OMS e CDC nesta chave (%1 a %2)")
          .arg(Num(v.reference->low), Num(v.reference->high));
    case growth::Finding::Order:
      return QStringLiteral("fora de ordem: não está entre os percentis vizinhos");
    case growth::Finding::None:
      break;
  }
  return {};
}

}  // namespace

QStringList CheckPlausibility(Result& r) {
  growth::PercentileValues values;
  for (const auto& [code, spec] : r.percentiles) values[code] = ValueOf(r.percentiles, code);
  const QStringList messages = growth::CheckRows(r.rows, values);

  Curves c;
  for (const auto& row : r.rows.age)
    for (Sex sex : {growth::kMale, growth::kFemale}) {
      const double key = row.years * 12 + row.months, p = values[row.percentile];
      c.Add(Table::Age, sex, Quantity::Weight, row.percentile, p, key, row.weight[sex].value);
      c.Add(Table::Age, sex, Quantity::Stature, row.percentile, p, key, row.height[sex].value);
      c.Add(Table::Age, sex, Quantity::Head, row.percentile, p, key, row.head[sex].value);
    }
  for (const auto& row : r.rows.height)
    for (Sex sex : {growth::kMale, growth::kFemale})
      c.Add(Table::Height, sex, Quantity::Weight, row.percentile, values[row.percentile],
            row.height, row.weight[sex]);
  for (const auto& row : r.rows.nchs)
    for (Sex sex : {growth::kMale, growth::kFemale})
      c.Add(Table::Nchs, sex, Quantity::Weight, row.percentile, values[row.percentile], row.height,
            row.weight[sex].value);

  std::map<CurveId, double> steps;
  const growth::ReferenceCurves& shipped = growth::ReferenceCurves::Shipped();
  r.findings.clear();
  for (const Placed& p : r.placed) {
    const CurveId id{int(p.table), int(p.sex), int(p.quantity), p.percentile};
    const auto curveIt = c.byPercentile.find(id);
    if (curveIt == c.byPercentile.end()) continue;
    const Curve& curve = curveIt->second;
    const auto at = curve.find(p.key);
    if (at == curve.end()) continue;
    const bool byAge = p.table == Table::Age;
    growth::ValueInContext v;
    v.quantity = p.quantity;
    v.byAge = byAge;
    v.at = {p.key, at->second};
    if (at != curve.begin()) {
      auto prev = std::prev(at);
      v.previous = growth::Point{prev->first, prev->second};
      if (prev != curve.begin())
        v.beforePrevious = growth::Point{std::prev(prev)->first, std::prev(prev)->second};
    }
    if (auto next = std::next(at); next != curve.end()) {
      v.next = growth::Point{next->first, next->second};
      if (auto after = std::next(next); after != curve.end())
        v.afterNext = growth::Point{after->first, after->second};
    }
    auto step = steps.find(id);
    if (step == steps.end()) {
      std::vector<double> keys;
      for (const auto& [k, value] : curve) keys.push_back(k);
      step = steps.emplace(id, growth::UsualStep(byAge, keys)).first;
    }
    v.step = step->second;
    const auto& sameKey = c.byKey[{int(p.table), int(p.sex), int(p.quantity), p.key}];
    const double pValue = values[p.percentile];
    if (auto it = sameKey.find(pValue); it != sameKey.end()) {
      if (it != sameKey.begin()) v.lowerPercentile = std::prev(it)->second;
      if (std::next(it) != sameKey.end()) v.upperPercentile = std::next(it)->second;
    }
    if (const auto a = shipped.RangeAt(p.quantity, growth::Statistic::Value, byAge, p.sex, p.key))
      v.reference = growth::Range{a->low, a->high};
    const growth::Finding f = growth::CheckValue(v);
    if (f != growth::Finding::None)
      r.findings.push_back(
          {p.table, p.percentile, p.key, p.column, p.line, p.fileColumn, Text(f, v)});
  }
  return messages;
}

std::map<QString, QString> ResolvePercentiles(const std::map<QString, PercentileSpec>& specs,
                                              const std::vector<KnownPercentile>& known,
                                              std::vector<NewPercentile>& created) {
  std::map<QString, QString> codes;
  auto codeTaken = [&](const QString& code) {
    for (const KnownPercentile& k : known)
      if (k.code == code) return true;
    for (const NewPercentile& n : created)
      if (n.code == code) return true;
    return false;
  };
  for (const auto& [key, spec] : specs) {
    QString code;
    for (const KnownPercentile& k : known)
      if (spec.value && k.value && *k.value == *spec.value) code = k.code;
    for (const NewPercentile& n : created)
      if (code.isEmpty() && spec.value && n.value && *n.value == *spec.value) code = n.code;
    if (code.isEmpty() && !spec.value)
      for (const KnownPercentile& k : known)
        if (k.code == spec.code) code = k.code;
    if (code.isEmpty()) {
      QString fresh = spec.code;
      if (fresh.isEmpty() && spec.value && *spec.value == std::floor(*spec.value))
        fresh = growth::PercentileCode(*spec.value);
      if (fresh.isEmpty() || codeTaken(fresh))
        throw std::runtime_error(
            QStringLiteral("O percentil %1 não está cadastrado e não há código livre para ele; "
                           "cadastre-o com esse valor em Cadastros › Percentis antes de importar.")
                .arg(spec.value ? Num(*spec.value) : spec.code)
                .toStdString());
      const QString name = !spec.name.isEmpty() ? spec.name
                           : spec.value ? QStringLiteral("Percentil %1").arg(Num(*spec.value))
                                        : QStringLiteral("Percentil %1").arg(fresh);
      created.push_back({fresh, name, spec.value});
      code = fresh;
    }
    codes[key] = code;
  }
  return codes;
}

void Recode(growth::Rows& rows, const std::map<QString, QString>& codes) {
  for (auto& r : rows.age) r.percentile = codes.at(r.percentile);
  for (auto& r : rows.height) r.percentile = codes.at(r.percentile);
  for (auto& r : rows.nchs) r.percentile = codes.at(r.percentile);
}

}  // namespace trp::tableimport
