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

// Shortest round-trip text of a value with a decimal comma, no grouping: the
// host's default float-to-text conversion ("110,5", "12").
QString FloatToStr(double value);

// Parses typed text: decimal comma (a point is accepted too when no comma is
// present and the text has a single point), optional "." thousands grouping,
// optional sign, surrounding blanks. Empty or blank text gives std::nullopt
// with ok = true; anything else that is not a finite number gives
// std::nullopt with ok = false.
std::optional<double> ParseFloat(const QString& text, bool* ok = nullptr);

}  // namespace fw
