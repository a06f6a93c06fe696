#pragma once
// A reference's tables as a workbook: one sheet per table with the tables'
// own column names as its header row (what `import-table` reads back without
// any mapping), a "Referência" sheet with the code, name, citation, source
// and licence, a "Percentis" sheet with each percentile's code, name and
// value, and an "LMS" sheet with the L, M and S kept for the assessment.

#include "import/sheet.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace trp::tableexport {

struct Reference {
  QString code, name, citation, source, licence;
};
struct Percentile {
  QString code, name;
  std::optional<double> value;
};
struct LmsPoint {
  QString indicator, sex, unit;
  double key, l, m, s;
  QString origin;
};
// One table's rows, each a column name -> value map (null: empty).
struct TableRows {
  QString table;        // PESALTIDADE, PESOALTU, PEALNCHS2000
  QStringList columns;  // in the table's order
  QList<QVariantMap> rows;
};

// The sheet name of a stored table ("Idade-Peso-Altura").
QString SheetName(const QString& table);
// One table as a sheet: header row, then one line per row.
sheet::Sheet TableSheet(const TableRows& rows);
sheet::Workbook Build(const Reference& ref, const std::vector<TableRows>& tables,
                      const std::vector<Percentile>& percentiles, const std::vector<LmsPoint>& lms);

}  // namespace trp::tableexport
