#include "assess/curves.h"

#include "assess/assessment.h"

#include <cmath>

namespace trp::assess {

double ZOfPercentile(double percentile) {
  double lo = -8, hi = 8;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    (Percentile(mid) < percentile ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

double ValueAtZ(const Lms& lms, double z) {
  if (lms.l == 0) return lms.m * std::exp(lms.s * z);
  return lms.m * std::pow(1 + lms.l * lms.s * z, 1 / lms.l);
}

std::map<double, std::vector<std::pair<double, double>>> AgeCurvesFromLms(
    const LmsTable& lms, Curve c, Sex sex, const QList<double>& percentiles) {
  std::map<double, std::vector<std::pair<double, double>>> curves;
  std::vector<std::pair<double, Lms>> points;  // months, L M S
  double last = -1;
  if (const auto days = lms.Range(c, sex, KeyUnit::Days)) {
    for (double d = days->first; d <= days->second; d += 15)
      if (const auto at = lms.At(c, sex, KeyUnit::Days, d)) {
        points.emplace_back(d / kDaysPerMonth, *at);
        last = d / kDaysPerMonth;
      }
  }
  if (const auto months = lms.Range(c, sex, KeyUnit::Months)) {
    for (double m = std::ceil(std::max(months->first, last + 0.5)); m <= months->second; m += 1)
      if (const auto at = lms.At(c, sex, KeyUnit::Months, m)) points.emplace_back(m, *at);
  }
  for (double p : percentiles) {
    const double z = ZOfPercentile(p);
    auto& curve = curves[p];
    for (const auto& [x, at] : points) curve.emplace_back(x, ValueAtZ(at, z));
  }
  if (points.empty()) curves.clear();
  return curves;
}

}  // namespace trp::assess
