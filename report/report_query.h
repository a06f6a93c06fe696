#pragma once
// The queries of a report definition: their parameters, the binding of the
// values as values (never pasted into the SQL text), and the rows read as
// blocks, one per group and section, in the order the report prints them.
//
// A list parameter is written IN_LIST(<column>, :P_NAME) in the SQL text. Its
// value "T" selects everything; otherwise it is a list of codes separated by
// commas, each bound as its own value (an empty list selects nothing).
// Other parameters are bound as they are.

#include "framework/ui/dialog_forms.h"
#include "report/report_definition.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <utility>

namespace report {

// The parameter names of every section's query in `dialect`, in order of
// first appearance.
QStringList QueryParameterNames(const ReportDefinition& definition, fw::SqlDialect dialect);

struct BoundSql {
  QString sql;
  QList<std::pair<QString, QVariant>> values;  // placeholder name (no colon), value
};

// Expands IN_LIST and pairs each placeholder with its value. Throws
// fw::Error naming a parameter of the text that `params` does not hold or
// left without a value.
BoundSql BindParameters(const QString& sql, const fw::TQueryParams& params);

// The rows of one section for one group.
struct Block {
  int section = -1;
  QStringList groupKey;                                // the values of the groupBy fields
  std::shared_ptr<const QHash<QString, int>> columns;  // field name -> row index
  QList<QVector<QVariant>> rows;

  QVariant Value(int row, const QString& field) const;  // null when unknown
};

// Brings what the report's queries read up to date first (in server mode the
// workstation's copy is fetched again from the server). Throws fw::Error
// when it cannot be, the server's refusal in words: nothing should be asked
// or shown for a report that cannot be read.
void RefreshReportData(const ReportDefinition& definition, const QSqlDatabase& db);

// Runs every section's query on `db` and hands out the blocks by group key
// (compared as text, field by field), sections in definition order within a
// group. Throws fw::Error with the database's message when a query fails.
class BlockReader {
 public:
  BlockReader(const ReportDefinition& definition, const QSqlDatabase& db,
              const fw::TQueryParams& params);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The next block; false at the end.
  bool Next(Block& block);

 private:
  struct Stream;
  std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace report
