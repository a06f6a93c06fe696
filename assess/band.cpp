#include "assess/band.h"

#include <algorithm>

namespace trp::assess {

namespace {

constexpr const char* kKeys[kIndicatorCount] = {"peso_idade", "estatura_idade", "peso_estatura",
                                                "imc_idade", "pc_idade"};

QString P(double percentile) { return PercentileName(percentile); }

}  // namespace

QString PercentileName(double percentile) {
  return QStringLiteral("P") + QString::number(percentile, 'g', 6).replace(u'.', u',');
}

const char* IndicatorKey(Indicator i) { return kKeys[int(i)]; }

void KeptCurves::Add(Indicator i, Sex sex, double percentile, double key, double value) {
  auto& pts = curves_[int(i)][int(sex)][percentile];
  auto at = std::lower_bound(pts.begin(), pts.end(), key,
                             [](const auto& p, double k) { return p.first < k; });
  if (at != pts.end() && at->first == key)
    at->second = value;
  else
    pts.insert(at, {key, value});
}

bool KeptCurves::Has(Indicator i) const {
  return !curves_[int(i)][0].empty() || !curves_[int(i)][1].empty();
}

QString KeptCurves::Band(Indicator i, Sex sex, double key, double value) const {
  std::vector<std::pair<double, double>> at;
  for (const auto& [percentile, pts] : curves_[int(i)][int(sex)]) {
    if (pts.empty() || key < pts.front().first || key > pts.back().first) continue;
    auto hi = std::lower_bound(pts.begin(), pts.end(), key,
                               [](const auto& p, double k) { return p.first < k; });
    if (hi->first == key) {
      at.emplace_back(percentile, hi->second);
      continue;
    }
    const auto lo = hi - 1;
    at.emplace_back(percentile, lo->second + (key - lo->first) / (hi->first - lo->first) *
                                                 (hi->second - lo->second));
  }
  return BandText(at, value);
}

QString BandText(const std::vector<std::pair<double, double>>& curves, double value) {
  if (curves.empty()) return {};
  if (value < curves.front().second) return QStringLiteral("abaixo do ") + P(curves.front().first);
  if (value > curves.back().second) return QStringLiteral("acima do ") + P(curves.back().first);
  for (size_t k = 0; k < curves.size(); ++k) {
    if (value == curves[k].second) return QStringLiteral("no ") + P(curves[k].first);
    if (k + 1 < curves.size() && value < curves[k + 1].second)
      return QStringLiteral("entre %1 e %2").arg(P(curves[k].first), P(curves[k + 1].first));
  }
  return QStringLiteral("no ") + P(curves.back().first);
}

}  // namespace trp::assess
