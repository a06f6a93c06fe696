// The rows a mapped sheet gives, every refusal with its line and column.

#include "framework/data/format.h"
#include "framework/data/paste_block.h"
#include "import/table_import.h"
#include "import/table_import_p.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

namespace trp::tableimport {

namespace {

using growth::Sex;

QString Num(double v) { return QString::number(v, 'g', 10).replace(u'.', u','); }

// What a spreadsheet program may put in a number cell: digits with a decimal
// comma or point (the paste rules), a sign where the column allows one.
std::optional<double> Number(const sheet::Cell& c, bool signedValue, QString& why) {
  if (c.number) return c.number;
  QString t = c.text.trimmed();
  if (t.isEmpty()) return std::nullopt;
  bool negative = false;
  if (signedValue && (t.startsWith(u'-') || t.startsWith(QChar(0x2212)))) {
    negative = true;
    t = t.mid(1);
  }
  const fw::PastedNumber n = fw::ParsePastedNumber(t, 6, 20);
  if (!n.value) {
    why = QStringLiteral("'%1' não é um número (%2)").arg(c.text, n.refusal);
    return std::nullopt;
  }
  return negative ? -*n.value : *n.value;
}

const sheet::Cell* At(const sheet::Row& r, int column) {
  static const sheet::Cell empty;
  return column >= 0 && size_t(column) < r.cells.size() ? &r.cells[size_t(column)] : &empty;
}

std::optional<Sex> SexOf(const QString& text) {
  const QString t = Normalised(text);
  if (t == u"1" || t == u"m" || t.startsWith(u"masc") || t == u"male" || t == u"menino" ||
      t == u"meninos" || t == u"boys" || t == u"boy")
    return growth::kMale;
  if (t == u"2" || t == u"f" || t.startsWith(u"fem") || t == u"female" || t == u"menina" ||
      t == u"meninas" || t == u"girls" || t == u"girl")
    return growth::kFemale;
  return std::nullopt;
}

const char* Indicator(Table t, Measure m) {
  if (t == Table::Height) return "peso_comprimento";
  if (t == Table::Nchs) return "peso_estatura";
  if (m == Measure::Stature) return "estatura_idade";
  if (m == Measure::Head) return "pc_idade";
  return "peso_idade";
}

growth::Quantity QuantityOf(Table t, Measure m) {
  if (t != Table::Age || m == Measure::Weight) return growth::Quantity::Weight;
  return m == Measure::Stature ? growth::Quantity::Stature : growth::Quantity::Head;
}

const char* const kIndicators[] = {"peso_idade", "comprimento_idade", "estatura_idade", "pc_idade",
                                   "imc_idade",  "peso_comprimento",  "peso_estatura"};

QString PercentileKey(double p) { return QStringLiteral("P%1").arg(p); }

// The stored column of a measure of one sex: value, mean, deviation.
QString StoredColumn(Table t, growth::Quantity q, Sex sex, int statistic) {
  static const char* const age[3][2][3] = {{{"VRPESOMASIDA", "VRMDPSMASIDA", "VRDPPSMASIDA"},
                                            {"VRPESOFEMIDA", "VRMDPSFEMIDA", "VRDPPSFEMIDA"}},
                                           {{"VRALTUMASIDA", "VRMDATMASIDA", "VRDPATMASIDA"},
                                            {"VRALTUFEMIDA", "VRMDATFEMIDA", "VRDPATFEMIDA"}},
                                           {{"VRPMCFMASIDA", "VRMDPCMASIDA", "VRDPPCMASIDA"},
                                            {"VRPMCFFEMIDA", "VRMDPCFEMIDA", "VRDPPCFEMIDA"}}};
  static const char* const nchs[2][3] = {{"VRPESOMASN2", "VRMEDIMASN2", "VRDVPDMASN2"},
                                         {"VRPESOFEMN2", "VRMEDIFEMN2", "VRDVPDFEMN2"}};
  if (t == Table::Age) return QString::fromLatin1(age[int(q)][sex][statistic]);
  if (t == Table::Nchs) return QString::fromLatin1(nchs[sex][statistic]);
  return QString::fromLatin1(sex == growth::kMale ? "VRPESOMASALT" : "VRPESOFEMALT");
}

class SheetReader {
 public:
  SheetReader(const sheet::Sheet& s, const Mapping& m, const QList<double>& percentiles, Result& r)
      : s_(s), m_(m), chosen_(percentiles), r_(r) {}

  void Run() {
    if (!CheckMapping()) return;
    for (const sheet::Row& row : s_.rows)
      if (row.line > m_.headerLine && m_.key == Key::Months) {
        const sheet::Cell* k = At(row, keyColumn_);
        QString why;
        if (const std::optional<double> v = Number(*k, false, why))
          halfMonths_ = halfMonths_ || std::fabs(*v - std::floor(*v) - 0.5) < 1e-9;
      }
    for (const sheet::Row& row : s_.rows)
      if (row.line > m_.headerLine) Line(row);
    if (!r_.errors.empty()) return;
    Store();
  }

 private:
  struct Value {
    std::optional<double> value, mean, sd;
    int line = 0, column = -1;
  };
  // (percentile, key) -> (sex -> value)
  using Key2 = std::pair<double, double>;

  void Error(int line, int column, const QString& text) {
    r_.errors.push_back({line, column, text});
  }

  bool CheckMapping() {
    for (size_t c = 0; c < m_.columns.size(); ++c) {
      const ColumnRole& role = m_.columns[c];
      const int column = int(c);
      switch (role.role) {
        case Role::Key:
          keyColumn_ = column;
          break;
        case Role::Years:
          yearsColumn_ = column;
          break;
        case Role::Months:
          monthsColumn_ = column;
          break;
        case Role::Sex:
          sexColumn_ = column;
          break;
        case Role::L:
          l_ = column;
          break;
        case Role::M:
          mColumn_ = column;
          break;
        case Role::S:
          s__ = column;
          break;
        case Role::Percentile:
          published_[role.percentile] = column;
          break;
        default:
          break;
      }
    }
    if (m_.key == Key::YearsMonths)
      keyColumn_ = yearsColumn_;
    else if (keyColumn_ < 0)
      keyColumn_ = monthsColumn_;
    const int at = m_.headerLine;
    if (m_.headerLine <= 0)
      Error(0, -1,
            QStringLiteral("Nenhuma linha de cabeçalho com a chave (idade ou altura) e "
                           "colunas de percentis ou L, M e S; diga o que são as colunas."));
    else if (keyColumn_ < 0 || (m_.key == Key::YearsMonths && monthsColumn_ < 0))
      Error(at, -1, QStringLiteral("Falta a coluna da chave (%1).").arg(KeyName(m_.key)));
    else if ((m_.key == Key::Cm) != (m_.table != Table::Age))
      Error(at, keyColumn_,
            m_.table == Table::Age
                ? QStringLiteral("A tabela por idade precisa de uma idade como chave, não altura.")
                : QStringLiteral("As tabelas por altura precisam da altura em cm como chave."));
    else if (sexColumn_ < 0 && !m_.sex)
      Error(at, -1,
            QStringLiteral("Falta o sexo: uma coluna de sexo, ou o sexo da planilha "
                           "inteira (sexo=masculino ou sexo=feminino)."));
    const int lms = (l_ >= 0) + (mColumn_ >= 0) + (s__ >= 0);
    if (r_.errors.empty() && lms != 0 && lms != 3)
      Error(at, -1, QStringLiteral("L, M e S vêm juntos: falta uma das três colunas."));
    if (r_.errors.empty() && lms == 0 && published_.empty())
      Error(at, -1, QStringLiteral("Nenhuma coluna de percentil (P3 a P97) nem de L, M e S."));
    return r_.errors.empty();
  }

  // The table key of a line: months (age) or cm; nullopt for a line that
  // feeds only L, M and S. `raw` is the key as the file gives it.
  std::optional<double> TableKey(const sheet::Row& row, double& raw, bool& ok) {
    ok = false;
    QString why;
    const sheet::Cell* k = At(row, keyColumn_);
    const std::optional<double> v = Number(*k, false, why);
    if (!v) {
      Error(row.line, keyColumn_,
            why.isEmpty() ? QStringLiteral("Chave vazia.") : why + QStringLiteral("."));
      return std::nullopt;
    }
    raw = *v;
    switch (m_.key) {
      case Key::YearsMonths: {
        const sheet::Cell* mc = At(row, monthsColumn_);
        const std::optional<double> months = Number(*mc, false, why);
        if (!months || *months != std::floor(*months) || *months > 11 || *v != std::floor(*v)) {
          Error(row.line, months ? keyColumn_ : monthsColumn_,
                QStringLiteral("Idade inválida: anos e meses inteiros, meses de 0 a 11."));
          return std::nullopt;
        }
        ok = true;
        raw = *v * 12 + *months;
        return raw;
      }
      case Key::Months: {
        const double whole = std::floor(*v);
        ok = true;
        if (halfMonths_) {
          if (std::fabs(*v - whole - 0.5) < 1e-9) return whole;
          if (*v == whole) return std::nullopt;  // the birth point, for L, M and S
        } else if (*v == whole) {
          return whole;
        }
        ok = false;
        Error(row.line, keyColumn_,
              QStringLiteral("Idade de %1 meses: use meses inteiros, ou meios meses como o CDC.")
                  .arg(Num(*v)));
        return std::nullopt;
      }
      case Key::Days: {
        ok = *v == std::floor(*v);
        if (!ok) {
          Error(row.line, keyColumn_,
                QStringLiteral("Idade de %1 dias: use dias inteiros.").arg(Num(*v)));
          return std::nullopt;
        }
        const double month = std::round(*v / 30.4375);
        if (std::round(month * 30.4375) == *v) return month;
        return std::nullopt;
      }
      case Key::Cm:
        ok = *v > 0;
        if (!ok) Error(row.line, keyColumn_, QStringLiteral("Altura deve ser maior que zero."));
        return *v;
    }
    return std::nullopt;
  }

  void Line(const sheet::Row& row) {
    bool anyValue = false;
    for (const auto& [p, column] : published_) anyValue = anyValue || !At(row, column)->Empty();
    for (int c : {l_, mColumn_, s__}) anyValue = anyValue || (c >= 0 && !At(row, c)->Empty());
    // A line of notes (a source, a footnote) carries no value: left out.
    if (!anyValue) return;
    double raw = 0;
    bool ok = false;
    const std::optional<double> key = TableKey(row, raw, ok);
    if (!ok) return;
    Sex sex = m_.sex.value_or(growth::kMale);
    if (sexColumn_ >= 0) {
      const std::optional<Sex> s =
          SexOf(At(row, sexColumn_)->text.isEmpty() && At(row, sexColumn_)->number
                    ? QString::number(*At(row, sexColumn_)->number)
                    : At(row, sexColumn_)->text);
      if (!s) {
        Error(row.line, sexColumn_,
              QStringLiteral("Sexo '%1' desconhecido: use 1 ou 2, M ou F, masculino ou feminino.")
                  .arg(At(row, sexColumn_)->text));
        return;
      }
      sex = *s;
    }
    const auto seen = seen_.emplace(std::make_pair(int(sex), raw), row.line);
    if (!seen.second) {
      Error(
          row.line, keyColumn_,
          QStringLiteral("Chave repetida: o sexo %1 com a chave %2 já está na linha %3.")
              .arg(sex == growth::kMale ? QStringLiteral("masculino") : QStringLiteral("feminino"),
                   Num(raw))
              .arg(seen.first->second));
      return;
    }
    std::optional<growth::Measure> lms;
    if (l_ >= 0) {
      QString why;
      double v[3];
      const int cols[3] = {l_, mColumn_, s__};
      for (int i = 0; i < 3; ++i) {
        const std::optional<double> n = Number(*At(row, cols[i]), i == 0, why);
        if (!n) {
          Error(row.line, cols[i],
                why.isEmpty() ? QStringLiteral("L, M e S: valor vazio.") : why + u'.');
          return;
        }
        v[i] = *n;
      }
      if (!(v[1] > 0) || !(v[2] > 0)) {
        Error(row.line, v[1] > 0 ? s__ : mColumn_,
              QStringLiteral("M e S devem ser maiores que zero."));
        return;
      }
      const auto unit = m_.key == Key::Days ? 'D' : m_.key == Key::Cm ? 'C' : 'M';
      r_.rows.lms.push_back({Indicator(m_.table, m_.measure), unit, sex, raw, v[0], v[1], v[2]});
      std::copy(v, v + 3, lmsPoint_);
      lms = growth::Measure{};
    }
    if (!key) {
      ++r_.lmsOnlyLines;
      return;
    }
    for (const auto& [p, column] : published_) {
      QString why;
      const sheet::Cell* c = At(row, column);
      const std::optional<double> v = Number(*c, false, why);
      if (!why.isEmpty()) {
        Error(row.line, column, why + u'.');
        continue;
      }
      if (!v) continue;
      Put(p, *key, sex, *v, row.line, column, lms.has_value());
    }
    if (lms) {
      for (double p : chosen_) {
        if (published_.count(p)) continue;
        try {
          const double z = growth::NormalQuantile(p / 100);
          Put(p, *key, sex, growth::LmsValue(lmsPoint_[0], lmsPoint_[1], lmsPoint_[2], z), row.line,
              mColumn_, true);
        } catch (const std::exception& e) {
          Error(row.line, mColumn_, QString::fromUtf8(e.what()));
          return;
        }
      }
    }
  }

  // With L, M and S the row keeps M as "Média" and M x S as "Desvio Padrão",
  // as the CDC and WHO imports do.
  void Put(double p, double key, Sex sex, double v, int line, int column, bool withLms) {
    Value& slot = values_[{p, key}][int(sex)];
    slot.value = v;
    slot.line = line;
    slot.column = column;
    if (withLms && m_.table != Table::Height) {
      slot.mean = lmsPoint_[1];
      slot.sd = lmsPoint_[1] * lmsPoint_[2];
    }
  }

  void Store() {
    const growth::Quantity q = QuantityOf(m_.table, m_.measure);
    std::set<double> percentiles;
    for (const auto& [pk, bySex] : values_) percentiles.insert(pk.first);
    for (double p : percentiles) r_.percentiles[PercentileKey(p)] = {p, {}, {}};
    for (const auto& [pk, bySex] : values_) {
      const QString code = PercentileKey(pk.first);
      growth::Measure m[2];
      for (const auto& [sex, v] : bySex) {
        m[sex] = {v.value, v.mean, v.sd};
        r_.placed.push_back({m_.table, code, pk.second, StoredColumn(m_.table, q, Sex(sex), 0),
                             v.line, v.column, Sex(sex), q});
      }
      switch (m_.table) {
        case Table::Age: {
          growth::AgeRow row;
          row.percentile = code;
          row.years = int(pk.second) / 12;
          row.months = int(pk.second) % 12;
          growth::Measure* target = q == growth::Quantity::Weight    ? row.weight
                                    : q == growth::Quantity::Stature ? row.height
                                                                     : row.head;
          target[0] = m[0];
          target[1] = m[1];
          r_.rows.age.push_back(row);
          break;
        }
        case Table::Height: {
          growth::HeightRow row;
          row.percentile = code;
          row.height = pk.second;
          row.weight[0] = m[0].value;
          row.weight[1] = m[1].value;
          r_.rows.height.push_back(row);
          break;
        }
        case Table::Nchs: {
          growth::NchsRow row;
          row.percentile = code;
          row.height = pk.second;
          row.weight[0] = m[0];
          row.weight[1] = m[1];
          r_.rows.nchs.push_back(row);
          break;
        }
      }
    }
  }

  const sheet::Sheet& s_;
  const Mapping& m_;
  const QList<double>& chosen_;
  Result& r_;
  int keyColumn_ = -1, yearsColumn_ = -1, monthsColumn_ = -1, sexColumn_ = -1;
  int l_ = -1, mColumn_ = -1, s__ = -1;
  std::map<double, int> published_;  // percentile -> column
  bool halfMonths_ = false;
  double lmsPoint_[3] = {0, 0, 0};
  std::map<std::pair<int, double>, int> seen_;  // (sex, raw key) -> line
  std::map<Key2, std::map<int, Value>> values_;
};

// --- files of `export`: the tables' own columns

QString Code(const sheet::Cell& c) {
  const QString t = c.number ? sheet::NumberText(*c.number) : c.text.trimmed();
  return fw::Ajusta(t, 3);
}

std::map<QString, PercentileSpec> PercentileNames(const sheet::Sheet* s) {
  std::map<QString, PercentileSpec> out;
  if (!s) return out;
  for (const sheet::Row& r : s->rows) {
    if (r.cells.size() < 3 || Normalised(r.cells[0].text) == u"cdpercentil") continue;
    QString why;
    out[Code(r.cells[0])] = {Number(r.cells[2], false, why), Code(r.cells[0]), r.cells[1].text};
  }
  return out;
}

void ReadStored(const sheet::Sheet& s, const Mapping& m, const sheet::Sheet* percentileSheet,
                Result& r) {
  const std::map<QString, PercentileSpec> names = PercentileNames(percentileSheet);
  QVariantMap known;
  switch (m.table) {
    case Table::Age:
      known = growth::AgeRow().Columns();
      break;
    case Table::Height:
      known = growth::HeightRow().Columns();
      break;
    case Table::Nchs:
      known = growth::NchsRow().Columns();
      break;
  }
  for (size_t c = 0; c < m.columns.size(); ++c)
    if (!m.columns[c].stored.isEmpty() && !known.contains(m.columns[c].stored) &&
        m.columns[c].stored != u"CDREFEBIBL")
      r.errors.push_back({m.headerLine, int(c),
                          QStringLiteral("Coluna '%1' desconhecida na tabela %2.")
                              .arg(m.columns[c].stored, TableName(m.table))});
  if (!r.errors.empty()) return;
  std::map<std::pair<QString, double>, int> seen;
  for (const sheet::Row& row : s.rows) {
    if (row.line <= m.headerLine) continue;
    QVariantMap columns;
    bool bad = false;
    for (size_t c = 0; c < m.columns.size() && c < row.cells.size(); ++c) {
      const QString& name = m.columns[c].stored;
      if (name.isEmpty() || name == u"CDREFEBIBL") continue;
      if (name == u"CDPERCENTIL") {
        columns.insert(name, Code(row.cells[c]));
        continue;
      }
      QString why;
      const std::optional<double> v = Number(row.cells[c], false, why);
      if (!why.isEmpty()) {
        r.errors.push_back({row.line, int(c), why + u'.'});
        bad = true;
      }
      if (v) columns.insert(name, *v);
    }
    if (bad) continue;
    const QString code = columns.value(QStringLiteral("CDPERCENTIL")).toString();
    double key = 0;
    int keyColumn = 0;
    for (size_t c = 0; c < m.columns.size(); ++c)
      if (m.columns[c].stored == u"NRIDADEINI" || m.columns[c].stored == u"VRALTURA" ||
          m.columns[c].stored == u"VRALTURAN2")
        keyColumn = int(c);
    if (m.table == Table::Age) {
      const QVariant y = columns.value(QStringLiteral("NRIDADEINI")),
                     mo = columns.value(QStringLiteral("NRIDADEFIN"));
      if (!y.isValid() || !mo.isValid() || y.toDouble() != std::floor(y.toDouble()) ||
          mo.toDouble() != std::floor(mo.toDouble()) || mo.toDouble() > 11) {
        r.errors.push_back(
            {row.line, keyColumn,
             QStringLiteral("Idade inválida: anos e meses inteiros, meses de 0 a 11.")});
        continue;
      }
      key = y.toDouble() * 12 + mo.toDouble();
    } else {
      const QVariant h = columns.value(m.table == Table::Height ? QStringLiteral("VRALTURA")
                                                                : QStringLiteral("VRALTURAN2"));
      if (!h.isValid() || !(h.toDouble() > 0)) {
        r.errors.push_back({row.line, keyColumn, QStringLiteral("Altura vazia ou não positiva.")});
        continue;
      }
      key = h.toDouble();
    }
    if (code.isEmpty()) {
      r.errors.push_back({row.line, -1, QStringLiteral("Percentil (CDPERCENTIL) vazio.")});
      continue;
    }
    const auto dup = seen.emplace(std::make_pair(code, key), row.line);
    if (!dup.second) {
      r.errors.push_back({row.line, keyColumn,
                          QStringLiteral("Chave repetida: o percentil %1 com a chave %2 já está na "
                                         "linha %3.")
                              .arg(code, Num(key))
                              .arg(dup.first->second)});
      continue;
    }
    if (!r.percentiles.count(code)) {
      PercentileSpec spec{std::nullopt, code, QString()};
      if (names.count(code)) spec = names.at(code);
      bool digits = false;
      const int n = code.toInt(&digits);
      if (!spec.value && digits && n >= 1 && n <= 99) spec.value = n;
      r.percentiles[code] = spec;
    }
    for (Sex sex : {growth::kMale, growth::kFemale})
      for (growth::Quantity q :
           {growth::Quantity::Weight, growth::Quantity::Stature, growth::Quantity::Head}) {
        if (m.table != Table::Age && q != growth::Quantity::Weight) continue;
        const QString col = StoredColumn(m.table, q, sex, 0);
        if (!columns.contains(col)) continue;
        int fileColumn = -1;
        for (size_t c = 0; c < m.columns.size(); ++c)
          if (m.columns[c].stored == col) fileColumn = int(c);
        r.placed.push_back({m.table, code, key, col, row.line, fileColumn, sex, q});
      }
    switch (m.table) {
      case Table::Age:
        r.rows.age.push_back(growth::AgeRow::FromColumns(columns));
        break;
      case Table::Height:
        r.rows.height.push_back(growth::HeightRow::FromColumns(columns));
        break;
      case Table::Nchs:
        r.rows.nchs.push_back(growth::NchsRow::FromColumns(columns));
        break;
    }
  }
}

void ReadLmsSheet(const sheet::Sheet& s, Result& r) {
  for (const sheet::Row& row : s.rows) {
    if (row.cells.size() < 7 || Normalised(row.cells[0].text) == u"cdindicador") continue;
    const char* indicator = nullptr;
    for (const char* i : kIndicators)
      if (row.cells[0].text.trimmed() == QLatin1String(i)) indicator = i;
    const QString sex = row.cells[1].text.trimmed(), unit = row.cells[2].text.trimmed();
    double v[4];
    bool ok =
        indicator && (sex == u"M" || sex == u"F") && (unit == u"D" || unit == u"M" || unit == u"C");
    for (int i = 0; i < 4 && ok; ++i) {
      QString why;
      const std::optional<double> n = Number(row.cells[size_t(3 + i)], true, why);
      ok = n.has_value();
      if (ok) v[i] = *n;
    }
    if (!ok) {
      r.errors.push_back(
          {row.line, -1, QStringLiteral("Linha de L, M e S inválida (planilha %1).").arg(s.name)});
      continue;
    }
    if (row.cells.size() > 7 && row.cells[7].text.trimmed() == u"OMS")
      r.lmsOrigin = QStringLiteral("OMS");
    r.rows.lms.push_back({indicator, unit[0].toLatin1(),
                          sex == u"M" ? growth::kMale : growth::kFemale, v[0], v[1], v[2], v[3]});
  }
}

}  // namespace

QString Note::Where() const {
  if (line <= 0) return {};
  if (column < 0) return QStringLiteral("linha %1").arg(line);
  return QStringLiteral("linha %1, coluna %2").arg(line).arg(sheet::ColumnName(column));
}

Result Read(const sheet::Sheet& s, const Mapping& m, const QList<double>& percentiles,
            const sheet::Sheet* percentileSheet) {
  Result r;
  if (m.exported)
    ReadStored(s, m, percentileSheet, r);
  else
    SheetReader(s, m, percentiles, r).Run();
  SortRows(r.rows);
  return r;
}

void SortRows(growth::Rows& rows) {
  auto byKey = [](const auto& a, const auto& b) {
    return std::tie(a.percentile, a.height) < std::tie(b.percentile, b.height);
  };
  std::sort(rows.age.begin(), rows.age.end(), [](const auto& a, const auto& b) {
    return std::tie(a.percentile, a.years, a.months) < std::tie(b.percentile, b.years, b.months);
  });
  std::sort(rows.height.begin(), rows.height.end(), byKey);
  std::sort(rows.nchs.begin(), rows.nchs.end(), byKey);
}

bool IsExported(const sheet::Workbook& book) {
  for (const sheet::Sheet& s : book.sheets)
    if (Propose(s).exported) return true;
  return false;
}

Result ReadExported(const sheet::Workbook& book) {
  const sheet::Sheet* percentiles = nullptr;
  for (const sheet::Sheet& s : book.sheets)
    if (Normalised(s.name) == u"percentis") percentiles = &s;
  Result all;
  for (const sheet::Sheet& s : book.sheets) {
    if (Normalised(s.name) == u"lms") {
      ReadLmsSheet(s, all);
      continue;
    }
    const Mapping m = Propose(s);
    if (!m.exported) continue;
    Result one = Read(s, m, {}, percentiles);
    for (Note& n : one.errors) {
      if (book.sheets.size() > 1) n.text = QStringLiteral("Planilha %1: %2").arg(s.name, n.text);
      all.errors.push_back(n);
    }
    for (auto& [k, v] : one.percentiles) all.percentiles[k] = v;
    for (auto& row : one.rows.age) all.rows.age.push_back(row);
    for (auto& row : one.rows.height) all.rows.height.push_back(row);
    for (auto& row : one.rows.nchs) all.rows.nchs.push_back(row);
    for (auto& p : one.placed) all.placed.push_back(p);
  }
  return all;
}

std::optional<Citation> ReadCitation(const sheet::Workbook& book) {
  for (const sheet::Sheet& s : book.sheets) {
    if (Normalised(s.name) != u"referencia") continue;
    Citation c;
    for (const sheet::Row& r : s.rows) {
      if (r.cells.size() < 2) continue;
      const QString label = Normalised(r.cells[0].text), value = r.cells[1].text;
      if (label == u"codigo") c.code = value;
      if (label == u"nome") c.name = value;
      if (label == u"citacao") c.citation = value;
      if (label == u"fonte") c.source = value;
      if (label == u"licenca") c.licence = value;
    }
    return c;
  }
  return std::nullopt;
}

}  // namespace trp::tableimport
