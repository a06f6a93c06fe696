// The server's reading of a Set call's delta, for each of the three tables:
// any JSON is read or refused with an RpcError, never a crash; a delta read
// has every row in table-column order, and its new rows are checked too.

#include "server/call_checks.h"
#include "server/tables.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const QJsonDocument doc = QJsonDocument::fromJson(
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
  if (!doc.isObject()) return 0;
  for (const srv::TableDef* t : srv::AllTables()) {
    try {
      const srv::Delta d = srv::ParseDelta(*t, doc.object());
      if (d.present.size() != t->columns.size()) std::abort();
      for (const srv::DeltaChange& c : d.changes) {
        const srv::Row& row = c.op == srv::DeltaChange::Op::Delete ? c.oldRow : c.newRow;
        if (row.size() != t->columns.size()) std::abort();
        if (c.op != srv::DeltaChange::Op::Delete) srv::ValidateNewRow(*t, c.newRow);
      }
    } catch (const srv::RpcError& e) {
      if (e.message().isEmpty()) std::abort();
    }
  }
  return 0;
}
