#include "screens/importacao/exportacao.h"

#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "import/sheet.h"
#include "import/table_export.h"
#include "services/rdm_tabrelpeso.h"

#include <QFileInfo>
#include <QSaveFile>

#include <set>

namespace trp::importacao {

namespace {

fw::DataPacket Tabela(fw::TNetConnection& net, const char* name) {
  return services::PacketOf(
      fw::CheckResultServ(net.Call(QStringLiteral("GetTabela"), {QString::fromLatin1(name)})));
}

tableexport::TableRows Linhas(const fw::DataPacket& p, const char* table, const QString& ref,
                              std::set<QString>& used) {
  tableexport::TableRows out;
  out.table = QString::fromLatin1(table);
  for (const fw::FieldDef& f : p.fields()) out.columns << f.name;
  const int refAt = p.fieldIndex(u"CDREFEBIBL");
  for (qsizetype r = 0; r < p.rowCount(); ++r) {
    if (p.value(r, refAt).toString() != ref) continue;
    QVariantMap row;
    for (int c = 0; c < out.columns.size(); ++c) {
      const QVariant v = p.value(r, c);
      if (!v.isNull()) row.insert(out.columns[c], v);
    }
    used.insert(row.value(QStringLiteral("CDPERCENTIL")).toString());
    out.rows.append(row);
  }
  return out;
}

}  // namespace

void ExportaReferencia(fw::TNetConnection& net, const QString& ref, const QString& table,
                       const QString& path) {
  const QString ext = QFileInfo(path).suffix().toLower();
  if (ext != u"xlsx" && ext != u"ods" && ext != u"csv")
    fw::MensErro(QStringLiteral("Exporte para .xlsx, .ods ou .csv (o nome '%1' não diz qual).")
                     .arg(QFileInfo(path).fileName()));
  std::set<QString> used;
  std::vector<tableexport::TableRows> tables;
  for (const char* name : {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"})
    if ((table.isEmpty() && ext != u"csv") || table == QLatin1String(name))
      tables.push_back(Linhas(Tabela(net, name), name, ref, used));
  if (tables.empty()) fw::MensErro(QStringLiteral("Em CSV, exporte uma tabela por vez."));
  try {
    if (ext == u"csv") {
      const QByteArray csv =
          sheet::WriteCsv(tableexport::TableSheet(tables.front()), u';', true).toUtf8();
      QSaveFile f(path);
      if (!f.open(QIODevice::WriteOnly) || f.write(csv) != csv.size() || !f.commit())
        fw::MensErro(QStringLiteral("Não foi possível gravar '%1': %2").arg(path, f.errorString()));
      return;
    }
    tableexport::Reference about;
    const fw::DataPacket refs = Tabela(net, "REFEBIBL");
    for (qsizetype r = 0; r < refs.rowCount(); ++r)
      if (refs.value(r, refs.fieldIndex(u"CDREFEBIBL")).toString() == ref)
        about = {ref, refs.value(r, refs.fieldIndex(u"NMREFEBIBL")).toString(),
                 refs.value(r, refs.fieldIndex(u"DSCITACAO")).toString(),
                 refs.value(r, refs.fieldIndex(u"DSFONTE")).toString(),
                 refs.value(r, refs.fieldIndex(u"DSLICENCA")).toString()};
    std::vector<tableexport::Percentile> percs;
    const fw::DataPacket p = Tabela(net, "PERCENTIL");
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
      const QString code = p.value(r, p.fieldIndex(u"CDPERCENTIL")).toString();
      const QVariant v = p.value(r, p.fieldIndex(u"VRPERCENTIL"));
      if (used.count(code))
        percs.push_back({code, p.value(r, p.fieldIndex(u"NMPERCENTIL")).toString(),
                         v.isNull() ? std::nullopt : std::optional<double>(v.toDouble())});
    }
    sheet::WriteWorkbook(tableexport::Build(about, tables, percs, {}), path);
  } catch (const std::exception& e) {
    fw::MensErro(QString::fromUtf8(e.what()));
  }
}

}  // namespace trp::importacao
