#pragma once
// tabrelpeso-admin audit: the history of changes, as the screen shows it.

#include <QString>

#include <map>

// Prints the history matching the options (--ref, --perc, --table, --since,
// --user, --format csv) of the database `db`. Returns the exit status: 0,
// 1 when the database cannot be read, 2 on a bad option (said on stderr).
int RunAuditCommand(const QString& db, const std::map<QString, QString>& options);
