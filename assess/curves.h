#pragma once
// Percentile curves drawn from a reference's L, M and S, for charts where no
// curve is kept (BMI-for-age): y = M (1 + L S z)^(1/L), or M e^(S z) when
// L = 0, z the percentile's normal deviate.

#include "assess/lms.h"

#include <QList>

#include <map>
#include <utility>
#include <vector>

namespace trp::assess {

// The z whose percentile 100 x Phi(z) is `percentile` (0 < percentile < 100).
double ZOfPercentile(double percentile);

// The value at z on these L, M and S.
double ValueAtZ(const Lms& lms, double z);

// For each percentile, (age in months, value) points of curve `c`: the
// points kept by day (every 15 days) then those kept by month past them.
// Empty when the reference keeps no such curve by age.
std::map<double, std::vector<std::pair<double, double>>> AgeCurvesFromLms(
    const LmsTable& lms, Curve c, Sex sex, const QList<double>& percentiles);

}  // namespace trp::assess
