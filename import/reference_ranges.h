#pragma once
// Plausible ranges at one age or height, taken from the WHO 2006/2007 and
// CDC 2000 curves the program ships (data/who, data/cdc2000). A value is
// plausible where some shipped curve has it within the WHO's own limits for
// flagging a measurement as implausible: weight-for-age z from -6 to +5,
// length/height-for-age -6 to +6, weight-for-length/height and head
// circumference -5 to +5. A mean is judged as its value; a standard
// deviation against the curves' M x S (a quarter of the smallest to four
// times the largest). Ages are the table's months; as references count them
// differently (the CDC lists month m at m + 0.5), both readings count.

#include "import/growth.h"
#include "import/plausibility.h"

#include <QString>

#include <optional>
#include <vector>

namespace trp::growth {

enum class Statistic { Value, Mean, Sd };

struct Anchor {
  double low = 0, high = 0;
  QString sources;  // "OMS 2006/2007 e CDC 2000"
};

class ReferenceCurves {
 public:
  // Reads both folders' L, M and S; a folder that is missing or refused is
  // left out (its ranges are then simply absent), never an error.
  ReferenceCurves(const QString& whoDir, const QString& cdcDir);
  // The curves shipped with the program, read once.
  static const ReferenceCurves& Shipped();

  // The range at `key` (months by age, cm by height; by height only weight
  // exists) for `sex`; empty where no shipped curve reaches the key.
  std::optional<Anchor> RangeAt(Quantity q, Statistic st, bool byAge, Sex sex, double key) const;
  bool Empty() const { return curves_.empty(); }

 private:
  struct Lms {
    double key, l, m, s;
  };
  struct Curve {
    Quantity quantity;
    bool byAge;
    Sex sex;
    double toTableKey;  // multiplies the file's key: days to months, 1 otherwise
    double zLow, zHigh;
    QString source;
    std::vector<Lms> points;  // by key
  };
  void Add(const std::vector<LmsRow>& lms, const QString& source);
  static std::optional<Lms> At(const Curve& c, double key);

  std::vector<Curve> curves_;
};

}  // namespace trp::growth
