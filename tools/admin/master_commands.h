#pragma once
// The master-table commands of tabrelpeso-admin: reference and percentile,
// each with list, add, edit and remove.

#include <QString>
#include <QStringList>

// True for "reference" and "percentile".
bool IsMasterCommand(const QString& command);
// Runs `tabrelpeso-admin reference|percentile ACTION [options]` (args as the
// program received them). Returns the exit status: 0 done, 1 refused (the
// Portuguese reason on stderr, nothing changed), 2 misused.
int RunMasterCommand(const QStringList& args);
