#pragma once
// Plausibility check of one reference's rows, for staff who type tables by
// hand and for every import. It reports, one line per finding:
//   - percentiles out of order: at the same sex and key, a lower percentile
//     with a higher value than the next percentile present (P5 < P3);
//   - jumps: a value further from the straight line through its two
//     neighbours (previous and next month, or height step) than the table's
//     tolerance, relative to the value. A typing error shows there, while the
//     steady growth of real curves (even the fast first months) stays far
//     below it. At either end of a curve the line through the two nearest
//     keys on its one side is extended, with twice the tolerance;
//   - values outside physiological bounds, and a deviation that is not
//     between 0 and its mean;
//   - values, means and deviations outside the range of the shipped WHO and
//     CDC curves at that age or height (reference_ranges.h), so that a slip
//     is found even without neighbours;
//   - gaps: a month (or a height step longer than the table's usual step)
//     missing between the first and last row of a percentile, or an empty
//     value between two filled ones of the same column.

#include "import/growth.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

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

// Percentile code -> its value (PERCENTIL.VRPERCENTIL); a code missing here
// is ordered by its number.
using PercentileValues = std::map<QString, double>;

class ReferenceCurves;

// The findings for the rows of one reference; empty when nothing is found.
// `curves` defaults to the shipped ones.
QStringList CheckRows(const Rows& rows, const PercentileValues& values = {},
                      const ReferenceCurves* curves = nullptr);

// The order of two percentile codes by their values.
bool PercentileBefore(const PercentileValues& values, const QString& a, const QString& b);

// --- the same rules for one value, as a screen checks what is typed

enum class Quantity { Weight, Stature, Head };
Range RangeOf(Quantity q);
bool InRange(Quantity q, double value);

struct Point {
  double key = 0;  // months (by age) or cm (by height)
  double value = 0;
};

// Distance of `at` from the straight line through `before` and `after`,
// relative to its value; 0 when the value is not positive.
double LineOffset(const Point& before, const Point& at, const Point& after);
// The tolerance of LineOffset at `key`.
double JumpTolerance(bool byAge, double key);
// The usual distance between keys: one month by age, else the commonest
// step between the sorted `keys` (0 with fewer than two).
double UsualStep(bool byAge, const std::vector<double>& keys);

// One value with what it is checked against: the values of the neighbouring
// percentiles at the same key and of the same percentile at the neighbouring
// keys, where they exist.
struct ValueInContext {
  Quantity quantity = Quantity::Weight;
  bool byAge = true;
  Point at;
  std::optional<double> lowerPercentile, upperPercentile;
  std::optional<Point> previous, next;
  // The next keys out on each side, for a value with neighbours on one side only.
  std::optional<Point> beforePrevious, afterNext;
  double step = 0;  // UsualStep of the percentile's keys
  // The range of the shipped curves at this key, where they reach it.
  std::optional<Range> reference;
};

// The line a jump is judged against: between the neighbours, or extended
// from the two nearest keys on one side (then `extended`).
struct Trend {
  Point a, b;
  bool extended = false;
};
std::optional<Trend> TrendOf(const ValueInContext& v);

enum class Finding { None, Bounds, Order, Jump, Reference };
// The first rule the value breaks (bounds, the jump off its curve, the
// shipped curves' range, then the order of the percentiles), as CheckRows
// would report it.
Finding CheckValue(const ValueInContext& v);

}  // namespace trp::growth
