// What a sheet's columns are: proposed from its headers, or said with a map.

#include "import/table_import.h"
#include "import/table_import_p.h"

#include <QRegularExpression>

#include <stdexcept>

namespace trp::tableimport {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

struct Header {
  Role role = Role::Ignore;
  double percentile = 0;
  std::optional<Key> key;  // the key a key header names
};

Header Recognise(const QString& text) {
  const QString h = Normalised(text);
  if (h.isEmpty()) return {};
  static const QRegularExpression percentile(
      QStringLiteral("^(p|pct|perc|percentil|percentile)?(\\d{1,2}([.,]\\d+)?)(th|rd|nd|st|o)?$"));
  const QRegularExpressionMatch pm = percentile.match(h);
  if (pm.hasMatch() && !pm.captured(1).isEmpty()) {
    const double p = pm.captured(2).replace(u',', u'.').toDouble();
    if (p > 0 && p < 100) return {Role::Percentile, p, {}};
  }
  if (h == u"l") return {Role::L, 0, {}};
  if (h == u"m") return {Role::M, 0, {}};
  if (h == u"s") return {Role::S, 0, {}};
  if (h == u"sexo" || h == u"sex" || h == u"genero" || h == u"gender") return {Role::Sex, 0, {}};
  if (h == u"anos" || h == u"idadeanos" || h == u"years" || h == u"ano")
    return {Role::Years, 0, Key::YearsMonths};
  if (h == u"meses" || h == u"mes" || h == u"idademeses" || h == u"agemos" || h == u"month" ||
      h == u"months" || h == u"agemonths")
    return {Role::Months, 0, Key::Months};
  if (h == u"dias" || h == u"idadedias" || h == u"day" || h == u"days" || h == u"agedays" ||
      h == u"age")
    return {Role::Key, 0, Key::Days};
  if (h == u"altura" || h == u"alturacm" || h == u"comprimento" || h == u"comprimentocm" ||
      h == u"estatura" || h == u"estaturacm" || h == u"length" || h == u"height" || h == u"cm")
    return {Role::Key, 0, Key::Cm};
  if (h == u"idade") return {Role::Key, 0, Key::Months};
  return {};
}

std::optional<growth::Sex> SexOfName(const QString& name) {
  const QString n = Normalised(name);
  for (const char* w : {"menina", "feminino", "fem", "girl", "female"})
    if (n.contains(QLatin1String(w))) return growth::kFemale;
  for (const char* w : {"menino", "masculino", "masc", "boy", "male"})
    if (n.contains(QLatin1String(w))) return growth::kMale;
  return std::nullopt;
}

// The row of column names of an `export` file, when the sheet starts with one.
std::optional<Table> ExportedTable(const sheet::Row& row) {
  QStringList names;
  for (const sheet::Cell& c : row.cells) names << c.text.trimmed().toUpper();
  if (!names.contains(QStringLiteral("CDPERCENTIL"))) return std::nullopt;
  if (names.contains(QStringLiteral("NRIDADEINI")) && names.contains(QStringLiteral("NRIDADEFIN")))
    return Table::Age;
  if (names.contains(QStringLiteral("VRALTURAN2"))) return Table::Nchs;
  if (names.contains(QStringLiteral("VRALTURA"))) return Table::Height;
  return std::nullopt;
}

int ColumnOf(const sheet::Sheet& s, const Mapping& m, const QString& name) {
  static const QRegularExpression letters(QStringLiteral("^[A-Z]{1,3}$"));
  const QString wanted = Normalised(name);
  if (m.headerLine > 0)
    for (const sheet::Row& r : s.rows)
      if (r.line == m.headerLine)
        for (size_t c = 0; c < r.cells.size(); ++c)
          if (!wanted.isEmpty() && Normalised(r.cells[c].text) == wanted) return int(c);
  if (letters.match(name.trimmed()).hasMatch()) {
    int column = 0;
    for (const QChar ch : name.trimmed()) column = column * 26 + (ch.unicode() - 'A' + 1);
    return column - 1;
  }
  return -1;
}

}  // namespace

QString Normalised(const QString& text) {
  QString out;
  for (const QChar c : text.normalized(QString::NormalizationForm_D).toLower())
    if (c.isLetterOrNumber() || c == u'.' || c == u',') out += c;
  return out;
}

QString TableName(Table t) {
  switch (t) {
    case Table::Age:
      return QStringLiteral("age");
    case Table::Height:
      return QStringLiteral("height");
    case Table::Nchs:
      break;
  }
  return QStringLiteral("nchs");
}

QString KeyName(Key k) {
  switch (k) {
    case Key::YearsMonths:
      return QStringLiteral("anos-meses");
    case Key::Months:
      return QStringLiteral("meses");
    case Key::Days:
      return QStringLiteral("dias");
    case Key::Cm:
      break;
  }
  return QStringLiteral("cm");
}

std::optional<Table> TableFromName(const QString& name) {
  for (Table t : {Table::Age, Table::Height, Table::Nchs})
    if (name == TableName(t)) return t;
  return std::nullopt;
}

std::optional<Key> KeyFromName(const QString& name) {
  for (Key k : {Key::YearsMonths, Key::Months, Key::Days, Key::Cm})
    if (name == KeyName(k)) return k;
  return std::nullopt;
}

Mapping Propose(const sheet::Sheet& s, std::optional<Table> table, std::optional<Key> key) {
  Mapping m;
  m.sex = SexOfName(s.name);
  for (const sheet::Row& r : s.rows) {
    if (const std::optional<Table> t = ExportedTable(r)) {
      m.exported = true;
      m.table = *t;
      m.key = *t == Table::Age ? Key::YearsMonths : Key::Cm;
      m.headerLine = r.line;
      for (const sheet::Cell& c : r.cells)
        m.columns.push_back({Role::Stored, 0, c.text.trimmed().toUpper()});
      return m;
    }
    std::vector<Header> headers;
    bool hasKey = false, hasValue = false, hasYears = false;
    for (const sheet::Cell& c : r.cells) {
      headers.push_back(c.number ? Header{} : Recognise(c.text));
      const Header& h = headers.back();
      hasKey = hasKey || h.key.has_value();
      hasYears = hasYears || h.role == Role::Years;
      hasValue = hasValue || h.role == Role::Percentile || h.role == Role::M;
    }
    if (!hasKey || !hasValue) continue;
    m.headerLine = r.line;
    for (const Header& h : headers) {
      ColumnRole c{h.role, h.percentile, {}};
      if (h.role == Role::Months && !hasYears) c.role = Role::Key;
      m.columns.push_back(c);
      if (h.key && h.role != Role::Months) m.key = *h.key;
      if (h.role == Role::Months && !hasYears) m.key = Key::Months;
    }
    if (hasYears) m.key = Key::YearsMonths;
    break;
  }
  m.table = m.key == Key::Cm ? Table::Height : Table::Age;
  if (table) m.table = *table;
  if (key) m.key = *key;
  return m;
}

void ApplyMap(Mapping& m, const sheet::Sheet& s, const QString& map) {
  for (const QString& rawPart : map.split(u',', Qt::SkipEmptyParts)) {
    const QString part = rawPart.trimmed();
    const qsizetype eq = part.lastIndexOf(u'=');
    if (eq <= 0)
      Fail(QStringLiteral("Mapa de colunas: '%1' não está na forma COLUNA=PAPEL.").arg(part));
    const QString name = part.left(eq).trimmed();
    const QString role = Normalised(part.mid(eq + 1));
    if (Normalised(name) == u"medida") {
      if (role == u"peso")
        m.measure = Measure::Weight;
      else if (role == u"estatura" || role == u"altura" || role == u"comprimento")
        m.measure = Measure::Stature;
      else if (role == u"pc" || role == u"perimetrocefalico")
        m.measure = Measure::Head;
      else
        Fail(QStringLiteral("Mapa de colunas: medida '%1' desconhecida (use peso, estatura ou pc).")
                 .arg(part.mid(eq + 1)));
      continue;
    }
    if (Normalised(name) == u"sexo" && (role.startsWith(u"masc") || role.startsWith(u"fem"))) {
      m.sex = role.startsWith(u"masc") ? growth::kMale : growth::kFemale;
      continue;
    }
    const int column = ColumnOf(s, m, name);
    if (column < 0)
      Fail(QStringLiteral("Mapa de colunas: a coluna '%1' não existe no cabeçalho (linha %2).")
               .arg(name)
               .arg(m.headerLine));
    if (size_t(column) >= m.columns.size()) m.columns.resize(size_t(column) + 1);
    ColumnRole c;
    if (role == u"chave")
      c.role = Role::Key;
    else if (role == u"anos")
      c.role = Role::Years;
    else if (role == u"meses")
      c.role = Role::Months;
    else if (role == u"sexo")
      c.role = Role::Sex;
    else if (role == u"l")
      c.role = Role::L;
    else if (role == u"m")
      c.role = Role::M;
    else if (role == u"s")
      c.role = Role::S;
    else if (role == u"ignorar")
      c.role = Role::Ignore;
    else {
      const Header h = Recognise(part.mid(eq + 1));
      if (h.role != Role::Percentile)
        Fail(QStringLiteral("Mapa de colunas: papel '%1' desconhecido (use chave, anos, meses, "
                            "sexo, P3 a P97, L, M, S ou ignorar).")
                 .arg(part.mid(eq + 1)));
      c = {Role::Percentile, h.percentile, {}};
    }
    m.exported = false;
    m.columns[size_t(column)] = c;
  }
}

QString Mapping::Text(const sheet::Sheet& s) const {
  Q_UNUSED(s);
  QStringList parts;
  for (size_t c = 0; c < columns.size(); ++c) {
    const ColumnRole& r = columns[c];
    QString role;
    switch (r.role) {
      case Role::Ignore:
        continue;
      case Role::Key:
        role = QStringLiteral("chave");
        break;
      case Role::Years:
        role = QStringLiteral("anos");
        break;
      case Role::Months:
        role = QStringLiteral("meses");
        break;
      case Role::Sex:
        role = QStringLiteral("sexo");
        break;
      case Role::Percentile:
        role = QStringLiteral("P%1").arg(r.percentile);
        break;
      case Role::L:
        role = QStringLiteral("L");
        break;
      case Role::M:
        role = QStringLiteral("M");
        break;
      case Role::S:
        role = QStringLiteral("S");
        break;
      case Role::Stored:
        role = r.stored;
        break;
    }
    parts << sheet::ColumnName(int(c)) + u'=' + role;
  }
  if (sex)
    parts << (*sex == growth::kMale ? QStringLiteral("sexo=masculino")
                                    : QStringLiteral("sexo=feminino"));
  if (table == Table::Age && !exported)
    parts << (measure == Measure::Weight    ? QStringLiteral("medida=peso")
              : measure == Measure::Stature ? QStringLiteral("medida=estatura")
                                            : QStringLiteral("medida=pc"));
  return parts.join(u',');
}

}  // namespace trp::tableimport
