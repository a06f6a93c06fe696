#pragma once
// Reading the audit trail: the history of the row tables filtered by table,
// reference, percentile, key, user and time, newest first, a page at a time.
// Shared by the server's GetHistorico and `tabrelpeso-admin audit`.

#include "server/storage.h"
#include "server/tables.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace srv {

struct AuditFilter {
  const TableDef* table = nullptr;               // null: every table
  std::string reference, percentile, key, user;  // empty: any
  std::string since, until;  // UTC "YYYY-MM-DDTHH:MM:SS..." text; since inclusive, until exclusive
  std::int64_t before = 0;   // only rows numbered below this (the next page); 0: from the newest
  int limit = 100;
};

struct AuditEntry {
  std::int64_t number = 0;
  std::string when, user, method, table, reference, percentile, key;
  std::string oldJson, newJson;  // empty: none
  std::int64_t call = 0;
  std::string group;  // the user action's group id; empty: none
  // 'I' inserted, 'A' changed, 'E' deleted.
  char operation() const { return oldJson.empty() ? 'I' : newJson.empty() ? 'E' : 'A'; }
};

// At most `limit` entries; `more` tells whether older ones match too.
// Throws DbError.
std::vector<AuditEntry> QueryAudit(Db& db, const AuditFilter& filter, bool* more = nullptr);

// The largest page a call may ask for.
inline constexpr int kMaxAuditPage = 1000;

// "age", "height", "nchs" or a stored table name; null when none.
const TableDef* AuditTableByName(const QString& name);
// "2026-03-01", "01/03/2026" or a full UTC time as stored, as stored text;
// nullopt when it is none of these.
std::optional<std::string> AuditTime(const QString& text);

// Every column whose value differs between the old and new row, in table
// order, "NAME: old -> new" with decimal commas; every column for an
// insert or a deletion.
QStringList AuditChanges(const AuditEntry& e);

// The whole history matching `filter` (every page) as text for people, one
// line an entry, or as CSV (';' between fields). Throws std::runtime_error
// with a clear message when the database cannot be read.
std::string AuditReport(const QString& database, AuditFilter filter, bool csv);

}  // namespace srv
