#pragma once
// Database administration shared by tabrelpeso-admin and the host's embedded
// default: schema creation, CDC 2000 import, the sample database, CSV export.

#include "server/tables.h"

#include <QList>
#include <QString>

#include <string>

namespace srv {

// Creates or migrates the schema. Throws std::runtime_error with a clear message.
void InitDatabase(const QString& database);

struct ImportCounts {
  int age = 0, height = 0, nchs = 0;
};

// Replaces the rows of `reference` for the given percentiles in the three
// tables with the values computed from the CDC 2000 files of `dir`. The
// reference must exist; missing percentiles are created ("Percentil 15").
// The files are read and checked before anything is written, and everything
// is written in one transaction, so a refused file or a failure changes
// nothing. Throws std::runtime_error with a clear message.
ImportCounts ImportCdc(const QString& database, const QString& reference, const QString& dir,
                       const QList<double>& percentiles);

// The rows of one reference and table as CSV, one row per key, in key order:
// a header with the column names, then the values. With `commaDecimal` the
// decimals use a comma and fields are separated by ';' (pt-BR spreadsheets);
// otherwise a point and ','. Throws std::runtime_error (unknown reference...).
std::string ExportCsv(const QString& database, const QString& reference, TableId table,
                      bool commaDecimal);

}  // namespace srv
