#pragma once
// Private to the table import's files.

#include "import/growth.h"

#include <QString>

namespace trp::tableimport {

// A header as compared: lower case, accents and blanks gone ("Idade (meses)"
// -> "idademeses"); digits, points and commas kept.
QString Normalised(const QString& text);

// Rows by percentile, then key, as the tables keep them.
void SortRows(growth::Rows& rows);

}  // namespace trp::tableimport
