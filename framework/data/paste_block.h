#pragma once
// Text pasted from a spreadsheet: a block of cells (tabs between cells, line
// breaks between rows) and each cell read as a number under the rules of
// typing one (digits and one decimal comma, within a number of integer and
// decimal digits). Used by the grids' paste and by imports of typed tables.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace fw {

// True when `text` holds more than one cell: a tab, or a line break that is
// not its last character(s). "3,35\n" is one value, "3\t3,35" a block.
bool IsBlockText(const QString& text);

// The rows of a block, each a list of cells (trimmed); a trailing line break
// ends the last row, it does not start another. "\r\n", "\n" and "\r" all
// break lines.
QList<QStringList> SplitBlock(const QString& text);

// One cell as a number: empty text is no value; a comma is the decimal
// separator, and then points are grouping ("1.234,5"); without a comma one
// point is the decimal separator ("12.5"). `refusal` says why the text is
// not such a number ("Máximo de 3 casas decimais", "Use só algarismos e
// vírgula", ...), in the words the typing of a cell uses.
struct PastedNumber {
  std::optional<double> value;
  QString refusal;  // empty when accepted
};
PastedNumber ParsePastedNumber(const QString& cell, int intDigits, int decDigits);

}  // namespace fw
