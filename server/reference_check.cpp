#include "server/reference_check.h"

#include "import/plausibility.h"
#include "server/schema.h"
#include "server/tables.h"

#include <QFileInfo>
#include <QVariantMap>

#include <algorithm>
#include <stdexcept>

namespace srv {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

// Every row of one table of `reference` as column name -> value, in key order.
template <typename Row>
std::vector<Row> Read(Db& db, TableId id, const std::string& reference) {
  const TableDef& t = Table(id);
  std::string cols, order;
  for (size_t i = 0; i < t.columns.size(); ++i)
    cols += (i ? ", " : "") + std::string(t.columns[i].name);
  for (size_t i = 0; i < t.keyOrder.size(); ++i)
    order += (i ? ", " : "") + std::string(t.keyOrder[i]);
  std::vector<Row> rows;
  db.run("SELECT " + cols + " FROM " + t.name + " WHERE CDREFEBIBL = ? ORDER BY " + order,
         {reference}, [&](const SqlRow& r) {
           QVariantMap map;
           for (size_t i = 0; i < t.columns.size(); ++i) {
             const ColumnDef& c = t.columns[i];
             const QString name = QString::fromLatin1(c.name);
             if (r.isNull(int(i)))
               map.insert(name, QVariant());
             else if (c.kind == ColumnDef::Kind::Code)
               map.insert(name, QString::fromUtf8(r.text(int(i)).data(),
                                                  qsizetype(r.text(int(i)).size())));
             else
               map.insert(name, r.real(int(i)));
           }
           rows.push_back(Row::FromColumns(map));
         });
  return rows;
}

}  // namespace

QStringList CheckReference(Db& db, const std::string& reference) {
  trp::growth::Rows rows;
  rows.age = Read<trp::growth::AgeRow>(db, TableId::Age, reference);
  rows.height = Read<trp::growth::HeightRow>(db, TableId::Height, reference);
  rows.nchs = Read<trp::growth::NchsRow>(db, TableId::Nchs, reference);
  QStringList findings;
  const QString prefix = QStringLiteral("Referência %1: ").arg(QString::fromStdString(reference));
  for (const QString& f : trp::growth::CheckRows(rows)) findings.append(prefix + f);
  return findings;
}

QStringList CheckReferences(const QString& database, const QString& reference) {
  // A check only reads: a mistyped file name must not leave a new empty database behind.
  if (!database.startsWith(QLatin1String("postgres")) && !QFileInfo::exists(database))
    Fail(QStringLiteral("Banco não encontrado: '%1'.").arg(database));
  try {
    auto db = OpenDb(database);
    Migrate(*db);
    std::vector<std::string> references;
    db->run("SELECT CDREFEBIBL FROM REFEBIBL ORDER BY CDREFEBIBL", {},
            [&](const SqlRow& r) { references.emplace_back(r.text(0)); });
    if (!reference.isEmpty()) {
      const std::string ref = reference.toStdString();
      if (std::find(references.begin(), references.end(), ref) == references.end())
        Fail(QStringLiteral("Referência '%1' não cadastrada.").arg(reference));
      references = {ref};
    }
    QStringList findings;
    for (const std::string& ref : references) findings += CheckReference(*db, ref);
    return findings;
  } catch (const DbError& e) {
    Fail(QString::fromUtf8(e.what()));
  }
}

}  // namespace srv
