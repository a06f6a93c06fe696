// The plausibility check: nothing in the shipped references, and each planted
// fault found with its table, sex, key and values.
#include "import/plausibility.h"
#include "import/cdc2000.h"
#include "import/reference_ranges.h"
#include "import/who.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>
#include <vector>

namespace {

using trp::growth::kFemale;
using trp::growth::kMale;
using trp::growth::Rows;

QString Data(const char* folder) {
  QString root = qEnvironmentVariable("TRP_SOURCE_DIR");
  if (root.isEmpty()) root = QStringLiteral(TRP_SOURCE_DIR);
  return QDir(root).filePath(QStringLiteral("data/") + QLatin1String(folder));
}

QList<double> ManyPercentiles() { return {1, 3, 5, 10, 15, 25, 50, 75, 85, 90, 95, 97, 99}; }

const Rows& Cdc() {
  static const Rows rows = trp::cdc::LoadCdc2000(Data("cdc2000"), ManyPercentiles());
  return rows;
}

const trp::who::WhoRows& Who() {
  static const trp::who::WhoRows rows = trp::who::LoadWho(Data("who"), ManyPercentiles());
  return rows;
}

trp::growth::AgeRow& AgeAt(Rows& rows, const char* percentile, int years, int months) {
  for (auto& r : rows.age)
    if (r.percentile == QLatin1String(percentile) && r.years == years && r.months == months)
      return r;
  throw std::runtime_error("no such row");
}

trp::growth::HeightRow& HeightAt(Rows& rows, const char* percentile, double height) {
  for (auto& r : rows.height)
    if (r.percentile == QLatin1String(percentile) && r.height == height) return r;
  throw std::runtime_error("no such row");
}

TEST(Plausibility, FindsNothingInTheShippedReferences) {
  EXPECT_EQ(trp::growth::CheckRows(Cdc()), QStringList());
  EXPECT_EQ(trp::growth::CheckRows(Who().length), QStringList());
  Rows stature;
  stature.height = Who().height;
  EXPECT_EQ(trp::growth::CheckRows(stature), QStringList());
}

TEST(Plausibility, FindsEachPlantedFault) {
  struct Case {
    const char* what;
    bool who;
    std::function<void(Rows&)> plant;
    QStringList expected;  // parts of one finding
  };
  const std::vector<Case> cases = {
      {"P3 and P5 swapped",
       false,
       [](Rows& r) {
         std::swap(AgeAt(r, "003", 4, 2).weight[kFemale].value,
                   AgeAt(r, "005", 4, 2).weight[kFemale].value);
       },
       {"PESALTIDADE, feminino, 4 anos 2 meses, peso: P003", "maior que P005", "fora de ordem"}},
      {"a median typed 5 % too high",
       true,
       [](Rows& r) { *AgeAt(r, "050", 7, 1).height[kMale].value *= 1.05; },
       {"PESALTIDADE, masculino, 7 anos 1 mês, altura, P050", "salto de 4,", "tolerância 2 %"}},
      {"two digits swapped in a weight by length (16.2 for 12.6)",
       true,
       [](Rows& r) { HeightAt(r, "085", 87.5).weight[kMale] = 16.2; },
       {"PESOALTU, masculino, 87,5 cm, peso, P085: 16,2 entre"}},
      {"a jump in the NCHS table",
       false,
       [](Rows& r) {
         for (auto& n : r.nchs)
           if (n.percentile == QLatin1String("025") && n.height == 100.5)
             *n.weight[kFemale].value *= 1.03;
       },
       {"PEALNCHS2000, feminino, 100,5 cm, peso, P025", "salto"}},
      {"head circumference in metres",
       true,
       [](Rows& r) { AgeAt(r, "010", 0, 3).head[kFemale].value = 0.41; },
       {"PESALTIDADE, feminino, 3 meses, perímetro cefálico, P010: 0,41 fora do intervalo"}},
      {"a deviation larger than its mean",
       true,
       [](Rows& r) { AgeAt(r, "050", 2, 0).weight[kMale].sd = 14; },
       {"PESALTIDADE, masculino, 2 anos, desvio padrão de peso, P050: 14 deveria estar entre 0 e "
        "a média"}},
      {"a month missing",
       false,
       [](Rows& r) {
         std::erase_if(r.age, [](const auto& a) {
           return a.percentile == QLatin1String("097") && a.years == 10 && a.months == 6;
         });
       },
       {"PESALTIDADE, P097: faltam linhas entre 10 anos 5 meses e 10 anos 7 meses"}},
      {"a height step missing",
       true,
       [](Rows& r) {
         std::erase_if(r.height, [](const auto& h) {
           return h.percentile == QLatin1String("001") && h.height == 60;
         });
       },
       {"PESOALTU, P001: faltam linhas entre 59,5 cm e 60,5 cm"}},
      {"a weight left empty",
       true,
       [](Rows& r) { AgeAt(r, "015", 1, 1).weight[kFemale].value.reset(); },
       {"PESALTIDADE, feminino, 1 ano 1 mês, peso, P015: vazio entre valores preenchidos"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rows rows = c.who ? Who().length : Cdc();
    c.plant(rows);
    const QStringList findings = trp::growth::CheckRows(rows);
    bool found = false;
    for (const QString& f : findings) {
      bool all = true;
      for (const QString& part : c.expected) all = all && f.contains(part);
      found = found || all;
    }
    EXPECT_TRUE(found) << findings.join(u'\n').toStdString();
    // A wild value may also break the percentile order; nothing else is reported.
    EXPECT_LE(findings.size(), 3) << findings.join(u'\n').toStdString();
  }
}

}  // namespace

// The check of one typed value and the check of the whole table agree: each
// value of a planted fault is judged by the same rule, and the shipped values
// around it pass.
TEST(Plausibility, OneValueIsJudgedAsTheWholeTableJudgesIt) {
  using trp::growth::Finding;
  const Rows& cdc = Cdc();
  auto weight = [&](const char* perc, int months) {
    for (const auto& r : cdc.age)
      if (r.percentile == QLatin1String(perc) && r.years * 12 + r.months == months)
        return *r.weight[kMale].value;
    throw std::runtime_error("no such row");
  };
  auto at24 = [&](double value) {
    trp::growth::ValueInContext v;
    v.quantity = trp::growth::Quantity::Weight;
    v.byAge = true;
    v.at = {24, value};
    v.lowerPercentile = weight("025", 24);
    v.upperPercentile = weight("075", 24);
    v.previous = trp::growth::Point{23, weight("050", 23)};
    v.next = trp::growth::Point{25, weight("050", 25)};
    v.step = 1;
    return v;
  };
  struct Case {
    double value;
    Finding finding;
  };
  const double p50 = weight("050", 24);
  const Case cases[] = {
      {p50, Finding::None},
      {p50 * 10, Finding::Jump},                       // a slipped comma
      {260, Finding::Bounds},                          // over any weight
      {(weight("025", 24) + p50) / 2, Finding::Jump},  // off the line, inside the order
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trp::growth::CheckValue(at24(c.value)), c.finding) << c.value;
    Rows planted = cdc;
    AgeAt(planted, "050", 2, 0).weight[kMale].value = c.value;
    const QStringList found = trp::growth::CheckRows(planted);
    EXPECT_EQ(found.isEmpty(), c.finding == Finding::None)
        << c.value << found.join('\n').toStdString();
  }
  // Out of order only: no neighbour on the curve, above the next percentile.
  trp::growth::ValueInContext alone = at24(weight("075", 24) + 0.5);
  alone.previous.reset();
  EXPECT_EQ(trp::growth::CheckValue(alone), Finding::Order);
}

// The shipped WHO and CDC curves bound every measure at its age or height, at
// the WHO's own implausibility limits: a typed slip lands outside, the
// references' own values inside.
TEST(ReferenceRanges, TheShippedCurvesBoundEachMeasureAtItsAgeOrHeight) {
  using trp::growth::Quantity;
  using trp::growth::Statistic;
  const trp::growth::ReferenceCurves curves(Data("who"), Data("cdc2000"));
  ASSERT_FALSE(curves.Empty());
  struct Case {
    const char* what;
    Quantity q;
    Statistic st;
    bool byAge;
    trp::growth::Sex sex;
    double key, value;
    bool inside;
  };
  const Case cases[] = {
      {"weight at 2 years", Quantity::Weight, Statistic::Value, true, kMale, 24, 12.5, true},
      {"ten times that", Quantity::Weight, Statistic::Value, true, kMale, 25, 125, false},
      {"a tenth of it", Quantity::Weight, Statistic::Value, true, kFemale, 24, 1.25, false},
      {"birth weight", Quantity::Weight, Statistic::Value, true, kFemale, 0, 3.2, true},
      {"height at 10 years", Quantity::Stature, Statistic::Value, true, kMale, 120, 138, true},
      {"height in mm", Quantity::Stature, Statistic::Value, true, kMale, 120, 13.8 * 100, false},
      {"head at birth", Quantity::Head, Statistic::Value, true, kMale, 0, 34.5, true},
      {"head at 1 year, a digit slipped", Quantity::Head, Statistic::Value, true, kMale, 12, 64,
       false},
      {"weight for 80 cm", Quantity::Weight, Statistic::Value, false, kFemale, 80, 10.5, true},
      {"weight for 80 cm, comma slipped", Quantity::Weight, Statistic::Value, false, kFemale, 80,
       105, false},
      {"mean weight at 2 years", Quantity::Weight, Statistic::Mean, true, kMale, 24, 12.2, true},
      {"mean weight ten times", Quantity::Weight, Statistic::Mean, true, kMale, 24, 122, false},
      {"weight deviation at 2 years", Quantity::Weight, Statistic::Sd, true, kMale, 24, 1.4, true},
      {"weight deviation ten times", Quantity::Weight, Statistic::Sd, true, kMale, 24, 14, false},
  };
  for (const Case& c : cases) {
    const auto range = curves.RangeAt(c.q, c.st, c.byAge, c.sex, c.key);
    ASSERT_TRUE(range) << c.what;
    EXPECT_EQ(c.value >= range->low && c.value <= range->high, c.inside)
        << c.what << ": " << range->low << " a " << range->high;
    EXPECT_TRUE(range->sources.contains(QStringLiteral("OMS 2006/2007"))) << c.what;
  }
  // Past every curve (25 years) only the physiological bounds are left.
  EXPECT_FALSE(curves.RangeAt(Quantity::Weight, Statistic::Value, true, kMale, 300));
  // Without the folders, no range at all, and no error.
  EXPECT_TRUE(trp::growth::ReferenceCurves(QStringLiteral("/nao/existe"), QString()).Empty());
}

// Slips that have no neighbour on one side, or none at all, are found by the
// curves' range; the jump rule extends the curve past its last key.
TEST(Plausibility, SlipsAtTheEndOfACurveOrInANewReferenceAreFound) {
  struct Case {
    const char* what;
    std::function<void(Rows&)> plant;
    const char* expected;
  };
  // P050 of CDC 2000 up to 2 years, as a table still being typed.
  const auto upTo2Years = [] {
    Rows r;
    for (const auto& a : Cdc().age)
      if (a.percentile == QLatin1String("050") && a.years * 12 + a.months <= 24) r.age.push_back(a);
    return r;
  };
  const auto row = [](int years, int months, double weight) {
    trp::growth::AgeRow a;
    a.percentile = QStringLiteral("050");
    a.years = years;
    a.months = months;
    a.weight[kMale].value = weight;
    return a;
  };
  const std::vector<Case> cases = {
      {"125 kg after 12,5 kg, at the end of the curve",
       [&](Rows& r) { r.age.push_back(row(2, 1, 125)); },
       "PESALTIDADE, masculino, 2 anos 1 mês, peso, P050: 125 fora da faixa das curvas OMS "
       "2006/2007 e CDC 2000"},
      {"the only row of a new reference",
       [&](Rows& r) {
         r = Rows{{row(2, 1, 125)}, {}, {}, {}};
       },
       "PESALTIDADE, masculino, 2 anos 1 mês, peso, P050: 125 fora da faixa"},
      {"a mean ten times too large",
       [](Rows& r) { *AgeAt(r, "050", 1, 6).weight[kFemale].mean *= 10; },
       "PESALTIDADE, feminino, 1 ano 6 meses, média de peso, P050: "},
      {"a deviation ten times too large",
       [](Rows& r) { *AgeAt(r, "050", 1, 6).height[kMale].sd *= 10; },
       "PESALTIDADE, masculino, 1 ano 6 meses, desvio padrão de altura, P050: "},
      {"8 % off at the end of the curve, inside the range",
       [&](Rows& r) { r.age.push_back(row(2, 1, *r.age.back().weight[kMale].value * 1.08)); },
       "PESALTIDADE, masculino, 2 anos 1 mês, peso, P050: 13,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rows rows = upTo2Years();
    c.plant(rows);
    const QStringList findings = trp::growth::CheckRows(rows);
    ASSERT_FALSE(findings.isEmpty());
    EXPECT_TRUE(findings.first().contains(QString::fromUtf8(c.expected)))
        << findings.join(u'\n').toStdString();
    // A wild value is also off its curve's line; nothing else is reported.
    EXPECT_LE(findings.size(), 2) << findings.join(u'\n').toStdString();
  }
  EXPECT_EQ(trp::growth::CheckRows(upTo2Years()), QStringList());
}

// Percentiles are ordered by their values: the 2.5th percentile kept as
// "025" comes before the 10th, not after it.
TEST(Plausibility, ThePercentilesOrderIsTheirValuesOrder) {
  Rows rows;
  for (const auto& a : Cdc().age)
    if (a.years == 5 &&
        (a.percentile == QLatin1String("003") || a.percentile == QLatin1String("010")))
      rows.age.push_back(a);
  for (auto& a : rows.age)
    if (a.percentile == QLatin1String("003")) a.percentile = QStringLiteral("025");
  const trp::growth::PercentileValues values{{QStringLiteral("025"), 2.5},
                                             {QStringLiteral("010"), 10}};
  EXPECT_EQ(trp::growth::CheckRows(rows, values), QStringList());
  const QStringList byCode = trp::growth::CheckRows(rows);
  ASSERT_FALSE(byCode.isEmpty());
  EXPECT_TRUE(byCode.first().contains(QStringLiteral("P010 = ")) &&
              byCode.first().contains(QStringLiteral("maior que P025")))
      << byCode.first().toStdString();
}
