#pragma once
// A table imported from a spreadsheet, written in the caller's one write
// transaction: the reference created when new, the missing percentiles
// created, the rows of each imported (table, percentile) replaced, every row
// audited (deletions with their old values, insertions with their new) under
// one call number and the caller's group id, so the history shows the import
// and a restore of its group puts the replaced rows back; the L, M and S read
// replace the reference's points of that curve. Shared by the method
// ImportaTabela and `tabrelpeso-admin import-table`.

#include "import/growth.h"
#include "server/call_checks.h"
#include "server/master_data.h"
#include "server/storage.h"
#include "server/tables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace srv {

struct LmsPoint {
  std::string indicator;  // peso_idade, estatura_idade, ...
  char sex;               // 'M' or 'F'
  char unit;              // 'D', 'M' or 'C'
  double key, l, m, s;
};

struct TableImport {
  std::string reference;
  std::optional<ReferenceEntry> newReference;  // created first (refused when the code is taken)
  std::vector<PercentileEntry> newPercentiles;
  std::vector<Row> rows[3];  // by TableId, full rows in table column order
  std::vector<LmsPoint> lms;
  std::string lmsOrigin = "CDC";  // LMSREFERENCIA.CDORIGEM: the assessment's rules
  // The stored rows the caller's preview said would be replaced; a different
  // count now means another workstation changed them (a conflict).
  std::optional<std::int64_t> expectedReplaced;
};

struct TableImportCounts {
  std::int64_t inserted = 0, replaced = 0, lms = 0;
};

// Fills `in.rows` and `in.lms` from rows read from a file (their percentile
// codes already the registered ones) for `in.reference`.
void AddGrowthRows(TableImport& in, const trp::growth::Rows& rows);

// Checks every row (ValidateNewRow), then writes. Throws RpcError (a
// refusal, or a conflict) and DbError; the caller rolls back.
TableImportCounts WriteTableImport(Db& db, const std::string& user, const std::string& method,
                                   const TableImport& in);

// The stored rows of `reference` (one percentile, or all when empty) that an
// import of `percentiles` per table would replace.
std::int64_t CountReplaced(Db& db, const std::string& reference,
                           const std::vector<std::string> (&percentiles)[3]);

}  // namespace srv
