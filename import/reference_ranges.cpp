#include "import/reference_ranges.h"

#include "framework/data/shipped_paths.h"
#include "import/cdc2000.h"
#include "import/who.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <tuple>

namespace trp::growth {

namespace {

constexpr double kDaysPerMonth = 30.4375;
// M x S is only the spread near the median: a deviation is odd when it is
// far from every curve's, as a slipped comma makes it.
constexpr double kSdFactor = 4;

// Beyond 3 SD the WHO extends a curve by the distance between 2 and 3 SD,
// so that skewed weights neither explode nor vanish.
double ValueAtZ(double l, double m, double s, double z) {
  if (std::fabs(z) <= 3) return LmsValue(l, m, s, z);
  const double sign = z < 0 ? -1 : 1;
  const double sd3 = LmsValue(l, m, s, 3 * sign);
  const double sd2 = LmsValue(l, m, s, 2 * sign);
  return sd3 + (std::fabs(z) - 3) * (sd3 - sd2);
}

struct Kind {
  Quantity quantity;
  bool byAge;
  double zLow, zHigh;
};

std::optional<Kind> KindOf(const std::string& indicator) {
  if (indicator == "peso_idade") return Kind{Quantity::Weight, true, -6, 5};
  if (indicator == "estatura_idade" || indicator == "comprimento_idade")
    return Kind{Quantity::Stature, true, -6, 6};
  if (indicator == "pc_idade") return Kind{Quantity::Head, true, -5, 5};
  if (indicator == "peso_comprimento" || indicator == "peso_estatura")
    return Kind{Quantity::Weight, false, -5, 5};
  return std::nullopt;
}

}  // namespace

ReferenceCurves::ReferenceCurves(const QString& whoDir, const QString& cdcDir) {
  // Only L, M and S are wanted; one percentile keeps the rows small.
  try {
    const who::WhoRows who = who::LoadWho(whoDir, {50});
    Add(who.length.lms, QStringLiteral("OMS 2006/2007"));  // heightLms repeats its wfh
  } catch (const std::exception&) {
  }
  try {
    Add(cdc::LoadCdc2000(cdcDir, {50}).lms, QStringLiteral("CDC 2000"));
  } catch (const std::exception&) {
  }
}

const ReferenceCurves& ReferenceCurves::Shipped() {
  static const ReferenceCurves curves(
      fw::FindShippedDir(QStringLiteral("data/who"), QStringLiteral("weianthro.txt")),
      fw::FindShippedDir(QStringLiteral("data/cdc2000"), QStringLiteral("wtageinf.csv")));
  return curves;
}

void ReferenceCurves::Add(const std::vector<LmsRow>& lms, const QString& source) {
  std::map<std::tuple<std::string, char, int>, size_t> index;
  for (const LmsRow& row : lms) {
    const std::optional<Kind> kind = KindOf(row.indicator);
    if (!kind) continue;
    const auto id = std::make_tuple(std::string(row.indicator), row.unit, int(row.sex));
    auto it = index.find(id);
    if (it == index.end()) {
      Curve c{kind->quantity, kind->byAge, row.sex, row.unit == 'D' ? 1 / kDaysPerMonth : 1,
              kind->zLow,     kind->zHigh, source,  {}};
      // Two files of one indicator in the same unit (the CDC's infant and
      // older weight charts) join into one curve.
      curves_.push_back(std::move(c));
      it = index.emplace(id, curves_.size() - 1).first;
    }
    curves_[it->second].points.push_back({row.key, row.l, row.m, row.s});
  }
  for (Curve& c : curves_)
    std::sort(c.points.begin(), c.points.end(),
              [](const Lms& a, const Lms& b) { return a.key < b.key; });
}

std::optional<ReferenceCurves::Lms> ReferenceCurves::At(const Curve& c, double key) {
  if (c.points.empty() || key < c.points.front().key - 1e-9 || key > c.points.back().key + 1e-9)
    return std::nullopt;
  auto hi = std::lower_bound(c.points.begin(), c.points.end(), key,
                             [](const Lms& p, double k) { return p.key < k; });
  if (hi == c.points.end()) return c.points.back();
  if (hi == c.points.begin() || std::fabs(hi->key - key) < 1e-9) return *hi;
  const Lms& a = *std::prev(hi);
  const Lms& b = *hi;
  const double t = (key - a.key) / (b.key - a.key);
  const auto mix = [t](double x, double y) { return x + (y - x) * t; };
  return Lms{key, mix(a.l, b.l), mix(a.m, b.m), mix(a.s, b.s)};
}

std::optional<Anchor> ReferenceCurves::RangeAt(Quantity q, Statistic st, bool byAge, Sex sex,
                                               double key) const {
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  QStringList sources;
  const std::vector<double> probes =
      byAge ? std::vector<double>{key, key + 0.5} : std::vector<double>{key};
  for (const Curve& c : curves_) {
    if (c.quantity != q || c.byAge != byAge || c.sex != sex) continue;
    for (double probe : probes) {
      const std::optional<Lms> p = At(c, probe / c.toTableKey);
      if (!p) continue;
      try {
        if (st == Statistic::Sd) {
          low = std::min(low, p->m * p->s / kSdFactor);
          high = std::max(high, p->m * p->s * kSdFactor);
        } else {
          low = std::min(low, ValueAtZ(p->l, p->m, p->s, c.zLow));
          high = std::max(high, ValueAtZ(p->l, p->m, p->s, c.zHigh));
        }
      } catch (const std::exception&) {
        continue;  // no value at that z on this curve
      }
      if (!sources.contains(c.source)) sources.append(c.source);
    }
  }
  if (sources.isEmpty()) return std::nullopt;
  return Anchor{std::max(low, 0.0), high, sources.join(QStringLiteral(" e "))};
}

}  // namespace trp::growth
