// The assessment against the WHO's and the CDC's own L, M and S (as the
// imports keep them): published answers, the restricted method, the age and
// position rules, the SISVAN boundaries, the band between typed curves, the
// age text and the CSV batch.

#include "assess/age.h"
#include "assess/assessment.h"
#include "assess/batch.h"
#include "assess/classification.h"
#include "import/cdc2000.h"
#include "import/who.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>

#include <cmath>

using namespace trp::assess;

namespace {

QString DataDir(const char* name) {
  QString root = qEnvironmentVariable("TRP_SOURCE_DIR");
  if (root.isEmpty()) root = QStringLiteral(TRP_SOURCE_DIR);
  return QDir(root).filePath(QStringLiteral("data/") + QLatin1String(name));
}

Reference FromRows(const std::vector<trp::growth::LmsRow>& rows, Source source) {
  Reference ref;
  ref.source = source;
  for (const auto& r : rows)
    ref.lms.Add(*CurveFromCode(QString::fromLatin1(r.indicator)), Sex(int(r.sex)),
                *UnitFromCode(QChar::fromLatin1(r.unit)), r.key, {r.l, r.m, r.s});
  return ref;
}

const Reference& Who() {
  static const Reference ref =
      FromRows(trp::who::LoadWho(DataDir("who"), trp::who::DefaultPercentiles()).length.lms,
               Source::Who);
  return ref;
}

const Reference& Cdc() {
  static const Reference ref =
      FromRows(trp::cdc::LoadCdc2000(DataDir("cdc2000"), {50}).lms, Source::Cdc);
  return ref;
}

const Result* Find(const std::vector<Result>& results, Indicator i) {
  for (const Result& r : results)
    if (r.indicator == i) return &r;
  return nullptr;
}

// One line of a WHO file, read here rather than through the import.
Lms WhoLine(const char* file, int sex, double key) {
  QFile f(QDir(DataDir("who")).filePath(QLatin1String(file)));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  f.readLine();
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c[0].toInt() == sex && std::fabs(c[1].toDouble() - key) < 1e-9)
      return {c[2].toDouble(), c[3].toDouble(), c[4].toDouble()};
  }
  ADD_FAILURE() << "no line " << sex << " " << key << " in " << file;
  return {1, 1, 1};
}

// The WHO's interpolation at a key between the file's steps (anthroplus
// zscore_indicator by whole months; anthro weight-for-lenhei by 0.1 cm).
Lms WhoAt(const char* file, int sex, double key, double step) {
  const double low = std::floor(key / step + 1e-9) * step;
  const Lms a = WhoLine(file, sex, low);
  if (key - low < 1e-9) return a;
  const Lms b = WhoLine(file, sex, low + step);
  const double f = (key - low) / step;
  return {a.l + f * (b.l - a.l), a.m + f * (b.m - a.m), a.s + f * (b.s - a.s)};
}

double ValueAtZ(const Lms& p, double z) { return p.m * std::pow(1 + p.l * p.s * z, 1 / p.l); }

// The WHO's restricted method (compute_zscore_adjusted), written from its formula.
double AdjustedZ(const Lms& p, double y) {
  const double z = (std::pow(y / p.m, p.l) - 1) / (p.s * p.l);
  if (z > 3) return 3 + (y - ValueAtZ(p, 3)) / (ValueAtZ(p, 3) - ValueAtZ(p, 2));
  if (z < -3) return -3 + (y - ValueAtZ(p, -3)) / (ValueAtZ(p, -2) - ValueAtZ(p, -3));
  return z;
}

// The measure that the restricted method places at z (beyond +-3 too).
double AdjustedValue(const Lms& p, double z) {
  if (z > 3) return ValueAtZ(p, 3) + (z - 3) * (ValueAtZ(p, 3) - ValueAtZ(p, 2));
  if (z < -3) return ValueAtZ(p, -3) + (z + 3) * (ValueAtZ(p, -2) - ValueAtZ(p, -3));
  return ValueAtZ(p, z);
}

// The value at z of an LMS line of a WHO file, to place a child exactly at z.
double WhoValue(const char* file, int sex, double key, double z) {
  return ValueAtZ(WhoLine(file, sex, key), z);
}

struct Case {
  const char* what;
  Sex sex;
  int days;
  std::optional<double> weight, stature;
  Position position;
  std::optional<double> head;
  Indicator indicator;
  double z;
  bool implausible;
};

TEST(Assess, PublishedAnswersAndTheRestrictedMethodOnTheWho) {
  const Case cases[] = {
      // The known answers.
      {"menina 1522 dias, 17 kg",
       Sex::Female,
       1522,
       17,
       {},
       Position::Unknown,
       {},
       Indicator::WeightAge,
       0.24,
       false},
      {"menino 987 dias, 72,86 cm deitado (-0,7 cm)",
       Sex::Male,
       987,
       {},
       72.86,
       Position::Lying,
       {},
       Indicator::StatureAge,
       -6.09,
       true},
      {"menina 24 meses, 77,5 cm",
       Sex::Female,
       731,
       {},
       77.5,
       Position::Unknown,
       {},
       Indicator::StatureAge,
       -2.55,
       false},
      // Restricted beyond +-3 (WHO formula: 3 + (y - SD3) / (SD3 - SD2)); the
      // plain LMS z would be 4.71, -4.28, 5.29 and -4.39.
      {"menino 365 dias, 16 kg",
       Sex::Male,
       365,
       16,
       {},
       Position::Unknown,
       {},
       Indicator::WeightAge,
       4.9575,
       false},
      {"menino 365 dias, 6 kg",
       Sex::Male,
       365,
       6,
       {},
       Position::Unknown,
       {},
       Indicator::WeightAge,
       -4.1366,
       false},
      {"menina 80 cm deitada, 17 kg",
       Sex::Female,
       400,
       17,
       80,
       Position::Lying,
       {},
       Indicator::WeightStature,
       5.8946,
       true},
      {"menina 80 cm deitada, 7 kg",
       Sex::Female,
       400,
       7,
       80,
       Position::Lying,
       {},
       Indicator::WeightStature,
       -4.2162,
       false},
  };
  for (const Case& c : cases) {
    const auto results = Assess(Who(), {c.sex, c.days, c.weight, c.stature, c.position, c.head});
    const Result* r = Find(results, c.indicator);
    ASSERT_TRUE(r && r->z) << c.what;
    EXPECT_NEAR(*r->z, c.z, 0.005) << c.what;
    EXPECT_EQ(r->implausible, c.implausible) << c.what;
    EXPECT_NEAR(*r->percentile, 50 * std::erfc(-c.z / std::sqrt(2.0)), 0.1) << c.what;
  }
}

TEST(Assess, AgeAndPositionRulesPickTheWhoTableAndKey) {
  struct Rule {
    const char* what;
    int days;
    Position position;
    Lms lms;        // the WHO's L, M and S at the child's age
    double adjust;  // what the WHO adds to the measure before the z
    bool flagged;   // position ignored
  };
  const auto month = [](int days) { return days / kDaysPerMonth; };
  // A girl placed at z = 1.3 on the line the WHO's code uses.
  const Rule rules[] = {
      {"273 dias em pé: antes dos 9 meses, posição ignorada", 273, Position::Standing,
       WhoLine("lenanthro.txt", 2, 273), 0, true},
      {"274 dias em pé: +0,7", 274, Position::Standing, WhoLine("lenanthro.txt", 2, 274), 0.7,
       false},
      {"deitado antes de 731 dias", 730, Position::Lying, WhoLine("lenanthro.txt", 2, 730), 0,
       false},
      {"deitado desde 731 dias: -0,7", 731, Position::Lying, WhoLine("lenanthro.txt", 2, 731),
       -0.7, false},
      {"1826 dias (59,99 meses): OMS 2006", 1826, Position::Standing,
       WhoLine("lenanthro.txt", 2, 1826), 0, false},
      {"1827 dias (60,02 meses): OMS 2007 na idade exata", 1827, Position::Standing,
       WhoAt("hfawho2007.txt", 2, month(1827), 1), 0, false},
      {"1840 dias", 1840, Position::Standing, WhoAt("hfawho2007.txt", 2, month(1840), 1), 0,
       false},
      {"3653 dias (120,02 meses)", 3653, Position::Standing,
       WhoAt("hfawho2007.txt", 2, month(3653), 1), 0, false},
      {"6939 dias (227,99 meses)", 6939, Position::Standing,
       WhoAt("hfawho2007.txt", 2, month(6939), 1), 0, false},
  };
  for (const Rule& r : rules) {
    const double measured = ValueAtZ(r.lms, 1.3) - r.adjust;
    const auto results = Assess(Who(), {Sex::Female, r.days, {}, measured, r.position, {}});
    const Result* s = Find(results, Indicator::StatureAge);
    ASSERT_TRUE(s && s->z) << r.what;
    EXPECT_NEAR(*s->z, 1.3, 1e-9) << r.what;
    EXPECT_EQ(!s->flag.isEmpty(), r.flagged) << r.what;
  }
  // Weight-for-length below 731 days, weight-for-height from 731 (a length
  // lying at 800 days is read 0.7 cm shorter on the height table); before 9
  // months a standing height is read as it is.
  const double w = WhoValue("wfhanthro.txt", 1, 85, -1.1);
  const double w70 = WhoValue("wflanthro.txt", 1, 70, -1.1);
  auto z = [&](int days, double weight, double stature, Position p) {
    const auto results = Assess(Who(), {Sex::Male, days, weight, stature, p, {}});
    const Result* r = Find(results, Indicator::WeightStature);
    return r && r->z ? *r->z : NAN;
  };
  EXPECT_NEAR(z(800, w, 85.7, Position::Lying), -1.1, 1e-9);
  EXPECT_NEAR(z(800, w, 85, Position::Standing), -1.1, 1e-9);
  EXPECT_GT(std::fabs(z(600, w, 85, Position::Lying) - -1.1), 1e-3);
  EXPECT_NEAR(z(273, w70, 70, Position::Standing), -1.1, 1e-9);
  EXPECT_NEAR(z(274, w70, 69.3, Position::Standing), -1.1, 1e-9);
}

TEST(Assess, EachWhoIndicatorStopsWhereTheWhoStops) {
  struct Edge {
    int days;
    Indicator indicator;
    bool given;
  };
  // Head circumference and weight-for-height under 60.0 months (1826.25
  // days); weight-for-age to 120.0 months (3652.5), height and BMI to 228.0
  // (6939.75).
  const Edge edges[] = {
      {1826, Indicator::HeadAge, true},       {1827, Indicator::HeadAge, false},
      {1826, Indicator::WeightStature, true}, {1827, Indicator::WeightStature, false},
      {3652, Indicator::WeightAge, true},     {3653, Indicator::WeightAge, false},
      {6939, Indicator::StatureAge, true},    {6940, Indicator::StatureAge, false},
      {6939, Indicator::BmiAge, true},        {6940, Indicator::BmiAge, false},
  };
  for (const Edge& e : edges) {
    const auto results = Assess(Who(), {Sex::Male, e.days, 20, 110, Position::Standing, 50});
    EXPECT_EQ(Find(results, e.indicator) != nullptr, e.given)
        << e.days << " " << IndicatorKey(e.indicator);
  }
}

TEST(Assess, FlagsAndClassesReadTheZAsShown) {
  struct Shown {
    const char* what;
    Indicator indicator;
    int days;
    std::optional<double> weight, head;
    double z;  // where the child is placed
    bool implausible;
    const char* classification;
  };
  const Lms weight365 = WhoLine("weianthro.txt", 1, 365);
  const Lms head400 = WhoLine("hcanthro.txt", 1, 400);
  const Shown cases[] = {
      {"peso -6,004 lido -6,00", Indicator::WeightAge, 365, AdjustedValue(weight365, -6.004), {},
       -6.004, false, "Muito baixo peso para a idade"},
      {"peso -6,006 lido -6,01", Indicator::WeightAge, 365, AdjustedValue(weight365, -6.006), {},
       -6.006, true, "valor implausível: confira a medida"},
      {"pc +5,004 lido 5,00", Indicator::HeadAge, 400, {}, ValueAtZ(head400, 5.004), 5.004, false,
       ""},
      {"pc +5,006 lido 5,01", Indicator::HeadAge, 400, {}, ValueAtZ(head400, 5.006), 5.006, true,
       "valor implausível: confira a medida"},
      {"pc -5,004 lido -5,00", Indicator::HeadAge, 400, {}, ValueAtZ(head400, -5.004), -5.004,
       false, ""},
      {"142 kg aos 3 anos", Indicator::WeightAge, 1096, 142, {},
       AdjustedZ(WhoLine("weianthro.txt", 1, 1096), 142), true,
       "valor implausível: confira a medida"},
  };
  for (const Shown& c : cases) {
    const auto results =
        Assess(Who(), {Sex::Male, c.days, c.weight, {}, Position::Unknown, c.head});
    const Result* r = Find(results, c.indicator);
    ASSERT_TRUE(r && r->z) << c.what;
    EXPECT_NEAR(*r->z, c.z, 1e-6) << c.what;
    EXPECT_EQ(r->implausible, c.implausible) << c.what;
    EXPECT_EQ(r->classification.value_or(QString()), QString::fromUtf8(c.classification))
        << c.what;
  }
}

TEST(Assess, TheClassFollowsTheChildsAgeGroup) {
  // BMI at z 1.5: "Risco de sobrepeso" under 60 months, "Sobrepeso" from 60.
  const auto month = [](int days) { return days / kDaysPerMonth; };
  struct Group {
    int days;
    Lms lms;
    const char* classification;
  };
  for (const Group& g : {Group{1826, WhoLine("bmianthro.txt", 2, 1826), "Risco de sobrepeso"},
                         Group{1827, WhoAt("bfawho2007.txt", 2, month(1827), 1), "Sobrepeso"},
                         Group{1856, WhoAt("bfawho2007.txt", 2, month(1856), 1), "Sobrepeso"}}) {
    const double bmi = ValueAtZ(g.lms, 1.5);
    const auto results =
        Assess(Who(), {Sex::Female, g.days, bmi * 1.1 * 1.1, 110, Position::Standing, {}});
    const Result* r = Find(results, Indicator::BmiAge);
    ASSERT_TRUE(r && r->z) << g.days;
    EXPECT_NEAR(*r->z, 1.5, 1e-9) << g.days;
    EXPECT_EQ(*r->classification, QString::fromUtf8(g.classification)) << g.days;
  }
}

TEST(Assess, AReferenceKeepingOnlyTheWhoWeightForHeightGetsTheWhoRules) {
  const auto who = trp::who::LoadWho(DataDir("who"), trp::who::DefaultPercentiles());
  // The boy of 1308 days, 13.4 kg, 117.19 cm standing, against the WHO's own
  // restricted z at 117.19 cm.
  const double expected = AdjustedZ(WhoAt("wfhanthro.txt", 1, 117.19, 0.1), 13.4);
  ASSERT_LT(expected, -3);
  const Child boy{Sex::Male, 1308, 13.4, 117.19, Position::Standing, {}};
  const auto results = Assess(FromRows(who.heightLms, Source::Who), boy);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_NEAR(*results[0].z, expected, 1e-9);
  EXPECT_NEAR(ShownZ(*results[0].z), -4.99, 1e-9);
  EXPECT_EQ(*results[0].classification, "Magreza acentuada");
  EXPECT_FALSE(results[0].implausible);
  // Read with the CDC's rules the same points would give the plain z.
  const auto asCdc = Assess(FromRows(who.heightLms, Source::Cdc), boy);
  ASSERT_EQ(asCdc.size(), 1u);
  EXPECT_LT(*asCdc[0].z, -5.3);
  EXPECT_FALSE(asCdc[0].classification);
}

TEST(Assess, CdcInterpolatesBetweenHalfMonthsAndHasNoClass) {
  // At Agemos 24.5 (745.7 days) a boy at the CDC's M has z 0; the weight
  // chart switches at 36 months, the length chart covers 0-36 months.
  const double days = 24.5 * kDaysPerMonth;
  const auto rows = trp::cdc::LoadCdc2000(DataDir("cdc2000"), {50});
  double m = 0, lenM = 0;
  for (const auto& r : rows.lms) {
    if (r.sex != trp::growth::kMale || r.key != 24.5) continue;
    if (QLatin1String(r.indicator) == QLatin1String("peso_idade")) m = r.m;
    if (QLatin1String(r.indicator) == QLatin1String("comprimento_idade")) lenM = r.m;
  }
  ASSERT_GT(m, 0);
  const auto results =
      Assess(Cdc(), {Sex::Male, int(std::lround(days)), m, lenM, Position::Lying, {}});
  ASSERT_TRUE(Find(results, Indicator::WeightAge));
  EXPECT_NEAR(*Find(results, Indicator::WeightAge)->z, 0, 0.01);
  EXPECT_NEAR(*Find(results, Indicator::StatureAge)->z, 0, 0.01);
  EXPECT_FALSE(Find(results, Indicator::WeightAge)->classification);
}

TEST(Classification, EachSisvanBoundary) {
  struct B {
    Indicator i;
    double z;
    bool underFive;
    const char* expected;
  };
  const B table[] = {
      {Indicator::WeightAge, -3.01, true, "Muito baixo peso para a idade"},
      {Indicator::WeightAge, -3.0, true, "Baixo peso para a idade"},
      {Indicator::WeightAge, -2.01, true, "Baixo peso para a idade"},
      {Indicator::WeightAge, -2.0, true, "Peso adequado para a idade"},
      {Indicator::WeightAge, 2.0, true, "Peso adequado para a idade"},
      {Indicator::WeightAge, 2.01, false, "Peso elevado para a idade"},
      {Indicator::StatureAge, -3.01, true, "Muito baixa estatura para a idade"},
      {Indicator::StatureAge, -3.0, false, "Baixa estatura para a idade"},
      {Indicator::StatureAge, -2.0, true, "Estatura adequada para a idade"},
      {Indicator::StatureAge, 4.0, false, "Estatura adequada para a idade"},
      {Indicator::WeightStature, -3.01, true, "Magreza acentuada"},
      {Indicator::WeightStature, -3.0, true, "Magreza"},
      {Indicator::WeightStature, -2.0, true, "Eutrofia"},
      {Indicator::WeightStature, 1.0, true, "Eutrofia"},
      {Indicator::WeightStature, 1.01, true, "Risco de sobrepeso"},
      {Indicator::WeightStature, 2.0, true, "Risco de sobrepeso"},
      {Indicator::WeightStature, 2.01, true, "Sobrepeso"},
      {Indicator::WeightStature, 3.0, true, "Sobrepeso"},
      {Indicator::WeightStature, 3.01, true, "Obesidade"},
      {Indicator::BmiAge, 1.01, true, "Risco de sobrepeso"},
      {Indicator::BmiAge, -3.01, false, "Magreza acentuada"},
      {Indicator::BmiAge, -2.01, false, "Magreza"},
      {Indicator::BmiAge, 1.0, false, "Eutrofia"},
      {Indicator::BmiAge, 1.01, false, "Sobrepeso"},
      {Indicator::BmiAge, 2.0, false, "Sobrepeso"},
      {Indicator::BmiAge, 2.01, false, "Obesidade"},
      {Indicator::BmiAge, 3.0, false, "Obesidade"},
      {Indicator::BmiAge, 3.01, false, "Obesidade grave"},
      // At two decimals, as shown: -2.004 reads -2.00.
      {Indicator::WeightAge, -2.004, true, "Peso adequado para a idade"},
  };
  for (const B& b : table)
    EXPECT_EQ(Classify(b.i, b.z, b.underFive).value_or(QStringLiteral("-")),
              QString::fromUtf8(b.expected))
        << IndicatorKey(b.i) << " " << b.z << " " << b.underFive;
  EXPECT_FALSE(Classify(Indicator::HeadAge, 0, true));
}

TEST(Classification, WhoImplausibleLimits) {
  struct L {
    Indicator i;
    double low, high;
  };
  for (const L& l : {L{Indicator::StatureAge, -6, 6}, L{Indicator::WeightAge, -6, 5},
                     L{Indicator::WeightStature, -5, 5}, L{Indicator::BmiAge, -5, 5},
                     L{Indicator::HeadAge, -5, 5}}) {
    EXPECT_FALSE(Implausible(l.i, l.low)) << IndicatorKey(l.i);
    EXPECT_FALSE(Implausible(l.i, l.high)) << IndicatorKey(l.i);
    EXPECT_TRUE(Implausible(l.i, l.low - 0.01)) << IndicatorKey(l.i);
    EXPECT_TRUE(Implausible(l.i, l.high + 0.01)) << IndicatorKey(l.i);
  }
}

TEST(Band, ATypedReferenceWithoutLmsGetsTheBandBetweenItsCurves) {
  Reference typed;
  // Weight by month: P3, P10, P25 and P97 at months 0 and 12.
  const std::pair<int, std::pair<double, double>> curves[] = {
      {3, {3, 8}}, {10, {3.2, 8.6}}, {25, {3.4, 9.2}}, {97, {4.4, 11.8}}};
  for (const auto& [p, v] : curves) {
    typed.kept.Add(Indicator::WeightAge, Sex::Female, p, 0, v.first);
    typed.kept.Add(Indicator::WeightAge, Sex::Female, p, 12, v.second);
  }
  struct C {
    double days, weight;
    const char* band;
  };
  // At 6 months (182.6 days) the curves are 5.5, 5.9, 6.3 and 8.1 kg.
  for (const C& c :
       {C{182.625, 5.4, "abaixo do P3"}, C{182.625, 6.0, "entre P10 e P25"}, C{0, 3.2, "no P10"},
        C{182.625, 9, "acima do P97"}, C{0, 3.3, "entre P10 e P25"}}) {
    const auto results =
        Assess(typed, {Sex::Female, int(std::lround(c.days)), c.weight, {}, Position::Unknown, {}});
    ASSERT_EQ(results.size(), 1u) << c.weight;
    EXPECT_EQ(results[0].band, QString::fromUtf8(c.band)) << c.weight;
    EXPECT_FALSE(results[0].z);
    EXPECT_FALSE(results[0].classification);
  }
  // A percentile is named by its value.
  EXPECT_EQ(PercentileName(2.5), "P2,5");
  EXPECT_EQ(PercentileName(99), "P99");
  // Beyond the kept ages: no answer at all; the other sex has no curves.
  EXPECT_TRUE(Assess(typed, {Sex::Female, 500, 9, {}, Position::Unknown, {}}).empty());
  EXPECT_TRUE(Assess(typed, {Sex::Male, 100, 5, {}, Position::Unknown, {}}).empty());
}

TEST(Age, TextAndDays) {
  struct A {
    QDate birth, measured;
    const char* text;
  };
  for (const A& a : {A{{2020, 1, 10}, {2022, 4, 14}, "2 anos, 3 meses e 4 dias"},
                     A{{2020, 1, 31}, {2021, 3, 1}, "1 ano, 1 mês e 1 dia"},
                     A{{2024, 2, 29}, {2024, 2, 29}, "0 anos, 0 meses e 0 dias"}})
    EXPECT_EQ(AgeText(a.birth, a.measured), QString::fromUtf8(a.text));
  EXPECT_EQ(AgeDays({2020, 1, 10}, {2020, 2, 10}), 31);
  EXPECT_FALSE(AgeDays({2020, 1, 10}, {2020, 1, 9}));
  EXPECT_TRUE(AgeText({2020, 1, 10}, {2020, 1, 9}).isEmpty());
}

TEST(Batch, AMalformedLineIsReportedByNumberAndTheRestProcessed) {
  QByteArray input =
      "id;sexo;idade_dias;peso;medida;estatura;pc\n"
      "a1;F;1522;17;;;\n"
      "a2;X;100;5;;;\n"
      "a3;M;987;;D;72,86;\n"
      "a4;M;abc;10;;;\n"
      "a5;F;731;;P;77.5\n"
      "a6;F;731;;Q;77.5;\n"
      "a7;F;731;-2;;;\n";
  QBuffer in(&input), out;
  in.open(QIODevice::ReadOnly);
  out.open(QIODevice::WriteOnly);
  std::vector<std::pair<qint64, QString>> errors;
  const BatchCounts n = AssessCsv(in, out, &Who(), true, [&](qint64 line, const QString& why) {
    errors.emplace_back(line, why);
  });
  EXPECT_EQ(n.lines, 7);
  EXPECT_EQ(n.assessed, 2);
  ASSERT_EQ(errors.size(), 5u);
  const std::pair<qint64, const char*> expected[] = {
      {3, "sexo"}, {5, "idade_dias"}, {6, "colunas"}, {7, "medida"}, {8, "peso"}};
  for (size_t i = 0; i < errors.size(); ++i) {
    EXPECT_EQ(errors[i].first, expected[i].first);
    EXPECT_TRUE(errors[i].second.contains(QLatin1String(expected[i].second)))
        << errors[i].second.toStdString();
  }
  const QList<QByteArray> lines = out.data().split('\n');
  EXPECT_TRUE(lines[0].startsWith(
      "id;sexo;idade_dias;peso;medida;estatura;pc;z_peso_idade;p_peso_idade;class_peso_idade;"));
  EXPECT_TRUE(lines[1].startsWith("a1;F;1522;17;;;;0,24;59,5;Peso adequado para a idade;"))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("a3;M;987;;D;72,86;;;;;-6,09;0,0;valor implausível: confira a medida"))
      << lines[2].toStdString();
  EXPECT_EQ(lines[2].count(';'), lines[0].count(';'));
}

TEST(Batch, ManyBlocksKeepTheOrderOfLinesAndMessages) {
  // Over 4 MiB: blocks processed two at a time, a line cut by a block's end,
  // malformed lines here and there; the output must read as line by line.
  QByteArray input = "id;sexo;idade_dias;peso;medida;estatura;pc\n";
  std::vector<qint64> bad;
  const int children = 200000;
  for (int i = 0; i < children; ++i) {
    if (i % 49991 == 7) {
      input += "x" + QByteArray::number(i) + ";F;dez;10;;;\n";
      bad.push_back(i + 2);
      continue;
    }
    input += "c" + QByteArray::number(i) + ";" + (i % 2 ? "F" : "M") + ";" +
             QByteArray::number(i % 6900) + ";12,5;P;" + QByteArray::number(80 + i % 60) +
             ";\r\n";
  }
  input += "ultima;F;400;9;D;70;";  // no line break at the end
  QBuffer in(&input), out;
  in.open(QIODevice::ReadOnly);
  out.open(QIODevice::WriteOnly);
  std::vector<qint64> reported;
  const BatchCounts n = AssessCsv(in, out, &Who(), true,
                                  [&](qint64 line, const QString&) { reported.push_back(line); });
  EXPECT_EQ(reported, bad);
  EXPECT_EQ(n.lines, children + 1);
  EXPECT_EQ(n.assessed, children + 1 - qint64(bad.size()));
  const QList<QByteArray> lines = out.data().split('\n');
  ASSERT_EQ(lines.size(), n.assessed + 2);  // the header and the final empty piece
  qint64 expected = 0;
  for (qsizetype k = 1; k + 1 < lines.size(); ++k) {
    const QByteArray id = lines[k].left(lines[k].indexOf(';'));
    if (id == "ultima") {
      EXPECT_EQ(k, lines.size() - 2);
      continue;
    }
    while (expected % 49991 == 7) ++expected;
    ASSERT_EQ(id, "c" + QByteArray::number(expected)) << k;
    ++expected;
  }
  // The same line alone gives the same cells.
  const QByteArray one = "c12345;F;5445;12,5;P;125;\n";
  QBuffer oneIn, oneOut;
  oneIn.setData(one);
  oneIn.open(QIODevice::ReadOnly);
  oneOut.open(QIODevice::WriteOnly);
  AssessCsv(oneIn, oneOut, &Who(), true, [](qint64, const QString&) {});
  EXPECT_TRUE(out.data().contains(oneOut.data().split('\n')[1] + "\n"));
}

}  // namespace
