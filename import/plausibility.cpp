#include "import/plausibility.h"

#include "import/reference_ranges.h"

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

double Round(double v, int decimals) {
  const double f = std::pow(10.0, decimals);
  return std::round(v * f) / f;
}

QString Num(double v) { return QString::number(v, 'g', 6).replace(u'.', u','); }

QString SexName(Sex sex) {
  return sex == kMale ? QStringLiteral("masculino") : QStringLiteral("feminino");
}

double LineAt(const Point& a, const Point& b, double key) {
  return a.value + (b.value - a.value) * (key - a.key) / (b.key - a.key);
}

using Points = std::map<double, std::optional<double>>;  // key -> value (empty: null)

// The checks of one table: rows are fed in, findings come out.
class TableCheck {
 public:
  TableCheck(const char* table, bool byAge, const PercentileValues& values,
             const ReferenceCurves& curves, QStringList& out)
      : table_(QString::fromLatin1(table)),
        byAge_(byAge),
        values_(values),
        curves_(curves),
        out_(out) {}

  void Row(const QString& percentile, double key) { keys_[percentile].insert(key); }

  void Add(const QString& percentile, double key, Sex sex, Quantity q, const Measure& m) {
    points_[{sex, q, percentile}][key] = m.value;
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
    const auto anchored = [&](const std::optional<double>& value, Statistic st, const char* what) {
      if (!value || (st == Statistic::Sd ? !(*value > 0) : !InRange(q, *value)))
        return;  // said above
      const std::optional<Anchor> a = curves_.RangeAt(q, st, byAge_, sex, key);
      if (!a || (*value >= a->low && *value <= a->high)) return;
      Report(QStringLiteral("%1, %2%3, P%4: %5 fora da faixa das curvas %6 (%7 a %8).")
                 .arg(where, QString::fromUtf8(what), QString::fromUtf8(NameOf(q)), percentile,
                      Num(*value), a->sources, Num(Round(a->low, 2)), Num(Round(a->high, 2))));
    };
    anchored(m.value, Statistic::Value, "");
    anchored(m.mean, Statistic::Mean, "média de ");
    anchored(m.sd, Statistic::Sd, "desvio padrão de ");
  }

  void Finish() {
    Gaps();
    Order();
    for (const auto& [id, points] : points_) Jumps(id, points);
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
    for (const auto& [id, points] : points_) {
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
    // sex, quantity, key -> percentile (by its value) -> value
    const auto before = [this](const QString& a, const QString& b) {
      return PercentileBefore(values_, a, b);
    };
    using ByPercentile = std::map<QString, double, decltype(before)>;
    std::map<std::tuple<Sex, Quantity, double>, ByPercentile> at;
    for (const auto& [id, points] : points_) {
      const auto& [sex, q, percentile] = id;
      for (const auto& [key, value] : points)
        if (value) at.try_emplace({sex, q, key}, before).first->second[percentile] = *value;
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
    // Each point against its trend line; the tolerance is doubled where the
    // line is extended past an end.
    struct Judged {
      std::optional<Trend> trend;
      double off = 0;   // relative to the value, as the tolerance is
      double miss = 0;  // relative to the line, to find the worst point
    };
    std::vector<Judged> judged(filled.size());
    const auto point = [&](size_t i) { return Point{filled[i].first, filled[i].second}; };
    for (size_t i = 0; i < filled.size(); ++i) {
      ValueInContext v;
      v.byAge = byAge_;
      v.step = step;
      v.at = point(i);
      if (i >= 1) v.previous = point(i - 1);
      if (i >= 2) v.beforePrevious = point(i - 2);
      if (i + 1 < filled.size()) v.next = point(i + 1);
      if (i + 2 < filled.size()) v.afterNext = point(i + 2);
      Judged& j = judged[i];
      j.trend = TrendOf(v);
      if (!j.trend) continue;
      j.off = LineOffset(j.trend->a, v.at, j.trend->b) / (j.trend->extended ? 2 : 1);
      const double line = LineAt(j.trend->a, j.trend->b, v.at.key);
      j.miss = line > 0 ? std::fabs(v.at.value - line) / line : j.off;
    }
    // One bad value also bends its neighbours' lines: report the worst point
    // only, judged against the line (a tenfold value is 900 % off it, its
    // neighbour about 80 %).
    for (size_t i = 0; i < filled.size(); ++i) {
      const Judged& j = judged[i];
      const double tolerance = JumpTolerance(byAge_, filled[i].first);
      if (!j.trend || j.off <= tolerance) continue;
      if ((i > 0 && j.miss < judged[i - 1].miss) ||
          (i + 1 < filled.size() && j.miss < judged[i + 1].miss))
        continue;
      const double shown = j.trend->extended ? 2 : 1;
      Report(QStringLiteral("%1, %2, P%3: %4 %5 %6 e %7, salto de %8 % (tolerância %9 %).")
                 .arg(Where(sex, filled[i].first), QString::fromUtf8(NameOf(q)), percentile,
                      Num(filled[i].second),
                      j.trend->extended ? QStringLiteral("seguindo") : QStringLiteral("entre"),
                      Num(j.trend->a.value), Num(j.trend->b.value),
                      QString::number(j.off * shown * 100, 'f', 1).replace(u'.', u','),
                      Num(tolerance * shown * 100)));
    }
  }

  QString table_;
  bool byAge_;
  const PercentileValues& values_;
  const ReferenceCurves& curves_;
  QStringList& out_;
  std::map<QString, std::set<double>> keys_;
  std::map<CurveId, Points> points_;
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
  return std::fabs(at.value - LineAt(before, after, at.key)) / at.value;
}

std::optional<Trend> TrendOf(const ValueInContext& v) {
  const auto near = [&v](const Point& a, const Point& b) {
    return std::fabs(b.key - a.key) <= v.step + 1e-6;
  };
  // The check of the whole table skips points beside a gap.
  if (v.previous && v.next) {
    if (!near(*v.previous, v.at) || !near(v.at, *v.next)) return std::nullopt;
    return Trend{*v.previous, *v.next, false};
  }
  if (v.previous && v.beforePrevious && near(*v.beforePrevious, *v.previous) &&
      near(*v.previous, v.at))
    return Trend{*v.beforePrevious, *v.previous, true};
  if (v.next && v.afterNext && near(v.at, *v.next) && near(*v.next, *v.afterNext))
    return Trend{*v.next, *v.afterNext, true};
  return std::nullopt;
}

bool PercentileBefore(const PercentileValues& values, const QString& a, const QString& b) {
  const auto value = [&values](const QString& code) {
    const auto it = values.find(code);
    return it != values.end() ? it->second : code.toDouble();
  };
  const double va = value(a), vb = value(b);
  return va != vb ? va < vb : a < b;
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
  // Neighbours tell the user more than a range: they come first.
  if (const std::optional<Trend> t = TrendOf(v)) {
    const double tolerance = JumpTolerance(v.byAge, v.at.key) * (t->extended ? 2 : 1);
    if (LineOffset(t->a, v.at, t->b) > tolerance) return Finding::Jump;
  }
  if (v.reference && (v.at.value < v.reference->low || v.at.value > v.reference->high))
    return Finding::Reference;
  if ((v.lowerPercentile && *v.lowerPercentile > v.at.value) ||
      (v.upperPercentile && v.at.value > *v.upperPercentile))
    return Finding::Order;
  return Finding::None;
}

QStringList CheckRows(const Rows& rows, const PercentileValues& values,
                      const ReferenceCurves* curves) {
  const ReferenceCurves& c = curves ? *curves : ReferenceCurves::Shipped();
  QStringList out;
  TableCheck age("PESALTIDADE", true, values, c, out);
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
  TableCheck height("PESOALTU", false, values, c, out);
  for (const HeightRow& r : rows.height) {
    height.Row(r.percentile, r.height);
    for (Sex sex : {kMale, kFemale})
      height.Add(r.percentile, r.height, sex, Quantity::Weight, Measure{r.weight[sex], {}, {}});
  }
  height.Finish();
  TableCheck nchs("PEALNCHS2000", false, values, c, out);
  for (const NchsRow& r : rows.nchs) {
    nchs.Row(r.percentile, r.height);
    for (Sex sex : {kMale, kFemale})
      nchs.Add(r.percentile, r.height, sex, Quantity::Weight, r.weight[sex]);
  }
  nchs.Finish();
  return out;
}

}  // namespace trp::growth
