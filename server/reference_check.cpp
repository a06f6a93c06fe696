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

QString UnitName(std::string_view unit) {
  if (unit == "D") return QStringLiteral("idade em dias");
  if (unit == "M") return QStringLiteral("idade em meses");
  return QStringLiteral("comprimento/estatura em cm");
}

// The references to look at: `reference` alone (it must exist) or all.
std::vector<std::string> References(Db& db, const QString& reference) {
  std::vector<std::string> references;
  db.run("SELECT CDREFEBIBL FROM REFEBIBL ORDER BY CDREFEBIBL", {},
         [&](const SqlRow& r) { references.emplace_back(r.text(0)); });
  if (reference.isEmpty()) return references;
  const std::string ref = reference.toStdString();
  if (std::find(references.begin(), references.end(), ref) == references.end())
    Fail(QStringLiteral("Referência '%1' não cadastrada.").arg(reference));
  return {ref};
}

std::unique_ptr<Db> OpenExisting(const QString& database) {
  // A check only reads: a mistyped file name must not leave a new empty database behind.
  if (!IsPostgresUrl(database) && !QFileInfo::exists(database))
    Fail(QStringLiteral("Banco não encontrado: '%1'.").arg(ShownTarget(database)));
  auto db = OpenDb(database);
  Migrate(*db);
  return db;
}

}  // namespace

QStringList CheckReference(Db& db, const std::string& reference) {
  trp::growth::Rows rows;
  rows.age = Read<trp::growth::AgeRow>(db, TableId::Age, reference);
  rows.height = Read<trp::growth::HeightRow>(db, TableId::Height, reference);
  rows.nchs = Read<trp::growth::NchsRow>(db, TableId::Nchs, reference);
  // Percentiles are ordered by their values, as the master data gives them.
  trp::growth::PercentileValues values;
  db.run("SELECT CDPERCENTIL, VRPERCENTIL FROM PERCENTIL WHERE VRPERCENTIL IS NOT NULL", {},
         [&](const SqlRow& r) {
           values[QString::fromUtf8(r.text(0).data(), qsizetype(r.text(0).size()))] = r.real(1);
         });
  QStringList findings;
  const QString prefix = QStringLiteral("Referência %1: ").arg(QString::fromStdString(reference));
  for (const QString& f : trp::growth::CheckRows(rows, values)) findings.append(prefix + f);
  // L, M and S come from files, but a typed row could still break the z-score.
  db.run(
      "SELECT CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRM, VRS FROM LMSREFERENCIA WHERE "
      "CDREFEBIBL = ? AND (VRM <= 0 OR VRS <= 0) ORDER BY CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE",
      {reference}, [&](const SqlRow& r) {
        findings.append(prefix + QStringLiteral("LMSREFERENCIA, %1, %2, %3 %4: M e S devem ser "
                                                "positivos (M = %5, S = %6)")
                                     .arg(QString::fromStdString(std::string(r.text(0))),
                                          r.text(1) == "M" ? QStringLiteral("masculino")
                                                           : QStringLiteral("feminino"),
                                          UnitName(r.text(2)))
                                     .arg(r.real(3))
                                     .arg(r.real(4))
                                     .arg(r.real(5)));
      });
  return findings;
}

QStringList CheckReferences(const QString& database, const QString& reference) {
  try {
    auto db = OpenExisting(database);
    QStringList findings;
    for (const std::string& ref : References(*db, reference)) findings += CheckReference(*db, ref);
    return findings;
  } catch (const DbError& e) {
    Fail(QString::fromUtf8(e.what()));
  }
}

QStringList KeptLms(const QString& database, const QString& reference) {
  try {
    auto db = OpenExisting(database);
    QStringList lines;
    for (const std::string& ref : References(*db, reference))
      db->run(
          "SELECT CDINDICADOR, CDUNIDADE, MIN(VRCHAVE), MAX(VRCHAVE), SUM(CASE WHEN CDSEXO = 'M' "
          "THEN 1 ELSE 0 END), SUM(CASE WHEN CDSEXO = 'F' THEN 1 ELSE 0 END) FROM LMSREFERENCIA "
          "WHERE CDREFEBIBL = ? GROUP BY CDINDICADOR, CDUNIDADE ORDER BY CDUNIDADE, CDINDICADOR",
          {ref}, [&](const SqlRow& r) {
            lines.append(QStringLiteral("Referência %1: L, M e S de %2 por %3, %4 a %5 "
                                        "(masculino %6 pontos, feminino %7 pontos)")
                             .arg(QString::fromStdString(ref),
                                  QString::fromStdString(std::string(r.text(0))),
                                  UnitName(r.text(1)))
                             .arg(r.real(2))
                             .arg(r.real(3))
                             .arg(r.real(4))
                             .arg(r.real(5)));
          });
    return lines;
  } catch (const DbError& e) {
    Fail(QString::fromUtf8(e.what()));
  }
}

}  // namespace srv
