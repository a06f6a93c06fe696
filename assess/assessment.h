#pragma once
// A child's measurement placed on one reference: per indicator the z-score
// and percentile from the reference's L, M and S, the band among its kept
// percentile curves, the SISVAN class (WHO references) and the WHO's
// implausibility flag.
//
// Rules by reference:
//  WHO (a reference keeping L, M and S by age in days):
//   - age up to 1856 days: the 2006 standards by age in days (the days past
//     the last kept day use it); length (lying) below 731 days, height
//     (standing) from 731: a height measured standing below 731 days gets
//     +0.7 cm, a length measured lying from 731 days -0.7 cm, both for
//     length/height-for-age and for choosing weight-for-length (below 731
//     days) or weight-for-height (from 731 days), and for the BMI;
//   - from 1857 days: the 2007 reference by age in whole months (rounded),
//     61 to 228, weight-for-age to 120 months; no weight-for-height and no
//     head circumference;
//   - weight-for-age, weight-for-length/height and BMI-for-age use the
//     restricted z beyond +-3.
//  CDC 2000 (L, M and S by age in months): age in months = days / 30.4375,
//   L, M and S interpolated between the published half months; the length
//   chart (lying, 0-36 months) or the stature chart (standing, 2-20 years) as
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

// What one reference keeps for assessing.
struct Reference {
  LmsTable lms;
  KeptCurves kept;
  // The percentiles of the kept curves, ascending: the band of an LMS
  // percentile is named after them (3 to 97 when empty).
  QList<int> percentiles;
};

struct Result {
  Indicator indicator = Indicator::WeightAge;
  std::optional<double> z;
  std::optional<double> percentile;
  QString band;
  std::optional<QString> classification;
  bool implausible = false;
};

// Each 30.4375 days is a month.
inline constexpr double kDaysPerMonth = 30.4375;

// The indicators the reference and the measures allow, in the order of
// Indicator. Nothing for a negative age. Without `withBand` the band of an
// LMS result stays empty (the batch does not write it).
std::vector<Result> Assess(const Reference& ref, const Child& child, bool withBand = true);

}  // namespace trp::assess
