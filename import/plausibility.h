#pragma once
// Plausibility check of one reference's rows, for staff who type tables by
// hand and for every import. It reports, one line per finding:
//   - percentiles out of order: at the same sex and key, a lower percentile
//     with a higher value than the next percentile present (P5 < P3);
//   - jumps: a value further from the straight line through its two
//     neighbours (previous and next month, or height step) than the table's
//     tolerance, relative to the value. A typing error shows there, while the
//     steady growth of real curves (even the fast first months) stays far
//     below it;
//   - values outside physiological bounds, and a deviation that is not
//     between 0 and its mean;
//   - gaps: a month (or a height step longer than the table's usual step)
//     missing between the first and last row of a percentile, or an empty
//     value between two filled ones of the same column.

#include "import/growth.h"

#include <QString>
#include <QStringList>

namespace trp::growth {

struct Range {
  double low, high;
};

// Physiological bounds, wide enough for the 1st to 99th percentile of any
// reference from birth to 20 years.
inline constexpr Range kWeightRange{0.3, 250};  // kg
inline constexpr Range kStatureRange{30, 230};  // cm, length or height
inline constexpr Range kHeadRange{20, 70};      // cm

// Jump tolerances (distance from the neighbours' line / value). Growth slows
// fast in the first months, so months 0 to 5 get more room. The shipped
// references reach 3.0 % in those months (weight at 2 months), 0.8 % from 6
// months on (the WHO 2006/2007 joint at 60/61 months) and 0.5 % by height
// step (CDC's half step at 45.5 cm).
inline constexpr double kInfantJump = 0.06;  // months 0 to 5
inline constexpr int kInfantMonths = 6;
inline constexpr double kAgeJump = 0.02;
inline constexpr double kHeightJump = 0.01;

// The findings for the rows of one reference; empty when nothing is found.
QStringList CheckRows(const Rows& rows);

}  // namespace trp::growth
