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
  return points_[Slot(c, sex, unit)];
}

const std::vector<LmsTable::Point>& LmsTable::Points(Curve c, Sex sex, KeyUnit unit) const {
  return points_[Slot(c, sex, unit)];
}

void LmsTable::Add(Curve c, Sex sex, KeyUnit unit, double key, const Lms& lms) {
  auto& pts = Points(c, sex, unit);
  // Kept sorted as it grows (loaders add in key order), so lookups stay const and thread-safe.
  if (pts.empty() || key > pts.back().key) {
    pts.push_back({key, lms});
    return;
  }
  auto at = std::lower_bound(pts.begin(), pts.end(), key,
                             [](const Point& p, double k) { return p.key < k; });
  if (at->key == key)
    at->lms = lms;
  else
    pts.insert(at, {key, lms});
}

std::optional<Lms> LmsTable::At(Curve c, Sex sex, KeyUnit unit, double key) const {
  const auto& pts = Points(c, sex, unit);
  if (pts.empty() || !(key >= pts.front().key) || !(key <= pts.back().key)) return std::nullopt;
  // The files keep evenly spaced keys (days, months, 0.1 cm): guess the
  // place first, search only when the guess misses.
  auto hi = pts.end();
  if (pts.size() > 1) {
    const double step = (pts.back().key - pts.front().key) / double(pts.size() - 1);
    const auto at = size_t(std::ceil((key - pts.front().key) / step - 1e-9));
    if (at < pts.size() && pts[at].key >= key && (at == 0 || pts[at - 1].key < key))
      hi = pts.begin() + std::ptrdiff_t(at);
  }
  if (hi == pts.end())
    hi = std::lower_bound(pts.begin(), pts.end(), key,
                          [](const Point& p, double k) { return p.key < k; });
  if (hi->key == key) return hi->lms;
  const auto lo = hi - 1;
  const double f = (key - lo->key) / (hi->key - lo->key);
  auto mix = [f](double a, double b) { return a + f * (b - a); };
  return Lms{mix(lo->lms.l, hi->lms.l), mix(lo->lms.m, hi->lms.m), mix(lo->lms.s, hi->lms.s)};
}

std::optional<std::pair<double, double>> LmsTable::Range(Curve c, Sex sex, KeyUnit unit) const {
  const auto& pts = Points(c, sex, unit);
  if (pts.empty()) return std::nullopt;
  return std::make_pair(pts.front().key, pts.back().key);
}

bool LmsTable::Has(Curve c, KeyUnit unit) const {
  return !points_[Slot(c, Sex::Male, unit)].empty() || !points_[Slot(c, Sex::Female, unit)].empty();
}

bool LmsTable::HasUnit(KeyUnit unit) const {
  for (int c = 0; c < kCurveCount; ++c)
    if (Has(Curve(c), unit)) return true;
  return false;
}

bool LmsTable::Empty() const {
  return std::all_of(points_.begin(), points_.end(), [](const auto& v) { return v.empty(); });
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
