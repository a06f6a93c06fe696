#pragma once
// Number formats of the host locale (Brazilian Portuguese: "," decimal
// separator, "." thousands separator).

#include <QString>

#include <optional>

namespace fw {

// Formats a value with a display format: "#,##0.000" gives 1234.5 as
// "1.234,500", "#,##0.00" two decimals, "##0" no decimals and no grouping.
// An empty format gives the shortest round-trip text with a decimal comma
// ("110,5").
QString FormatFloat(double value, const QString& format);

// The decimals a display format shows at most, read from its first
// (positive) section: "#,##0.000" 3, "0.0#" 2, "##0" 0. std::nullopt for an
// empty format or one without digit places.
std::optional<int> FormatDecimals(const QString& format);

// `value` rounded to `decimals` places the way FormatFloat rounds it, as an
// integer count of 10^-decimals: 8.5345 at 3 gives 8535, 1.005 at 2 gives 101
// (llround(1.005 * 100) gives 100, not what the grid shows). std::nullopt when
// not finite or beyond 18 digits.
std::optional<long long> ScaledRound(double value, int decimals);

// Shortest round-trip text of a value with a decimal comma, no grouping: the
// host's default float-to-text conversion ("110,5", "12").
QString FloatToStr(double value);

// Parses typed text: decimal comma (a point is accepted too when no comma is
// present and the text has a single point), optional "." thousands grouping,
// optional sign, surrounding blanks. Empty or blank text gives std::nullopt
// with ok = true; anything else that is not a finite number gives
// std::nullopt with ok = false.
std::optional<double> ParseFloat(const QString& text, bool* ok = nullptr);

// Edit masks in the host's style, "999;0; ": the mask characters ('0' digit
// required, '9' digit optional, '#' digit or sign optional, 'L'/'l' letter,
// 'A'/'a' letter or digit, 'C'/'c' any character, '>'/'<' upper/lower case,
// '\\' next character literal, anything else a literal), then ";0" when literals
// are not stored (";1" when they are) and the character shown for a blank.
struct EditMaskInfo {
  QString mask;
  bool saveLiterals = true;
  QChar blank = QLatin1Char('_');
};
EditMaskInfo ParseEditMask(const QString& editMask);

// The text to store for what an editor under the mask holds: blanks trimmed,
// literals dropped unless the mask stores them. Blank text gives "". Throws
// fw::Error ("'12a' não está de acordo com o formato 999.") when the text does
// not fit the mask.
QString ApplyEditMask(const QString& editMask, const QString& text);

// Normalises a typed code to `width`: blanks trimmed; a code made only of
// digits is left-padded with zeros to `width` ("5" -> "005" for 3; a longer
// code is kept as it is); any other code is upper-cased. Width 0 (or less)
// returns the trimmed text unchanged otherwise. The server applies the same
// rule to the codes it is sent.
QString Ajusta(const QString& text, int width);

}  // namespace fw
