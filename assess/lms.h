#pragma once
// LMS parameters of a growth reference and the z-score of a measurement on
// them (Cole's LMS method), with the WHO's restricted version for the
// weight-based indicators, and the percentile 100 x Phi(z).

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace trp::assess {

enum class Sex { Male = 0, Female = 1 };

// What one LMS curve measures against what. The text codes are the ones the
// database keeps (LMSREFERENCIA.CDINDICADOR).
enum class Curve {
  WeightAge,     // peso_idade
  LengthAge,     // comprimento_idade: measured lying (CDC 0-36 months)
  HeightAge,     // estatura_idade: standing, or WHO 2006 length/height by day
  HeadAge,       // pc_idade
  BmiAge,        // imc_idade
  WeightLength,  // peso_comprimento
  WeightHeight,  // peso_estatura
};
inline constexpr int kCurveCount = 7;

// The unit of a curve's key: age in days, age in months, or length/height in cm.
enum class KeyUnit { Days = 0, Months = 1, Centimetres = 2 };
inline constexpr int kUnitCount = 3;

const char* CurveCode(Curve c);
// The curve of a code; nullopt for an unknown one.
std::optional<Curve> CurveFromCode(const QString& code);
char UnitCode(KeyUnit u);  // 'D', 'M', 'C'
std::optional<KeyUnit> UnitFromCode(QChar c);

struct Lms {
  double l = 0, m = 0, s = 0;
};

// Every LMS point a reference keeps, by curve, sex and key unit.
class LmsTable {
 public:
  // Points may come in any order (key order is fastest); a repeated key
  // replaces the earlier one.
  void Add(Curve c, Sex sex, KeyUnit unit, double key, const Lms& lms);
  // L, M and S at `key`, linearly interpolated between the two kept keys
  // around it; nullopt outside the kept range or without points.
  std::optional<Lms> At(Curve c, Sex sex, KeyUnit unit, double key) const;
  // The kept key range; nullopt without points.
  std::optional<std::pair<double, double>> Range(Curve c, Sex sex, KeyUnit unit) const;
  bool Has(Curve c, KeyUnit unit) const;
  bool HasUnit(KeyUnit unit) const;
  bool Empty() const;

 private:
  struct Point {
    double key;
    Lms lms;
  };
  // The points of one curve by key; `perStep` set when the keys are evenly
  // spaced (days, months, 0.1 cm: every kept file), so a lookup is one
  // multiplication instead of a search.
  struct Points_ {
    std::vector<Point> pts;
    double perStep = 0;
  };
  std::vector<Point>& Points(Curve c, Sex sex, KeyUnit unit);
  const std::vector<Point>& Points(Curve c, Sex sex, KeyUnit unit) const;
  std::array<Points_, kCurveCount * 2 * kUnitCount> points_;
};

// z = ((y/M)^L - 1) / (L S), or ln(y/M) / S when L = 0. nullopt unless y > 0.
std::optional<double> ZScore(const Lms& lms, double y);

// The WHO's restricted z for weight-based indicators: beyond +3 (or -3) the
// distance between SD2 and SD3 at that point extends the scale linearly.
std::optional<double> RestrictedZScore(const Lms& lms, double y);

// 100 x Phi(z).
double Percentile(double z);

}  // namespace trp::assess
