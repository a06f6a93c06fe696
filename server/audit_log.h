#pragma once
// Writing the audit trail (AUDITORIA). Besides who, when, method, table and
// the old and new row as JSON, each audit row carries the reference,
// percentile and key of its row, so that the history is read through
// indexes, and the call it belongs to (NRLOTE), so that a deletion can be
// put back as a whole.

#include "server/storage.h"
#include "server/tables.h"

#include <QJsonObject>

#include <cstdint>
#include <string>

namespace srv {

// A row's key as the history stores and filters it: "2/6" (years/months) in
// the age table, the height as the shortest number ("110.5") in the others;
// empty when the row carries no key (an import's summary).
std::string AuditKeyText(const TableDef& t, const QJsonObject& row);

// Marks every audit row written on this thread while it lives as one call.
class AuditCall {
 public:
  AuditCall();
  ~AuditCall();
  AuditCall(const AuditCall&) = delete;
  AuditCall& operator=(const AuditCall&) = delete;
  // The call's number; outside a call, a new number each time.
  static std::int64_t Current();
  // The user action this call is one of (several calls of the screen make
  // one deletion of a reference), written with every audit row of the call;
  // empty: none.
  static void SetGroup(std::string group);
  static const std::string& Group();
};

// Writes one audit row inside the caller's transaction. `oldJson`/`newJson`
// are a row as JSON (empty: none). Throws DbError.
void WriteAudit(Db& db, const std::string& user, const std::string& method, const TableDef& t,
                const std::string& oldJson, const std::string& newJson);

// Writes one audit row of a master table ("REFEBIBL", "PERCENTIL") inside
// the caller's transaction, filed under its reference or percentile code so
// that their history shows their creation, renaming and deletion. Throws DbError.
void WriteMasterAudit(Db& db, const std::string& user, const std::string& method, const char* table,
                      const std::string& oldJson, const std::string& newJson);

// Files the master tables' audit rows written before WriteMasterAudit under
// their codes. Part of the schema migration.
void BackfillMasterAudit(Db& db);

// Fills reference, percentile, key and call of audit rows written before
// those columns existed (from their stored rows); a run of rows of one
// deletion call becomes one call. Part of the schema migration.
void BackfillAudit(Db& db);

// The table of a stored table name; null when unknown.
const TableDef* TableNamed(std::string_view name);

}  // namespace srv
