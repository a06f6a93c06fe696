#include "import/table_export.h"

namespace trp::tableexport {

namespace {

sheet::Cell Text(const QString& t) { return {t, std::nullopt, false}; }
sheet::Cell Number(double v) { return {QString(), v, false}; }

}  // namespace

QString SheetName(const QString& table) {
  if (table == u"PESALTIDADE") return QStringLiteral("Idade-Peso-Altura");
  if (table == u"PESOALTU") return QStringLiteral("Peso-Altura");
  if (table == u"PEALNCHS2000") return QStringLiteral("Peso-Altura NCHS 2000");
  return table;
}

sheet::Sheet TableSheet(const TableRows& rows) {
  sheet::Sheet s;
  s.name = SheetName(rows.table);
  sheet::Row header{1, {}};
  for (const QString& c : rows.columns) header.cells.push_back(Text(c));
  s.rows.push_back(std::move(header));
  int line = 1;
  for (const QVariantMap& r : rows.rows) {
    sheet::Row out{++line, {}};
    for (const QString& c : rows.columns) {
      const QVariant v = r.value(c);
      if (v.isNull() || !v.isValid())
        out.cells.emplace_back();
      else if (c.startsWith(u"CD"))
        out.cells.push_back(Text(v.toString()));
      else
        out.cells.push_back(Number(v.toDouble()));
    }
    s.rows.push_back(std::move(out));
  }
  return s;
}

sheet::Workbook Build(const Reference& ref, const std::vector<TableRows>& tables,
                      const std::vector<Percentile>& percentiles,
                      const std::vector<LmsPoint>& lms) {
  sheet::Workbook book;
  sheet::Sheet about;
  about.name = QStringLiteral("Referência");
  int line = 0;
  auto pair = [&](const char* label, const QString& value) {
    about.rows.push_back({++line, {Text(QString::fromUtf8(label)), Text(value)}});
  };
  pair("Código", ref.code);
  pair("Nome", ref.name);
  pair("Citação", ref.citation);
  pair("Fonte", ref.source);
  pair("Licença", ref.licence);
  book.sheets.append(about);
  for (const TableRows& t : tables) book.sheets.append(TableSheet(t));
  sheet::Sheet percs;
  percs.name = QStringLiteral("Percentis");
  line = 1;
  percs.rows.push_back({1, {Text("CDPERCENTIL"), Text("NMPERCENTIL"), Text("VRPERCENTIL")}});
  for (const Percentile& p : percentiles)
    percs.rows.push_back(
        {++line, {Text(p.code), Text(p.name), p.value ? Number(*p.value) : sheet::Cell{}}});
  book.sheets.append(percs);
  if (!lms.empty()) {
    sheet::Sheet s;
    s.name = QStringLiteral("LMS");
    line = 1;
    s.rows.push_back({1,
                      {Text("CDINDICADOR"), Text("CDSEXO"), Text("CDUNIDADE"), Text("VRCHAVE"),
                       Text("VRL"), Text("VRM"), Text("VRS"), Text("CDORIGEM")}});
    for (const LmsPoint& p : lms)
      s.rows.push_back({++line,
                        {Text(p.indicator), Text(p.sex), Text(p.unit), Number(p.key), Number(p.l),
                         Number(p.m), Number(p.s), Text(p.origin)}});
    book.sheets.append(s);
  }
  book.format = QStringLiteral("xlsx");
  return book;
}

}  // namespace trp::tableexport
