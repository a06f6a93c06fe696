#include "report/report_definition.h"

#include "framework/data/errors.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace report {

namespace {

[[noreturn]] void Malformed(const QString& origin, const QString& what) {
  throw fw::Error(
      QStringLiteral("A definição de relatório %1 é inválida: %2.").arg(origin, what));
}

// A text or an array of lines (easier to read in the file).
QString TextOf(const QJsonValue& value) {
  if (value.isArray()) {
    QStringList lines;
    for (const QJsonValue& line : value.toArray()) lines << line.toString();
    return lines.join('\n');
  }
  return value.toString();
}

QString Required(const QJsonObject& object, const char* key, const QString& origin,
                 const QString& where) {
  const QString text = TextOf(object.value(QLatin1String(key)));
  if (text.trimmed().isEmpty())
    Malformed(origin, QStringLiteral("falta \"%1\" em %2").arg(QLatin1String(key), where));
  return text;
}

ColumnDef ParseColumn(const QJsonObject& object, const QString& origin, const QString& where) {
  ColumnDef c;
  c.field = Required(object, "field", origin, where).toUpper();
  c.title = object.value(QLatin1String("title")).toString();
  c.format = object.value(QLatin1String("format")).toString();
  c.width = object.value(QLatin1String("width")).toDouble(1);
  if (!(c.width > 0)) Malformed(origin, QStringLiteral("largura não positiva em %1").arg(where));
  c.band = object.value(QLatin1String("band")).toString();
  return c;
}

ChartDef ParseChart(const QJsonObject& object, const QString& origin, const QString& where) {
  ChartDef c;
  c.series = Required(object, "series", origin, where).toUpper();
  c.label = object.value(QLatin1String("label")).toString(QStringLiteral("{") + c.series + QStringLiteral("}"));
  c.x = Required(object, "x", origin, where).toUpper();
  c.xTitle = object.value(QLatin1String("xTitle")).toString();
  c.xMonths = object.value(QLatin1String("xMonths")).toBool();
  const QJsonObject boundary = object.value(QLatin1String("boundary")).toObject();
  c.boundaryX = boundary.value(QLatin1String("x")).toString().toUpper();
  c.boundaryLabel = boundary.value(QLatin1String("label")).toString().toUpper();
  c.highlight = object.value(QLatin1String("highlight")).toString().toUpper();
  for (const QJsonValue& pageValue : object.value(QLatin1String("pages")).toArray()) {
    const QJsonObject page = pageValue.toObject();
    ChartPageDef p;
    p.title = page.value(QLatin1String("title")).toString();
    for (const QJsonValue& plotValue : page.value(QLatin1String("plots")).toArray()) {
      const QJsonObject plot = plotValue.toObject();
      p.plots << PlotDef{plot.value(QLatin1String("title")).toString(),
                         Required(plot, "y", origin, where).toUpper(),
                         plot.value(QLatin1String("yTitle")).toString()};
    }
    if (p.plots.isEmpty()) Malformed(origin, QStringLiteral("uma página sem gráficos em %1").arg(where));
    c.pages << p;
  }
  if (c.pages.isEmpty()) Malformed(origin, QStringLiteral("faltam as páginas do gráfico de %1").arg(where));
  return c;
}

SectionDef ParseSection(const QJsonObject& object, const QString& origin, int number) {
  const QString where = QStringLiteral("a seção %1").arg(number);
  SectionDef s;
  s.title = object.value(QLatin1String("title")).toString();
  const QJsonValue sql = object.value(QLatin1String("sql"));
  if (sql.isObject()) {
    const QJsonObject texts = sql.toObject();
    static const char* const keys[] = {"default", "oracle", "sqlserver", "interbase"};
    for (int d = 0; d < 4; ++d) s.sql[size_t(d)] = TextOf(texts.value(QLatin1String(keys[d])));
  } else {
    s.sql[0] = TextOf(sql);
  }
  if (s.sql[0].trimmed().isEmpty())
    Malformed(origin, QStringLiteral("falta a consulta padrão (\"sql\") em %1").arg(where));
  for (const QJsonValue& g : object.value(QLatin1String("groupBy")).toArray())
    s.groupBy << g.toString().toUpper();
  if (object.contains(QLatin1String("chart"))) {
    s.chart = ParseChart(object.value(QLatin1String("chart")).toObject(), origin, where);
    return s;
  }
  const QJsonArray columns = object.value(QLatin1String("columns")).toArray();
  if (columns.isEmpty()) Malformed(origin, QStringLiteral("faltam as colunas de %1").arg(where));
  for (const QJsonValue& c : columns) s.columns << ParseColumn(c.toObject(), origin, where);
  return s;
}

}  // namespace

QString SectionDef::Sql(fw::SqlDialect dialect) const {
  const QString& text = sql[size_t(dialect)];
  return text.trimmed().isEmpty() ? sql[0] : text;
}

bool SectionDef::HasBands() const {
  for (const ColumnDef& c : columns)
    if (!c.band.isEmpty()) return true;
  return false;
}

QString DefinitionPath(const QString& dir, const QString& code) {
  return QDir(dir).filePath(code + QStringLiteral(".json"));
}

ReportDefinition LoadDefinition(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw fw::Error(QStringLiteral("Não foi possível ler a definição de relatório %1: %2.")
                        .arg(QDir::toNativeSeparators(path), file.errorString()));
  return ParseDefinition(file.readAll(), QDir::toNativeSeparators(path));
}

ReportDefinition ParseDefinition(const QByteArray& json, const QString& origin) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError)
    Malformed(origin, QStringLiteral("JSON inválido na posição %1 (%2)")
                          .arg(error.offset)
                          .arg(error.errorString()));
  if (!doc.isObject()) Malformed(origin, QStringLiteral("o conteúdo não é um objeto JSON"));
  const QJsonObject root = doc.object();
  ReportDefinition d;
  d.code = Required(root, "code", origin, QStringLiteral("o relatório"));
  d.title = root.value(QLatin1String("title")).toString();
  const QJsonObject page = root.value(QLatin1String("page")).toObject();
  const QString orientation = page.value(QLatin1String("orientation")).toString(QStringLiteral("portrait"));
  if (orientation != QStringLiteral("portrait") && orientation != QStringLiteral("landscape"))
    Malformed(origin, QStringLiteral("orientação \"%1\" desconhecida").arg(orientation));
  d.orientation =
      orientation == QStringLiteral("landscape") ? QPageLayout::Landscape : QPageLayout::Portrait;
  const QString size = page.value(QLatin1String("size")).toString(QStringLiteral("A4"));
  if (size == QStringLiteral("A4")) d.pageSize = QPageSize::A4;
  else if (size == QStringLiteral("Letter")) d.pageSize = QPageSize::Letter;
  else if (size == QStringLiteral("Legal")) d.pageSize = QPageSize::Legal;
  else Malformed(origin, QStringLiteral("tamanho de página \"%1\" desconhecido").arg(size));
  const QJsonArray margins = page.value(QLatin1String("marginsMm")).toArray();
  if (margins.size() == 4)
    d.marginsMm = QMarginsF(margins[0].toDouble(), margins[1].toDouble(), margins[2].toDouble(),
                            margins[3].toDouble());
  for (const QJsonValue& g : root.value(QLatin1String("groupBy")).toArray())
    d.groupBy << g.toString().toUpper();
  d.heading = root.value(QLatin1String("heading")).toString();
  for (const QJsonValue& line : root.value(QLatin1String("subheading")).toArray())
    d.subheading << line.toString();
  d.printedLabel = root.value(QLatin1String("printedLabel")).toString();
  const QJsonArray sections = root.value(QLatin1String("sections")).toArray();
  if (sections.isEmpty()) Malformed(origin, QStringLiteral("não há seções"));
  for (int i = 0; i < sections.size(); ++i) {
    d.sections << ParseSection(sections[i].toObject(), origin, i + 1);
    const QStringList& g = d.sections.last().groupBy;
    if (g.size() > d.groupBy.size() || d.groupBy.mid(0, g.size()) != g)
      Malformed(origin, QStringLiteral("o agrupamento da seção %1 não começa o do relatório").arg(i + 1));
  }
  return d;
}

QString FillTemplate(const QString& text, const std::function<QString(const QString&)>& value) {
  static const QRegularExpression field(QStringLiteral("\\{([A-Za-z_][A-Za-z0-9_]*)(:n)?\\}"));
  QString out;
  qsizetype last = 0;
  for (auto it = field.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    out += text.mid(last, m.capturedStart() - last);
    QString text = value(m.captured(1).toUpper());
    if (!m.captured(2).isEmpty()) {
      bool ok = false;
      const double number = text.toDouble(&ok);
      if (ok) text = QString::number(number);
    }
    out += text;
    last = m.capturedEnd();
  }
  out += text.mid(last);
  return out;
}

}  // namespace report
