#include "assess/assessment.h"

#include "assess/classification.h"

#include <algorithm>
#include <cmath>

namespace trp::assess {

namespace {

constexpr int kStandingFromDay = 731;
constexpr double kLyingStandingCm = 0.7;
// anthro_zscores: a standing height before this age (months) is implausible.
constexpr double kStandingFromMonths = 9;
// The WHO 2006 standards below, the 2007 reference from (anthro valid_age,
// anthroplus zscore_indicator).
constexpr double kWho2007FromMonths = 60;
constexpr double kWho2007WeightToMonths = 120;
constexpr double kWho2007ToMonths = 228;

const QString kPositionIgnored =
    QStringLiteral("medida em pé antes dos 9 meses: posição ignorada (sem +0,7 cm)");
const QString kImplausibleClass = QStringLiteral("valor implausível: confira a medida");

bool WeightBased(Indicator i) {
  return i == Indicator::WeightAge || i == Indicator::WeightStature || i == Indicator::BmiAge;
}

bool StatureBased(Indicator i) {
  return i == Indicator::StatureAge || i == Indicator::WeightStature || i == Indicator::BmiAge;
}

// One LMS lookup: curve, unit and key, and the value measured on it.
struct Point {
  Curve curve;
  KeyUnit unit;
  double key;
  double value;
};

class Assessor {
 public:
  Assessor(const Reference& ref, const Child& child, bool withBand, std::vector<Result>& out)
      : ref_(ref), child_(child), withBand_(withBand), out_(out) {}

  void Run() {
    out_.clear();
    if (child_.ageDays < 0) return;
    out_.reserve(kIndicatorCount);
    switch (ref_.source) {
      case Source::Who:
        Who();
        break;
      case Source::Cdc:
        Cdc();
        break;
      case Source::None:
        Kept();
        break;
    }
    const auto byIndicator = [](const Result& a, const Result& b) {
      return a.indicator < b.indicator;
    };
    if (!std::is_sorted(out_.begin(), out_.end(), byIndicator))
      std::sort(out_.begin(), out_.end(), byIndicator);
  }

 private:
  bool Done(Indicator i) const {
    return std::any_of(out_.begin(), out_.end(), [i](const Result& r) { return r.indicator == i; });
  }

  void FromLms(Indicator i, const Point& p, bool who, bool underFive) {
    const std::optional<Lms> lms = ref_.lms.At(p.curve, child_.sex, p.unit, p.key);
    if (!lms) return;
    const std::optional<double> z =
        who && WeightBased(i) ? RestrictedZScore(*lms, p.value) : ZScore(*lms, p.value);
    if (!z) return;
    Result r;
    r.indicator = i;
    r.z = z;
    r.percentile = Percentile(*z);
    r.implausible = Implausible(i, *z);
    if (who) r.classification = r.implausible ? kImplausibleClass : Classify(i, *z, underFive);
    if (who && positionIgnored_ && StatureBased(i)) r.flag = kPositionIgnored;
    if (!withBand_) {
      out_.push_back(std::move(r));
      return;
    }
    std::vector<std::pair<double, double>> marks;
    for (double p : ref_.percentiles.isEmpty() ? QList<double>{3, 5, 10, 25, 50, 75, 90, 95, 97}
                                               : ref_.percentiles)
      marks.emplace_back(p, p);
    r.band = BandText(marks, *r.percentile);
    out_.push_back(std::move(r));
  }

  std::optional<double> Bmi(std::optional<double> stature) const {
    if (!child_.weight || !stature || !(*stature > 0)) return std::nullopt;
    return *child_.weight / std::pow(*stature / 100, 2);
  }

  void Who() {
    const int days = child_.ageDays;
    const double months = days / kDaysPerMonth;
    Position position = child_.position;
    positionIgnored_ = position == Position::Standing && months < kStandingFromMonths;
    if (positionIgnored_) position = Position::Unknown;
    const bool lyingAge = days < kStandingFromDay;
    std::optional<double> stature = child_.stature;
    if (stature && position == Position::Standing && lyingAge) *stature += kLyingStandingCm;
    if (stature && position == Position::Lying && !lyingAge) *stature -= kLyingStandingCm;
    const std::optional<double> bmi = Bmi(stature);
    if (months < kWho2007FromMonths) {
      const double d = days;
      const KeyUnit u = KeyUnit::Days;
      if (child_.weight)
        FromLms(Indicator::WeightAge, {Curve::WeightAge, u, d, *child_.weight}, true, true);
      if (stature) FromLms(Indicator::StatureAge, {Curve::HeightAge, u, d, *stature}, true, true);
      if (child_.weight && stature)
        FromLms(Indicator::WeightStature,
                {lyingAge ? Curve::WeightLength : Curve::WeightHeight, KeyUnit::Centimetres,
                 *stature, *child_.weight},
                true, true);
      if (bmi) FromLms(Indicator::BmiAge, {Curve::BmiAge, u, d, *bmi}, true, true);
      if (child_.head) FromLms(Indicator::HeadAge, {Curve::HeadAge, u, d, *child_.head}, true, true);
      return;
    }
    if (months > kWho2007ToMonths) return;
    const KeyUnit u = KeyUnit::Months;
    if (child_.weight && months <= kWho2007WeightToMonths)
      FromLms(Indicator::WeightAge, {Curve::WeightAge, u, months, *child_.weight}, true, false);
    if (stature)
      FromLms(Indicator::StatureAge, {Curve::HeightAge, u, months, *stature}, true, false);
    if (bmi) FromLms(Indicator::BmiAge, {Curve::BmiAge, u, months, *bmi}, true, false);
  }

  bool Covers(Curve c, KeyUnit u, double key) const {
    return ref_.lms.At(c, child_.sex, u, key).has_value();
  }

  void Cdc() {
    const double months = child_.ageDays / kDaysPerMonth;
    const KeyUnit u = KeyUnit::Months;
    if (child_.weight)
      FromLms(Indicator::WeightAge, {Curve::WeightAge, u, months, *child_.weight}, false, false);
    if (child_.head)
      FromLms(Indicator::HeadAge, {Curve::HeadAge, u, months, *child_.head}, false, false);
    if (!child_.stature) return;
    const bool lying =
        child_.position == Position::Lying || (child_.position == Position::Unknown && months < 24);
    // The measured chart when it reaches the age, else the other one adjusted.
    double stature = *child_.stature;
    Curve byAge = lying ? Curve::LengthAge : Curve::HeightAge;
    if (!Covers(byAge, u, months)) {
      byAge = lying ? Curve::HeightAge : Curve::LengthAge;
      stature += lying ? -kLyingStandingCm : kLyingStandingCm;
    }
    FromLms(Indicator::StatureAge, {byAge, u, months, stature}, false, false);
    if (child_.weight) {
      double atStature = *child_.stature;
      Curve byStature = lying ? Curve::WeightLength : Curve::WeightHeight;
      if (!Covers(byStature, KeyUnit::Centimetres, atStature)) {
        byStature = lying ? Curve::WeightHeight : Curve::WeightLength;
        atStature += lying ? -kLyingStandingCm : kLyingStandingCm;
      }
      FromLms(Indicator::WeightStature,
              {byStature, KeyUnit::Centimetres, atStature, *child_.weight}, false, false);
    }
    if (const auto bmi = Bmi(stature))
      FromLms(Indicator::BmiAge, {Curve::BmiAge, u, months, *bmi}, false, false);
  }

  // A reference without L, M and S: the band among its kept curves.
  void Kept() {
    const double months = child_.ageDays / kDaysPerMonth;
    auto band = [&](Indicator i, double key, std::optional<double> value) {
      if (!value || Done(i) || !ref_.kept.Has(i)) return;
      const QString text = ref_.kept.Band(i, child_.sex, key, *value);
      if (text.isEmpty()) return;
      Result r;
      r.indicator = i;
      r.band = text;
      out_.push_back(std::move(r));
    };
    band(Indicator::WeightAge, months, child_.weight);
    band(Indicator::StatureAge, months, child_.stature);
    if (child_.stature) band(Indicator::WeightStature, *child_.stature, child_.weight);
    band(Indicator::HeadAge, months, child_.head);
  }

  const Reference& ref_;
  const Child& child_;
  const bool withBand_;
  bool positionIgnored_ = false;
  std::vector<Result>& out_;
};

}  // namespace

std::vector<Result> Assess(const Reference& ref, const Child& child, bool withBand) {
  std::vector<Result> out;
  Assessor(ref, child, withBand, out).Run();
  return out;
}

void Assess(const Reference& ref, const Child& child, bool withBand, std::vector<Result>& out) {
  Assessor(ref, child, withBand, out).Run();
}

}  // namespace trp::assess
