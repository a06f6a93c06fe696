// What `tabrelpeso-admin export` writes to XLSX and ODS: a reference's rows,
// percentiles and L, M and S as read from the database.

#include "framework/data/format.h"
#include "server/admin.h"
#include "server/master_data.h"
#include "server/schema.h"
#include "server/storage.h"

#include <set>
#include <stdexcept>

namespace srv {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

ExportedReference ReadForExport(const QString& database, const QString& reference,
                                const std::vector<TableId>& tables, const QString& percentile) {
  std::unique_ptr<Db> db;
  try {
    db = OpenDb(database);
    Migrate(*db);
  } catch (const DbError& e) {
    Fail(QString::fromUtf8(e.what()));
  }
  const std::string ref = fw::Ajusta(reference, 2).toStdString();
  ExportedReference out;
  const std::optional<ReferenceEntry> entry = FindReference(*db, ref);
  if (!entry) Fail(QStringLiteral("Referência '%1' não cadastrada.").arg(reference));
  out.reference = {Q(entry->code), Q(entry->name), Q(entry->citation.value_or("")),
                   Q(entry->source.value_or("")), Q(entry->licence.value_or(""))};
  std::string where = " WHERE CDREFEBIBL = ?";
  SqlParams params{ref};
  if (!percentile.isEmpty()) {
    const std::string perc = fw::Ajusta(percentile, 3).toStdString();
    if (!FindPercentile(*db, perc))
      Fail(QStringLiteral("Percentil '%1' não cadastrado.").arg(percentile));
    where += " AND CDPERCENTIL = ?";
    params.push_back(perc);
  }
  std::set<std::string> used;
  for (TableId id : tables) {
    const TableDef& t = Table(id);
    trp::tableexport::TableRows rows;
    rows.table = QString::fromLatin1(t.name);
    std::string cols, order;
    for (size_t i = 0; i < t.columns.size(); ++i) {
      rows.columns << QString::fromLatin1(t.columns[i].name);
      cols += (i ? ", " : "") + std::string(t.columns[i].name);
    }
    for (size_t i = 0; i < t.keyOrder.size(); ++i)
      order += (i ? ", " : "") + std::string(t.keyOrder[i]);
    db->run("SELECT " + cols + " FROM " + t.name + where + " ORDER BY " + order, params,
            [&](const SqlRow& r) {
              QVariantMap row;
              for (size_t i = 0; i < t.columns.size(); ++i) {
                if (r.isNull(int(i))) continue;
                const ColumnDef& c = t.columns[i];
                if (c.kind == ColumnDef::Kind::Code)
                  row.insert(rows.columns[qsizetype(i)], Q(r.text(int(i))));
                else
                  row.insert(rows.columns[qsizetype(i)], r.real(int(i)));
              }
              used.insert(row.value(QStringLiteral("CDPERCENTIL")).toString().toStdString());
              rows.rows.append(row);
            });
    out.tables.push_back(std::move(rows));
  }
  for (const PercentileEntry& p : ListPercentiles(*db))
    if (used.count(p.code)) out.percentiles.push_back({Q(p.code), Q(p.name), p.value});
  if (percentile.isEmpty() && tables.size() == AllTables().size())
    db->run(
        "SELECT CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRL, VRM, VRS, CDORIGEM FROM "
        "LMSREFERENCIA WHERE CDREFEBIBL = ? ORDER BY CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE",
        {ref}, [&](const SqlRow& r) {
          out.lms.push_back({Q(r.text(0)), Q(r.text(1)), Q(r.text(2)), r.real(3), r.real(4),
                             r.real(5), r.real(6), Q(r.text(7))});
        });
  return out;
}

}  // namespace srv
