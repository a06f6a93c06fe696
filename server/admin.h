#pragma once
// Database administration shared by tabrelpeso-admin and the host's embedded
// default: schema creation, CDC 2000 and WHO imports, the sample database, CSV
// export.

#include "server/tables.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <string>

namespace srv {

// Creates or migrates the schema. Throws std::runtime_error with a clear message.
void InitDatabase(const QString& database);

struct ImportCounts {
  int age = 0, height = 0, nchs = 0;
  int stature = 0;  // weight-for-height rows of the WHO's stature reference
  int lms = 0;      // L, M and S points kept for the (first) reference
  // What the plausibility check finds in the imported references afterwards.
  QStringList findings;
};

// Replaces the rows of `reference` for the given percentiles in the three
// tables with the values computed from the CDC 2000 files of `dir`. The
// reference must exist; missing percentiles are created ("Percentil 15").
// The files are read and checked before anything is written, and everything
// is written in one transaction, so a refused file or a failure changes
// nothing. Throws std::runtime_error with a clear message.
// The plausibility check of the result ends up in `findings`.
ImportCounts ImportCdc(const QString& database, const QString& reference, const QString& dir,
                       const QList<double>& percentiles);

// The WHO 2006/2007 references (import/who.h) from the files of `dir`:
// `reference` gets the age table and weight-for-length, `statureReference`
// (when not empty; never the same code) weight-for-height in its height-weight
// table. Same guarantees as ImportCdc: files checked first, one transaction.
ImportCounts ImportWho(const QString& database, const QString& reference,
                       const QString& statureReference, const QString& dir,
                       const QList<double>& percentiles);

// The rows of one reference and table as CSV, one row per key, in key order:
// a header with the column names, then the values. With `commaDecimal` the
// decimals use a comma and fields are separated by ';' (pt-BR spreadsheets);
// otherwise a point and ','. Throws std::runtime_error (unknown reference...).
// With `percentile` not empty, only that percentile's rows.
std::string ExportCsv(const QString& database, const QString& reference, TableId table,
                      bool commaDecimal, const QString& percentile = {});

}  // namespace srv

#include "import/table_export.h"

namespace srv {

// What `export` writes of one reference: its master entry, the rows of
// `tables` (of `percentile` alone when not empty) in key order, the
// percentiles they use and, for every table of the whole reference, its L,
// M and S. Throws std::runtime_error (unknown reference or percentile).
struct ExportedReference {
  trp::tableexport::Reference reference;
  std::vector<trp::tableexport::TableRows> tables;
  std::vector<trp::tableexport::Percentile> percentiles;
  std::vector<trp::tableexport::LmsPoint> lms;
};
ExportedReference ReadForExport(const QString& database, const QString& reference,
                                const std::vector<TableId>& tables, const QString& percentile);

}  // namespace srv
