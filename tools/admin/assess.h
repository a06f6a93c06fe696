#pragma once
// tabrelpeso-admin assess: one child as JSON, or a CSV file of children.

#include <QString>

#include <map>

// `options` holds the command line's --name value pairs. Returns the exit
// status: 0 done, 1 a failure or malformed lines (reported on stderr), 2 a
// usage error.
int RunAssess(const std::map<QString, QString>& options);

// --pdf: the screen's printout of the child or of its visits (--series);
// `usage` reports a usage error and returns its status.
int RunAssessPdf(const std::map<QString, QString>& options, int (*usage)(const QString&));

// The help text of the command.
extern const char* const kAssessHelp;
