// The WHO 2006/2007 import: values compared with L, M and S read here from the
// shipped files and a normal quantile found here by bisection, the month and
// height mapping, and the refusal of damaged copies.
#include "import/who.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using trp::growth::kFemale;
using trp::growth::kMale;

QString DataDir() {
  QString root = qEnvironmentVariable("TRP_SOURCE_DIR");
  if (root.isEmpty()) root = QStringLiteral(TRP_SOURCE_DIR);
  return QDir(root).filePath(QStringLiteral("data/who"));
}

struct Lms {
  double l, m, s;
};

// L, M and S of `file` at `sex` (1 or 2) and `key`, read the plain way.
std::optional<Lms> FileLms(const char* file, int sex, double key) {
  QFile f(QDir(DataDir()).filePath(QString::fromLatin1(file)));
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error(std::string("cannot open ") + file);
  f.readLine();
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c[0].toInt() == sex && std::fabs(c[1].toDouble() - key) < 1e-9)
      return Lms{c[2].toDouble(), c[3].toDouble(), c[4].toDouble()};
  }
  return std::nullopt;
}

// z with Phi(z) = p, by bisection on erfc: independent of the import's quantile.
double Z(double p) {
  double lo = -10, hi = 10;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

double Expected(const Lms& v, int percentile) {
  const double z = Z(percentile / 100.0);
  return v.l == 0 ? v.m * std::exp(v.s * z) : v.m * std::pow(1 + v.l * v.s * z, 1 / v.l);
}

const trp::who::WhoRows& Rows() {
  static const trp::who::WhoRows rows = trp::who::LoadWho(DataDir(), {3, 15, 50, 97});
  return rows;
}

const trp::growth::AgeRow& AgeRowAt(int percentile, int month) {
  for (const auto& r : Rows().length.age)
    if (r.percentile.toInt() == percentile && r.years * 12 + r.months == month) return r;
  throw std::runtime_error("no age row");
}

enum class What { Weight, Height, Head };

const trp::growth::Measure& MeasureOf(const trp::growth::AgeRow& r, What w, int sex) {
  const auto s = sex == 1 ? kMale : kFemale;
  return w == What::Weight ? r.weight[s] : w == What::Height ? r.height[s] : r.head[s];
}

TEST(WhoAgeTable, ValuesFollowLmsOfTheFileForThatMonth) {
  struct Case {
    int month;
    What what;
    int sex, percentile;
    const char* file;  // nullptr: the value stays empty
    double key;        // day (2006) or month (2007)
  };
  const Case cases[] = {
      {0, What::Weight, 1, 3, "weianthro.txt", 0},
      {0, What::Head, 2, 97, "hcanthro.txt", 0},
      {1, What::Height, 1, 50, "lenanthro.txt", 30},   // round(30.4375)
      {7, What::Weight, 2, 15, "weianthro.txt", 213},  // round(213.0625)
      // Recumbent length until 23 months, standing height from 24 (day 731).
      {23, What::Height, 1, 97, "lenanthro.txt", 700},
      {24, What::Height, 1, 97, "lenanthro.txt", 731},
      {24, What::Height, 2, 3, "lenanthro.txt", 731},
      {37, What::Head, 1, 15, "hcanthro.txt", 1126},  // round(1126.1875)
      // The joint: 2006 standards to 60 months (day 1826), 2007 reference from 61.
      {60, What::Weight, 2, 50, "weianthro.txt", 1826},
      {60, What::Height, 1, 3, "lenanthro.txt", 1826},
      {60, What::Head, 2, 50, "hcanthro.txt", 1826},
      {61, What::Weight, 2, 50, "wfawho2007.txt", 61},
      {61, What::Height, 1, 3, "hfawho2007.txt", 61},
      {61, What::Head, 2, 50, nullptr, 0},
      {120, What::Weight, 1, 97, "wfawho2007.txt", 120},
      {121, What::Weight, 1, 97, nullptr, 0},
      {150, What::Height, 2, 15, "hfawho2007.txt", 150},
      {228, What::Height, 2, 97, "hfawho2007.txt", 228},
      {228, What::Height, 1, 50, "hfawho2007.txt", 228},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "month " << c.month << " sex " << c.sex << " P" << c.percentile);
    const auto& m = MeasureOf(AgeRowAt(c.percentile, c.month), c.what, c.sex);
    if (!c.file) {
      EXPECT_FALSE(m.value || m.mean || m.sd);
      continue;
    }
    const auto lms = FileLms(c.file, c.sex, c.key);
    ASSERT_TRUE(lms && m.value && m.mean && m.sd);
    const double want = Expected(*lms, c.percentile);
    EXPECT_NEAR(*m.value, want, 1e-12 * want);
    EXPECT_EQ(*m.mean, lms->m);
    EXPECT_DOUBLE_EQ(*m.sd, lms->m * lms->s);
  }
}

TEST(WhoAgeTable, EveryMonthFromBirthToNineteenYearsPerPercentile) {
  ASSERT_EQ(Rows().length.age.size(), 4u * 229);
  EXPECT_TRUE(Rows().length.nchs.empty());
  for (int month = 0; month <= 228; ++month) {
    const auto& r = AgeRowAt(50, month);
    EXPECT_EQ(r.years, month / 12);
    EXPECT_EQ(r.months, month % 12);
    EXPECT_TRUE(r.height[kMale].value && r.height[kFemale].value) << month;
    EXPECT_EQ(bool(r.weight[kFemale].value), month <= 120) << month;
    EXPECT_EQ(bool(r.head[kMale].value), month <= 60) << month;
  }
}

TEST(WhoHeightTables, LengthAndHeightEachInTheirOwnRowsByHalfCentimetre) {
  struct Case {
    bool stature;
    double height;
    int sex, percentile;
  };
  const Case cases[] = {
      {false, 45, 1, 3},    {false, 45.5, 2, 97}, {false, 80, 1, 15},
      {false, 87.5, 2, 50}, {false, 110, 1, 97},  {true, 65, 2, 3},
      {true, 87.5, 1, 50},  {true, 100.5, 2, 15}, {true, 120, 1, 97},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.stature ? "height " : "length ") << c.height);
    const auto& rows = c.stature ? Rows().height : Rows().length.height;
    const trp::growth::HeightRow* row = nullptr;
    for (const auto& r : rows)
      if (r.percentile.toInt() == c.percentile && r.height == c.height) row = &r;
    ASSERT_NE(row, nullptr);
    const auto lms = FileLms(c.stature ? "wfhanthro.txt" : "wflanthro.txt", c.sex, c.height);
    ASSERT_TRUE(lms);
    const auto& v = row->weight[c.sex == 1 ? kMale : kFemale];
    ASSERT_TRUE(v);
    EXPECT_NEAR(*v, Expected(*lms, c.percentile), 1e-12 * *v);
  }
  // 45 to 110 and 65 to 120 in steps of 0.5: 131 and 111 heights per percentile.
  ASSERT_EQ(Rows().length.height.size(), 4u * 131);
  ASSERT_EQ(Rows().height.size(), 4u * 111);
  for (size_t i = 1; i < 131; ++i)
    EXPECT_EQ(Rows().length.height[i].height - Rows().length.height[i - 1].height, 0.5);
  EXPECT_EQ(Rows().height.front().height, 65);
  EXPECT_EQ(Rows().height[110].height, 120);
}

// --- damaged copies -------------------------------------------------------------

class DamagedWhoCopy : public testing::Test {
 protected:
  void SetUp() override {
    for (const QString& name : QDir(DataDir()).entryList({QStringLiteral("*.txt")})) {
      QFile::remove(tmp_.filePath(name));
      ASSERT_TRUE(QFile::copy(QDir(DataDir()).filePath(name), tmp_.filePath(name)));
    }
  }
  void Edit(const char* name, const std::function<QByteArray(const QByteArray&)>& edit) {
    QFile f(tmp_.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray content = edit(f.readAll());
    f.close();
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
  }
  std::string Refusal() {
    try {
      trp::who::LoadWho(tmp_.path(), {50});
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    ADD_FAILURE() << "the damaged copy was accepted";
    return {};
  }
  QTemporaryDir tmp_;
};

QByteArray ReplaceLine(const QByteArray& content, int line, const QByteArray& text) {
  QList<QByteArray> lines = content.split('\n');
  lines[line - 1] = text;
  return lines.join('\n');
}

TEST_F(DamagedWhoCopy, EachDamageIsRefusedWithItsFile) {
  struct Case {
    const char* what;
    const char* file;
    std::function<QByteArray(const QByteArray&)> edit;
    std::vector<const char*> message;
  };
  const std::vector<Case> cases = {
      {"cut at a line end",
       "wflanthro.txt",
       [](const QByteArray& c) { return c.left(c.indexOf("2\t45\t")); },
       {"wflanthro.txt", "sex 2", "truncado"}},
      {"cut inside a line",
       "hfawho2007.txt",
       [](const QByteArray& c) { return c.left(c.size() - 12); },
       {"hfawho2007.txt, linha 341", "encontrados"}},
      {"the last girls' days lost",
       "weianthro.txt",
       [](const QByteArray& c) { return c.left(c.indexOf("2\t1800\t")); },
       {"weianthro.txt", "sex 2", "1800", "truncado"}},
      {"text for a number",
       "hcanthro.txt",
       [](const QByteArray& c) { return ReplaceLine(c, 5, "1\t3\t1\tabc\t0.03\r"); },
       {"hcanthro.txt, linha 5", "'m'", "'abc'"}},
      {"a repeated day",
       "lenanthro.txt",
       [](const QByteArray& c) { return ReplaceLine(c, 3, "1\t0\t1\t49.8842\t0.03795\tL\r"); },
       {"lenanthro.txt, linha 3", "repetida"}},
      {"height in the length file",
       "wflanthro.txt",
       [](const QByteArray& c) { return ReplaceLine(c, 2, "1\t45\t-0.3521\t2.441\t0.09182\tH\r"); },
       {"wflanthro.txt, linha 2", "lorh", "'H'"}},
      {"length after 24 months",
       "lenanthro.txt",
       [](const QByteArray& c) {
         return QByteArray(c).replace("1\t731\t1\t87.1303\t0.03508\tH",
                                      "1\t731\t1\t87.1303\t0.03508\tL");
       },
       {"lenanthro.txt, linha 733", "loh"}},
      {"a height off the grid",
       "wfhanthro.txt",
       [](const QByteArray& c) {
         return ReplaceLine(c, 4, "1\t65.25\t-0.3521\t7.48\t0.08215\tH\r");
       },
       {"wfhanthro.txt, linha 4", "fora da grade"}},
      {"sex 3",
       "wfawho2007.txt",
       [](const QByteArray& c) { return ReplaceLine(c, 2, "3\t60\t-0.1922\t18.3328\t0.12947\r"); },
       {"wfawho2007.txt, linha 2", "sex"}},
      {"an empty file",
       "hcanthro.txt",
       [](const QByteArray&) { return QByteArray(); },
       {"hcanthro.txt", "vazio"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    Edit(c.file, c.edit);
    const std::string message = Refusal();
    for (const char* part : c.message) EXPECT_NE(message.find(part), std::string::npos) << message;
  }
}

TEST_F(DamagedWhoCopy, AMissingFileOrFolderAndBadPercentilesAreRefused) {
  ASSERT_TRUE(QFile::remove(tmp_.filePath(QStringLiteral("wfhanthro.txt"))));
  const std::string message = Refusal();
  EXPECT_NE(message.find("wfhanthro.txt"), std::string::npos) << message;
  EXPECT_NE(message.find("não encontrado"), std::string::npos) << message;
  EXPECT_THROW(trp::who::LoadWho(tmp_.filePath(QStringLiteral("nada")), {50}), std::runtime_error);
  EXPECT_THROW(trp::who::LoadWho(DataDir(), {}), std::runtime_error);
  EXPECT_THROW(trp::who::LoadWho(DataDir(), {0.5}), std::runtime_error);
}

}  // namespace
