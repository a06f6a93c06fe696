#include "server/audit_log.h"

#include "server/json_out.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <cmath>
#include <vector>

namespace srv {

namespace {

thread_local std::int64_t tCall = 0;
thread_local std::string tGroup;

std::int64_t NewCallNumber() {
  // Random, so that several server instances on one database need no
  // shared counter; 62 bits make a collision negligible.
  return std::int64_t(QRandomGenerator::system()->generate64() >> 2) + 1;
}

QJsonObject Parse(const std::string& json) {
  if (json.empty()) return {};
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

struct Located {
  SqlParam reference, percentile, key;
};

SqlParam TextOrNull(const QJsonValue& v) {
  return v.isString() ? SqlParam{v.toString().toStdString()} : SqlParam{};
}

Located Locate(const TableDef& t, const std::string& oldJson, const std::string& newJson) {
  // The row after the change places it; a deletion has only the row before.
  const QJsonObject row = Parse(newJson.empty() ? oldJson : newJson);
  const std::string key = AuditKeyText(t, row);
  return {TextOrNull(row.value(QLatin1String("CDREFEBIBL"))),
          TextOrNull(row.value(QLatin1String("CDPERCENTIL"))),
          key.empty() ? SqlParam{} : SqlParam{key}};
}

}  // namespace

std::string AuditKeyText(const TableDef& t, const QJsonObject& row) {
  std::string key;
  for (const char* k : t.keyOrder) {
    const ColumnDef& c = t.column(k);
    if (c.kind == ColumnDef::Kind::Code) continue;
    const QJsonValue v = row.value(QLatin1String(k));
    if (!v.isDouble()) return {};
    if (!key.empty()) key += '/';
    if (c.kind == ColumnDef::Kind::Whole)
      key += std::to_string(std::llround(v.toDouble()));
    else
      AppendNumber(key, v.toDouble());
  }
  return key;
}

AuditCall::AuditCall() {
  tCall = NewCallNumber();
  tGroup.clear();
}
AuditCall::~AuditCall() {
  tCall = 0;
  tGroup.clear();
}

std::int64_t AuditCall::Current() { return tCall ? tCall : NewCallNumber(); }
void AuditCall::SetGroup(std::string group) { tGroup = std::move(group); }
const std::string& AuditCall::Group() { return tGroup; }

const TableDef* TableNamed(std::string_view name) {
  for (const TableDef* t : AllTables())
    if (name == t->name) return t;
  return nullptr;
}

void WriteAudit(Db& db, const std::string& user, const std::string& method, const TableDef& t,
                const std::string& oldJson, const std::string& newJson) {
  Located at = Locate(t, oldJson, newJson);
  db.run(
      "INSERT INTO AUDITORIA (NMUSUARIO, DTAUDITORIA, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO, "
      "CDREFEBIBL, CDPERCENTIL, DSCHAVE, NRLOTE, DSGRUPO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {user, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString(), method,
       std::string(t.name), oldJson.empty() ? SqlParam{} : SqlParam{oldJson},
       newJson.empty() ? SqlParam{} : SqlParam{newJson}, std::move(at.reference),
       std::move(at.percentile), std::move(at.key), AuditCall::Current(),
       AuditCall::Group().empty() ? SqlParam{} : SqlParam{AuditCall::Group()}});
}

namespace {

// The code column a master table's audit rows are filed under.
const char* MasterCodeColumn(std::string_view table) {
  return table == "REFEBIBL" ? "CDREFEBIBL" : table == "PERCENTIL" ? "CDPERCENTIL" : nullptr;
}

}  // namespace

void WriteMasterAudit(Db& db, const std::string& user, const std::string& method, const char* table,
                      const std::string& oldJson, const std::string& newJson) {
  // A renamed entry keeps its code; a new or deleted one has one row only.
  const char* column = MasterCodeColumn(table);
  const QJsonObject row = Parse(newJson.empty() ? oldJson : newJson);
  const SqlParam code = column ? TextOrNull(row.value(QLatin1String(column))) : SqlParam{};
  const bool reference = column && std::string_view(column) == "CDREFEBIBL";
  db.run(
      "INSERT INTO AUDITORIA (NMUSUARIO, DTAUDITORIA, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO, "
      "CDREFEBIBL, CDPERCENTIL, NRLOTE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {user, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString(), method,
       std::string(table), oldJson.empty() ? SqlParam{} : SqlParam{oldJson},
       newJson.empty() ? SqlParam{} : SqlParam{newJson}, reference ? code : SqlParam{},
       reference ? SqlParam{} : code, AuditCall::Current()});
}

void BackfillMasterAudit(Db& db) {
  struct Old {
    std::int64_t number;
    std::string table, json;
  };
  std::vector<Old> rows;
  db.run(
      "SELECT NRAUDITORIA, NMTABELA, COALESCE(DSNOVO, DSANTERIOR) FROM AUDITORIA WHERE NMTABELA "
      "IN ('REFEBIBL', 'PERCENTIL') AND CDREFEBIBL IS NULL AND CDPERCENTIL IS NULL",
      {}, [&](const SqlRow& r) {
        rows.push_back({r.integer(0), std::string(r.text(1)),
                        r.isNull(2) ? std::string() : std::string(r.text(2))});
      });
  for (const Old& row : rows) {
    const char* column = MasterCodeColumn(row.table);
    const SqlParam code = TextOrNull(Parse(row.json).value(QLatin1String(column)));
    db.run(std::string("UPDATE AUDITORIA SET ") + column + " = ? WHERE NRAUDITORIA = ?",
           {code, row.number});
  }
}

void BackfillAudit(Db& db) {
  struct Old {
    std::int64_t number;
    std::string user, method, table, oldJson, newJson;
  };
  std::vector<Old> rows;
  db.run(
      "SELECT NRAUDITORIA, NMUSUARIO, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO FROM AUDITORIA "
      "WHERE NRLOTE IS NULL ORDER BY NRAUDITORIA",
      {}, [&](const SqlRow& r) {
        rows.push_back({r.integer(0), std::string(r.text(1)), std::string(r.text(2)),
                        std::string(r.text(3)),
                        r.isNull(4) ? std::string() : std::string(r.text(4)),
                        r.isNull(5) ? std::string() : std::string(r.text(5))});
      });
  size_t runStart = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Old& row = rows[i];
    const Old& start = rows[runStart];
    // A deletion call wrote its rows one after another.
    const bool sameRun = i > 0 && row.method.rfind("Deleta", 0) == 0 && start.user == row.user &&
                         start.method == row.method && start.table == row.table &&
                         rows[i - 1].number + 1 == row.number;
    if (!sameRun) runStart = i;
    const TableDef* t = TableNamed(row.table);
    Located at = t ? Locate(*t, row.oldJson, row.newJson) : Located{};
    db.run(
        "UPDATE AUDITORIA SET CDREFEBIBL = ?, CDPERCENTIL = ?, DSCHAVE = ?, NRLOTE = ? WHERE "
        "NRAUDITORIA = ?",
        {std::move(at.reference), std::move(at.percentile), std::move(at.key),
         rows[runStart].number, row.number});
  }
}

}  // namespace srv
