#pragma once
// The band between kept percentile curves: where a child's value falls among
// the curves a reference keeps ("entre P10 e P25", "abaixo do P3", "acima do
// P97", "no P50"), for references typed by staff without L, M and S.

#include "assess/lms.h"

#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace trp::assess {

// The indicators a child is assessed on; the keys of the answers.
enum class Indicator { WeightAge, StatureAge, WeightStature, BmiAge, HeadAge };
inline constexpr int kIndicatorCount = 5;

// "peso_idade", "estatura_idade", "peso_estatura", "imc_idade", "pc_idade".
const char* IndicatorKey(Indicator i);

// The kept percentile curves of one reference: for each indicator and sex,
// percentile value -> (key, value) points. Age curves are keyed in months,
// the weight-for-height curves in cm. Percentiles are placed and named by
// their value (the master data's), never by their code.
class KeptCurves {
 public:
  void Add(Indicator i, Sex sex, double percentile, double key, double value);
  // The band of `value` at `key`: each curve interpolated linearly at `key`
  // (curves that do not reach `key` are left out). Empty when no curve
  // reaches `key`.
  QString Band(Indicator i, Sex sex, double key, double value) const;
  bool Has(Indicator i) const;
  // Percentile value -> points in key order, for drawing.
  const std::map<double, std::vector<std::pair<double, double>>>& Curves(Indicator i,
                                                                          Sex sex) const {
    return curves_[int(i)][int(sex)];
  }

 private:
  std::map<double, std::vector<std::pair<double, double>>> curves_[kIndicatorCount][2];
};

// The band of `value` among (percentile value, curve value) pairs ordered by
// percentile; empty when there are none.
QString BandText(const std::vector<std::pair<double, double>>& curves, double value);

// "P3", "P97", "P2,5": a percentile named by its value.
QString PercentileName(double percentile);

}  // namespace trp::assess
