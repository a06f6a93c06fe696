#pragma once
// tabrelpeso-admin import-table and export (CSV, XLSX, ODS).

#include <QList>
#include <QString>

#include <map>

// Reads --in (--sheet, --table, --key, --columns), refuses it whole with the
// line and column of every error (status 1, nothing stored), and otherwise
// writes it into --ref in one transaction (created from --name or the
// file's "Referência" sheet when new); with `dryRun` prints the rows as they
// would be stored and the findings, storing nothing. 2: a bad option.
int RunImportTable(const std::map<QString, QString>& options, bool dryRun,
                   const QList<double>& percentiles);

// --table age|height|nchs|all, --perc, --format csv|xlsx|ods, --out, --decimal.
int RunExport(const std::map<QString, QString>& options);
