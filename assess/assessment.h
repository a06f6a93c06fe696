#pragma once
// A child's measurement placed on one reference: per indicator the z-score
// and percentile from the reference's L, M and S, the band among its kept
// percentile curves, the SISVAN class (WHO references) and the WHO's
// implausibility flag.
//
// Which rules apply comes from where the reference's L, M and S come from
// (Reference::source), never from the keys they happen to have.
//
//  WHO (anthro for under 60 months, anthroplus from 60; age in months is
//  days / 30.4375, unrounded, as both packages take it):
//   - a height measured standing before 9.0 months is implausible: the
//     position is ignored (no 0.7 cm added) and flagged (anthro_zscores,
//     c9mo_flag);
//   - under 60.0 months, the 2006 standards by age in days (anthro_zscores,
//     valid_age): length (lying) below 731 days, height (standing) from 731;
//     a standing height below 731 days gets +0.7 cm, a lying length from 731
//     days -0.7 cm, for length/height-for-age, BMI and the choice of weight-
//     for-length (below 731 days) or weight-for-height (adjust_lenhei,
//     anthro_zscore_weight_for_lenhei); head circumference and weight-for-
//     length/height only here;
//   - from 60.0 months the 2007 reference, L, M and S interpolated between
//     whole months at the exact age (anthroplus zscore_indicator): weight-
//     for-age to 120.0 months, height and BMI to 228.0; nothing beyond;
//   - weight-for-age, weight-for-length/height and BMI-for-age use the
//     restricted z beyond +-3 (compute_zscore_adjusted);
//   - flags and classes on the z at two decimals; a flagged value gets no
//     class but "valor implausível: confira a medida".
//  CDC 2000 (cdcanthro): age in months = days / 30.4375, L, M and S
//   interpolated between the published half months; the length chart
//   (lying, 0-36 months) or the stature chart (standing, 2-20 years) as
//   measured, the other one with -+0.7 cm when the age is outside the
//   measured chart; weight-for-length for lying, weight-for-stature for
//   standing measures; plain LMS z, no class.
//  Without any L, M and S (typed references): only the band among the kept
//   curves, at the age in months or at the length/height as measured.

#include "assess/band.h"
#include "assess/lms.h"

#include <QList>

#include <optional>
#include <vector>

namespace trp::assess {

enum class Position { Unknown, Lying, Standing };

struct Child {
  Sex sex = Sex::Male;
  int ageDays = 0;
  std::optional<double> weight;   // kg
  std::optional<double> stature;  // cm, as measured
  Position position = Position::Unknown;
  std::optional<double> head;  // cm
};

// Where a reference's L, M and S come from (kept with them by the imports).
enum class Source { None, Who, Cdc };

// What one reference keeps for assessing.
struct Reference {
  Source source = Source::None;
  LmsTable lms;
  KeptCurves kept;
  // The values of the percentiles of the kept curves, ascending: the band of
  // an LMS percentile is named after them (3 to 97 when empty).
  QList<double> percentiles;
};

struct Result {
  Indicator indicator = Indicator::WeightAge;
  std::optional<double> z;
  std::optional<double> percentile;
  QString band;
  std::optional<QString> classification;
  bool implausible = false;
  // A flag besides the z limits, for people (a standing height before 9
  // months); empty when there is none.
  QString flag;
};

// Each 30.4375 days is a month.
inline constexpr double kDaysPerMonth = 30.4375;

// The indicators the reference and the measures allow, in the order of
// Indicator. Nothing for a negative age. Without `withBand` the band of an
// LMS result stays empty (the batch does not write it).
std::vector<Result> Assess(const Reference& ref, const Child& child, bool withBand = true);
// The same into `out` (cleared first), keeping its storage: for many children.
void Assess(const Reference& ref, const Child& child, bool withBand, std::vector<Result>& out);

}  // namespace trp::assess
