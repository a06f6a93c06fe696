#include "assess/lms.h"

#include <algorithm>
#include <cmath>

namespace trp::assess {

namespace {

constexpr const char* kCodes[kCurveCount] = {
    "peso_idade", "comprimento_idade", "estatura_idade", "pc_idade",
    "imc_idade",  "peso_comprimento",  "peso_estatura"};

size_t Slot(Curve c, Sex sex, KeyUnit unit) {
  return (size_t(c) * 2 + size_t(sex)) * kUnitCount + size_t(unit);
}

// The value at z of an LMS distribution (the SD lines of the restricted method).
double ValueAt(const Lms& p, double z) {
  return p.l == 0 ? p.m * std::exp(p.s * z) : p.m * std::pow(1 + p.l * p.s * z, 1 / p.l);
}

}  // namespace

const char* CurveCode(Curve c) { return kCodes[int(c)]; }

std::optional<Curve> CurveFromCode(const QString& code) {
  for (int i = 0; i < kCurveCount; ++i)
    if (code == QLatin1String(kCodes[i])) return Curve(i);
  return std::nullopt;
}

char UnitCode(KeyUnit u) { return "DMC"[int(u)]; }

std::optional<KeyUnit> UnitFromCode(QChar c) {
  if (c == u'D') return KeyUnit::Days;
  if (c == u'M') return KeyUnit::Months;
  if (c == u'C') return KeyUnit::Centimetres;
  return std::nullopt;
}

std::vector<LmsTable::Point>& LmsTable::Points(Curve c, Sex sex, KeyUnit unit) {
  return points_[Slot(c, sex, unit)].pts;
}

const std::vector<LmsTable::Point>& LmsTable::Points(Curve c, Sex sex, KeyUnit unit) const {
  return points_[Slot(c, sex, unit)].pts;
}

void LmsTable::Add(Curve c, Sex sex, KeyUnit unit, double key, const Lms& lms) {
  Points_& curve = points_[Slot(c, sex, unit)];
  auto& pts = curve.pts;
  // Kept sorted as it grows (loaders add in key order), so lookups stay const and thread-safe.
  if (pts.empty() || key > pts.back().key) {
    pts.push_back({key, lms});
  } else {
    auto at = std::lower_bound(pts.begin(), pts.end(), key,
                               [](const Point& p, double k) { return p.key < k; });
    if (at->key == key)
      at->lms = lms;
    else
      pts.insert(at, {key, lms});
  }
  curve.perStep = 0;
  if (pts.size() < 2) return;
  const double step = (pts.back().key - pts.front().key) / double(pts.size() - 1);
  // Checked on the new point and the ends only: loaders add in key order, and
  // a lookup verifies what the step predicts before trusting it.
  if (step > 0 && std::fabs(pts[1].key - pts[0].key - step) < step * 1e-6) curve.perStep = 1 / step;
}

std::optional<Lms> LmsTable::At(Curve c, Sex sex, KeyUnit unit, double key) const {
  const Points_& curve = points_[Slot(c, sex, unit)];
  const auto& pts = curve.pts;
  if (pts.empty() || !(key >= pts.front().key) || !(key <= pts.back().key)) return std::nullopt;
  size_t lo = pts.size();
  if (curve.perStep > 0) {
    // The place the even step predicts, moved by one where rounding put it
    // off, and trusted only when the keys around it agree.
    size_t at = std::min(size_t((key - pts.front().key) * curve.perStep), pts.size() - 1);
    if (at + 1 < pts.size() && pts[at + 1].key <= key) ++at;
    if (at > 0 && pts[at].key > key) --at;
    if (pts[at].key <= key && (at + 1 == pts.size() || pts[at + 1].key > key)) lo = at;
  }
  if (lo == pts.size()) {
    const auto hi = std::upper_bound(pts.begin(), pts.end(), key,
                                     [](double k, const Point& p) { return k < p.key; });
    lo = size_t(hi - pts.begin()) - 1;
  }
  const Point& a = pts[lo];
  if (a.key == key || lo + 1 == pts.size()) return a.lms;
  const Point& b = pts[lo + 1];
  const double f = (key - a.key) / (b.key - a.key);
  auto mix = [f](double x, double y) { return x + f * (y - x); };
  return Lms{mix(a.lms.l, b.lms.l), mix(a.lms.m, b.lms.m), mix(a.lms.s, b.lms.s)};
}

std::optional<std::pair<double, double>> LmsTable::Range(Curve c, Sex sex, KeyUnit unit) const {
  const auto& pts = Points(c, sex, unit);
  if (pts.empty()) return std::nullopt;
  return std::make_pair(pts.front().key, pts.back().key);
}

bool LmsTable::Has(Curve c, KeyUnit unit) const {
  return !Points(c, Sex::Male, unit).empty() || !Points(c, Sex::Female, unit).empty();
}

bool LmsTable::HasUnit(KeyUnit unit) const {
  for (int c = 0; c < kCurveCount; ++c)
    if (Has(Curve(c), unit)) return true;
  return false;
}

bool LmsTable::Empty() const {
  return std::all_of(points_.begin(), points_.end(), [](const auto& v) { return v.pts.empty(); });
}

std::optional<double> ZScore(const Lms& p, double y) {
  if (!(y > 0) || !(p.m > 0) || !(p.s > 0)) return std::nullopt;
  if (p.l == 0) return std::log(y / p.m) / p.s;
  return (std::pow(y / p.m, p.l) - 1) / (p.l * p.s);
}

std::optional<double> RestrictedZScore(const Lms& p, double y) {
  const std::optional<double> z = ZScore(p, y);
  if (!z) return z;
  if (*z > 3) {
    const double sd3 = ValueAt(p, 3), sd23 = sd3 - ValueAt(p, 2);
    return 3 + (y - sd3) / sd23;
  }
  if (*z < -3) {
    const double sd3 = ValueAt(p, -3), sd23 = ValueAt(p, -2) - sd3;
    return -3 + (y - sd3) / sd23;
  }
  return z;
}

double Percentile(double z) { return 50 * std::erfc(-z / std::sqrt(2.0)); }

}  // namespace trp::assess
