#include "import/plausibility.h"

#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <tuple>

namespace trp::growth {

namespace {

const char* NameOf(Quantity q) {
  switch (q) {
    case Quantity::Weight:
      return "peso";
    case Quantity::Stature:
      return "altura";
    case Quantity::Head:
      break;
  }
  return "perímetro cefálico";
}

QString Num(double v) { return QString::number(v, 'g', 6).replace(u'.', u','); }

QString SexName(Sex sex) {
  return sex == kMale ? QStringLiteral("masculino") : QStringLiteral("feminino");
}

using Points = std::map<double, std::optional<double>>;  // key -> value (empty: null)

// The checks of one table: rows are fed in, findings come out.
class TableCheck {
 public:
  TableCheck(const char* table, bool byAge, QStringList& out)
      : table_(QString::fromLatin1(table)), byAge_(byAge), out_(out) {}

  void Row(const QString& percentile, double key) { keys_[percentile].insert(key); }

  void Add(const QString& percentile, double key, Sex sex, Quantity q, const Measure& m) {
    curves_[{sex, q, percentile}][key] = m.value;
    const QString where = Where(sex, key);
    const Range r = RangeOf(q);
    auto inRange = [&](double v) { return InRange(q, v); };
    if (m.value && !inRange(*m.value))
      Report(QStringLiteral("%1, %2, P%3: %4 fora do intervalo fisiológico de %5 a %6.")
                 .arg(where, QString::fromUtf8(NameOf(q)), percentile, Num(*m.value), Num(r.low),
                      Num(r.high)));
    if (m.mean && !inRange(*m.mean))
      Report(QStringLiteral("%1, média de %2, P%3: %4 fora do intervalo fisiológico de %5 a %6.")
                 .arg(where, QString::fromUtf8(NameOf(q)), percentile, Num(*m.mean), Num(r.low),
                      Num(r.high)));
    if (m.sd && (!(*m.sd > 0) || (m.mean && *m.sd >= *m.mean)))
      Report(QStringLiteral("%1, desvio padrão de %2, P%3: %4 deveria estar entre 0 e a média%5.")
                 .arg(where, QString::fromUtf8(NameOf(q)), percentile, Num(*m.sd),
                      m.mean ? QStringLiteral(" (%1)").arg(Num(*m.mean)) : QString()));
  }

  void Finish() {
    Gaps();
    Order();
    for (const auto& [id, points] : curves_) Jumps(id, points);
  }

 private:
  using CurveId = std::tuple<Sex, Quantity, QString>;  // sex, quantity, percentile

  void Report(const QString& text) { out_.append(table_ + QStringLiteral(", ") + text); }

  QString Key(double key) const {
    if (!byAge_) return QStringLiteral("%1 cm").arg(Num(key));
    const int total = int(std::lround(key)), years = total / 12, months = total % 12;
    QString m = QStringLiteral("%1 %2").arg(months).arg(months == 1 ? QStringLiteral("mês")
                                                                    : QStringLiteral("meses"));
    if (years == 0) return m;
    const QString y = QStringLiteral("%1 %2").arg(years).arg(years == 1 ? QStringLiteral("ano")
                                                                        : QStringLiteral("anos"));
    return months ? y + u' ' + m : y;
  }
  QString Where(Sex sex, double key) const {
    return QStringLiteral("%1, %2").arg(SexName(sex), Key(key));
  }

  double Step(const std::set<double>& keys) const {
    return UsualStep(byAge_, std::vector<double>(keys.begin(), keys.end()));
  }
  bool Gap(double from, double to, double step) const { return to - from > step + 1e-6; }

  void Gaps() {
    for (const auto& [percentile, keys] : keys_) {
      const double step = Step(keys);
      for (auto it = keys.begin(); std::next(it) != keys.end(); ++it)
        if (Gap(*it, *std::next(it), step))
          Report(QStringLiteral("P%1: faltam linhas entre %2 e %3.")
                     .arg(percentile, Key(*it), Key(*std::next(it))));
    }
    for (const auto& [id, points] : curves_) {
      const auto& [sex, q, percentile] = id;
      std::optional<double> lastFilled;
      std::vector<double> empty;
      for (const auto& [key, value] : points) {
        if (!value) {
          if (lastFilled) empty.push_back(key);
          continue;
        }
        for (double k : empty)
          Report(QStringLiteral("%1, %2, P%3: vazio entre valores preenchidos.")
                     .arg(Where(sex, k), QString::fromUtf8(NameOf(q)), percentile));
        empty.clear();
        lastFilled = key;
      }
    }
  }

  void Order() {
    // sex, quantity, key -> percentile -> value
    std::map<std::tuple<Sex, Quantity, double>, std::map<QString, double>> at;
    for (const auto& [id, points] : curves_) {
      const auto& [sex, q, percentile] = id;
      for (const auto& [key, value] : points)
        if (value) at[{sex, q, key}][percentile] = *value;
    }
    for (const auto& [where, values] : at) {
      const auto& [sex, q, key] = where;
      for (auto lo = values.begin(), hi = std::next(lo); hi != values.end(); ++lo, ++hi)
        if (lo->second > hi->second)
          Report(QStringLiteral("%1, %2: P%3 = %4 maior que P%5 = %6 (percentis fora de ordem).")
                     .arg(Where(sex, key), QString::fromUtf8(NameOf(q)), lo->first, Num(lo->second),
                          hi->first, Num(hi->second)));
    }
  }

  void Jumps(const CurveId& id, const Points& points) {
    const auto& [sex, q, percentile] = id;
    std::vector<std::pair<double, double>> filled;
    for (const auto& [key, value] : points)
      if (value) filled.emplace_back(key, *value);
    std::set<double> keys;
    for (const auto& p : filled) keys.insert(p.first);
    const double step = Step(keys);
    // Distance of each inner point from its neighbours' line, relative to the value.
    std::vector<double> off(filled.size(), 0);
    for (size_t i = 1; i + 1 < filled.size(); ++i) {
      const auto [k0, v0] = filled[i - 1];
      const auto [k1, v1] = filled[i];
      const auto [k2, v2] = filled[i + 1];
      if (Gap(k0, k1, step) || Gap(k1, k2, step)) continue;
      off[i] = LineOffset({k0, v0}, {k1, v1}, {k2, v2});
    }
    // One bad value also bends its neighbours' lines: report the worst point only.
    for (size_t i = 1; i + 1 < filled.size(); ++i) {
      const double tolerance = JumpTolerance(byAge_, filled[i].first);
      if (off[i] <= tolerance || off[i] < off[i - 1] || off[i] < off[i + 1]) continue;
      Report(QStringLiteral("%1, %2, P%3: %4 entre %5 e %6, salto de %7 % (tolerância %8 %).")
                 .arg(Where(sex, filled[i].first), QString::fromUtf8(NameOf(q)), percentile,
                      Num(filled[i].second), Num(filled[i - 1].second), Num(filled[i + 1].second),
                      QString::number(off[i] * 100, 'f', 1).replace(u'.', u','),
                      Num(tolerance * 100)));
    }
  }

  QString table_;
  bool byAge_;
  QStringList& out_;
  std::map<QString, std::set<double>> keys_;
  std::map<CurveId, Points> curves_;
};

}  // namespace

Range RangeOf(Quantity q) {
  switch (q) {
    case Quantity::Weight:
      return kWeightRange;
    case Quantity::Stature:
      return kStatureRange;
    case Quantity::Head:
      break;
  }
  return kHeadRange;
}

bool InRange(Quantity q, double value) {
  const Range r = RangeOf(q);
  return value >= r.low && value <= r.high;
}

double LineOffset(const Point& before, const Point& at, const Point& after) {
  if (!(at.value > 0) || after.key == before.key) return 0;
  const double line = before.value + (after.value - before.value) * (at.key - before.key) /
                                         (after.key - before.key);
  return std::fabs(at.value - line) / at.value;
}

double JumpTolerance(bool byAge, double key) {
  if (!byAge) return kHeightJump;
  return key < kInfantMonths ? kInfantJump : kAgeJump;
}

double UsualStep(bool byAge, const std::vector<double>& keys) {
  if (byAge) return 1;
  std::map<long, int> count;  // in hundredths of a cm
  for (size_t i = 1; i < keys.size(); ++i) ++count[std::lround((keys[i] - keys[i - 1]) * 100)];
  long best = 0;
  int most = 0;
  for (const auto& [step, n] : count)
    if (n > most) best = step, most = n;
  return double(best) / 100.0;
}

Finding CheckValue(const ValueInContext& v) {
  if (!InRange(v.quantity, v.at.value)) return Finding::Bounds;
  if (v.previous && v.next) {
    // The check of the whole table skips points beside a gap.
    const bool gap =
        v.at.key - v.previous->key > v.step + 1e-6 || v.next->key - v.at.key > v.step + 1e-6;
    if (!gap && LineOffset(*v.previous, v.at, *v.next) > JumpTolerance(v.byAge, v.at.key))
      return Finding::Jump;
  }
  if ((v.lowerPercentile && *v.lowerPercentile > v.at.value) ||
      (v.upperPercentile && v.at.value > *v.upperPercentile))
    return Finding::Order;
  return Finding::None;
}

QStringList CheckRows(const Rows& rows) {
  QStringList out;
  TableCheck age("PESALTIDADE", true, out);
  for (const AgeRow& r : rows.age) {
    const double key = r.years * 12 + r.months;
    age.Row(r.percentile, key);
    for (Sex sex : {kMale, kFemale}) {
      age.Add(r.percentile, key, sex, Quantity::Weight, r.weight[sex]);
      age.Add(r.percentile, key, sex, Quantity::Stature, r.height[sex]);
      age.Add(r.percentile, key, sex, Quantity::Head, r.head[sex]);
    }
  }
  age.Finish();
  TableCheck height("PESOALTU", false, out);
  for (const HeightRow& r : rows.height) {
    height.Row(r.percentile, r.height);
    for (Sex sex : {kMale, kFemale})
      height.Add(r.percentile, r.height, sex, Quantity::Weight, Measure{r.weight[sex], {}, {}});
  }
  height.Finish();
  TableCheck nchs("PEALNCHS2000", false, out);
  for (const NchsRow& r : rows.nchs) {
    nchs.Row(r.percentile, r.height);
    for (Sex sex : {kMale, kFemale})
      nchs.Add(r.percentile, r.height, sex, Quantity::Weight, r.weight[sex]);
  }
  nchs.Finish();
  return out;
}

}  // namespace trp::growth
