#pragma once
// A database for the benchmarks at scale: `references` references, each with
// 10 percentiles of 241 age rows (0 to 20 years), values with the precision
// of the CDC files. 100 references give 241,000 age rows.

#include <QString>

namespace bench {

// Creates the database file at `path` (it must not exist). Throws on failure.
void GenerateAgeTables(const QString& path, int references);

}  // namespace bench
