#pragma once
// The three row tables as the server sees them: columns in wire order (the
// order the receiving datasets declare), which are key columns, and the
// user-facing names used in messages.

#include <string_view>
#include <vector>

namespace srv {

struct ColumnDef {
  enum class Kind { Code, Whole, Real };
  const char* name;
  Kind kind;
  int size;  // codes: maximum length; others: 0
  bool key;
  const char* label = "";  // for messages: "Peso masculino"
};

enum class TableId { Age, Height, Nchs };

struct TableDef {
  TableId id;
  const char* name;   // table and provider name
  const char* label;  // what users call it
  std::vector<ColumnDef> columns;
  std::vector<const char*> keyOrder;  // primary key and row order
  const char* duplicateMessage;
  // Method names, by role.
  const char* getPerc;
  const char* valida;
  const char* set;
  const char* deleta;
  const char* percentil;
  const char* copia;

  int columnIndex(std::string_view column) const;        // -1 when absent
  const ColumnDef& column(std::string_view name) const;  // must exist
};

const TableDef& Table(TableId id);
const std::vector<const TableDef*>& AllTables();

// Age table columns NRIDADEINI (years) and NRIDADEFIN (months 0..11).
inline constexpr const char* kYears = "NRIDADEINI";
inline constexpr const char* kMonths = "NRIDADEFIN";
// Every measured value and age part has at most 3 integer digits.
inline constexpr double kValueLimit = 1000.0;

}  // namespace srv
