// The CDC 2000 import: rows built from the shipped CSV files, compared with the
// files read independently here, and the refusal of damaged files.
#include "import/cdc2000.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using trp::cdc::kFemale;
using trp::cdc::kMale;

QString DataDir() {
  QString root = qEnvironmentVariable("TRP_SOURCE_DIR");
  if (root.isEmpty()) root = QStringLiteral(TRP_SOURCE_DIR);
  return QDir(root).filePath(QStringLiteral("data/cdc2000"));
}

// A CDC file read the plain way: header names to columns, one vector per line.
struct Csv {
  QStringList header;
  std::vector<std::vector<double>> rows;

  explicit Csv(const QString& name) {
    QFile f(QDir(DataDir()).filePath(name));
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot open " + name.toStdString());
    const QList<QByteArray> lines = f.readAll().split('\n');
    header = QString::fromLatin1(lines.first()).split(u',');
    for (qsizetype i = 1; i < lines.size(); ++i) {
      if (lines[i].isEmpty()) continue;
      std::vector<double> row;
      for (const QByteArray& cell : lines[i].split(',')) row.push_back(cell.toDouble());
      rows.push_back(row);
    }
  }
  int Col(const char* name) const {
    const int i = int(header.indexOf(QString::fromLatin1(name)));
    if (i < 0) throw std::runtime_error(std::string("no column ") + name);
    return i;
  }
  // The value of `column` on the row of `sex` (1 or 2) whose key (column 1) is `key`.
  std::optional<double> At(int sex, double key, const char* column) const {
    for (const auto& r : rows) {
      if (r[0] == sex && r[1] == key) return r[size_t(Col(column))];
    }
    return std::nullopt;
  }
  std::vector<double> Keys(int sex) const {
    std::vector<double> keys;
    for (const auto& r : rows) {
      if (r[0] == sex) keys.push_back(r[1]);
    }
    return keys;
  }
};

double Phi(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

const trp::cdc::CdcRows& Sample() {
  static const trp::cdc::CdcRows rows =
      trp::cdc::LoadCdc2000(DataDir(), {3, 5, 10, 15, 25, 50, 75, 85, 90, 95, 97});
  return rows;
}

const trp::cdc::AgeRow* AgeRowOf(const QString& perc, int years, int months) {
  for (const auto& r : Sample().age) {
    if (r.percentile == perc && r.years == years && r.months == months) return &r;
  }
  return nullptr;
}

// --- numerics -------------------------------------------------------------------

TEST(NormalQuantile, InvertsTheNormalDistribution) {
  for (double p : {1e-300, 1e-12, 1e-5, 0.001, 0.03, 0.05, 0.1, 0.15, 0.25, 0.4, 0.5, 0.6, 0.75,
                   0.85, 0.9, 0.95, 0.97, 0.999, 1 - 1e-9}) {
    const double z = trp::cdc::NormalQuantile(p);
    // Compare in the smaller tail, where the probability keeps its digits.
    if (p <= 0.5) {
      EXPECT_NEAR(Phi(z) / p, 1.0, 1e-13) << "p = " << p;
    } else {
      EXPECT_NEAR(Phi(-z) / (1 - p), 1.0, 1e-13) << "p = " << p;
    }
  }
  for (double p : {0.03, 0.05, 0.1, 0.15, 0.25, 0.4}) {
    EXPECT_NEAR(trp::cdc::NormalQuantile(1 - p), -trp::cdc::NormalQuantile(p), 1e-14) << p;
  }
}

TEST(NormalQuantile, MatchesTabulatedPoints) {
  // Standard normal table, 16 digits.
  const std::pair<double, double> points[] = {
      {0.975, 1.959963984540054},
      {0.95, 1.644853626951472},
      {0.99, 2.326347874040841},
      {0.75, 0.6744897501960817},
      {0.5, 0.0},
  };
  for (const auto& [p, z] : points) EXPECT_NEAR(trp::cdc::NormalQuantile(p), z, 1e-14) << p;
}

TEST(NormalQuantile, RefusesProbabilitiesOutsideTheOpenInterval) {
  for (double p : {0.0, 1.0, -0.1, 1.5, std::nan("")}) {
    EXPECT_THROW(trp::cdc::NormalQuantile(p), std::runtime_error) << p;
  }
}

TEST(LmsValue, FollowsTheBoxCoxFormula) {
  EXPECT_DOUBLE_EQ(trp::cdc::LmsValue(0.5, 10, 0.1, 0), 10);
  EXPECT_DOUBLE_EQ(trp::cdc::LmsValue(0, 10, 0.1, 1.5), 10 * std::exp(0.15));
  EXPECT_DOUBLE_EQ(trp::cdc::LmsValue(1, 10, 0.1, 2), 12);
  EXPECT_DOUBLE_EQ(trp::cdc::LmsValue(2, 10, 0.1, 2), 10 * std::sqrt(1.4));
  EXPECT_THROW(trp::cdc::LmsValue(-2, 10, 0.5, 1), std::runtime_error);  // 1 + L S z = 0
}

TEST(PercentileCode, IsThreeDigitsForWholePercentiles) {
  const std::pair<double, const char*> cases[] = {{3, "003"},  {5, "005"}, {15, "015"}, {50, "050"},
                                                  {97, "097"}, {1, "001"}, {99, "099"}};
  for (const auto& [p, code] : cases) EXPECT_EQ(trp::cdc::PercentileCode(p), code);
  for (double p : {0.0, 100.0, 2.5, -3.0, std::nan("")}) {
    EXPECT_THROW(trp::cdc::PercentileCode(p), std::runtime_error) << p;
  }
}

// --- the shipped sample ------------------------------------------------------------

TEST(AgeTable, OneYearBoyAtTheMedianIsTheCdcP50AtTwelveAndAHalfMonths) {
  const Csv wtageinf(QStringLiteral("wtageinf.csv"));
  const auto* row = AgeRowOf(QStringLiteral("050"), 1, 0);
  ASSERT_NE(row, nullptr);
  ASSERT_TRUE(row->weight[kMale].value);
  EXPECT_EQ(*row->weight[kMale].value, *wtageinf.At(1, 12.5, "P50"));
  EXPECT_EQ(*row->weight[kFemale].value, *wtageinf.At(2, 12.5, "P50"));
}

TEST(AgeTable, EachMonthComesFromItsFileAndHalfMonthPoint) {
  const Csv wtageinf(QStringLiteral("wtageinf.csv")), lenageinf(QStringLiteral("lenageinf.csv")),
      hcageinf(QStringLiteral("hcageinf.csv")), wtage(QStringLiteral("wtage.csv")),
      statage(QStringLiteral("statage.csv"));
  struct Case {
    int month;
    double agemos;
    bool infant;
  };
  const Case cases[] = {{0, 0.5, true},      {1, 1.5, true},    {23, 23.5, true},
                        {35, 35.5, true},    {36, 36.5, false}, {100, 100.5, false},
                        {239, 239.5, false}, {240, 240, false}};
  for (const Case& c : cases) {
    for (const char* perc : {"P3", "P50", "P97"}) {
      SCOPED_TRACE(testing::Message() << "month " << c.month << " " << perc);
      const QString code = trp::cdc::PercentileCode(QString::fromLatin1(perc + 1).toDouble());
      const auto* row = AgeRowOf(code, c.month / 12, c.month % 12);
      ASSERT_NE(row, nullptr);
      const Csv& w = c.infant ? wtageinf : wtage;
      const Csv& h = c.infant ? lenageinf : statage;
      for (int sex : {1, 2}) {
        const auto s = sex == 1 ? kMale : kFemale;
        EXPECT_EQ(row->weight[s].value, w.At(sex, c.agemos, perc));
        EXPECT_EQ(row->weight[s].mean, w.At(sex, c.agemos, "M"));
        EXPECT_DOUBLE_EQ(*row->weight[s].sd, *w.At(sex, c.agemos, "M") * *w.At(sex, c.agemos, "S"));
        EXPECT_EQ(row->height[s].value, h.At(sex, c.agemos, perc));
        EXPECT_EQ(row->height[s].mean, h.At(sex, c.agemos, "M"));
        if (c.infant) {
          EXPECT_EQ(row->head[s].value, hcageinf.At(sex, c.agemos, perc));
          EXPECT_DOUBLE_EQ(*row->head[s].sd,
                           *hcageinf.At(sex, c.agemos, "M") * *hcageinf.At(sex, c.agemos, "S"));
        } else {
          EXPECT_FALSE(row->head[s].value || row->head[s].mean || row->head[s].sd);
        }
      }
    }
  }
}

TEST(AgeTable, HasEveryMonthFromBirthToTwentyYearsPerPercentile) {
  std::map<QString, std::vector<int>> months;
  for (const auto& r : Sample().age) months[r.percentile].push_back(r.years * 12 + r.months);
  ASSERT_EQ(months.size(), 11u);
  for (const auto& [code, list] : months) {
    ASSERT_EQ(list.size(), 241u) << code.toStdString();
    for (int m = 0; m <= 240; ++m) EXPECT_EQ(list[size_t(m)], m);
  }
  EXPECT_EQ(months.begin()->first, QStringLiteral("003"));
  EXPECT_EQ(months.rbegin()->first, QStringLiteral("097"));
}

TEST(HeightTables, HeightsAreExactlyThoseTheCdcLists) {
  struct Case {
    const char* file;
    std::vector<double> first;
    double last;
    std::function<std::vector<double>(const QString&)> heights;
  };
  const std::vector<Case> cases = {
      {"wtleninf.csv",
       {45, 45.5, 46.5, 47.5},
       103.5,
       [](const QString& perc) {
         std::vector<double> h;
         for (const auto& r : Sample().height) {
           if (r.percentile == perc) h.push_back(r.height);
         }
         return h;
       }},
      {"wtstat.csv",
       {77, 77.5, 78.5, 79.5},
       121.5,
       [](const QString& perc) {
         std::vector<double> h;
         for (const auto& r : Sample().nchs) {
           if (r.percentile == perc) h.push_back(r.height);
         }
         return h;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Csv csv(QString::fromLatin1(c.file));
    for (const char* perc : {"003", "015", "097"}) {
      const std::vector<double> h = c.heights(QString::fromLatin1(perc));
      EXPECT_EQ(h, csv.Keys(1));
      EXPECT_EQ(h, csv.Keys(2));
      ASSERT_GE(h.size(), c.first.size());
      EXPECT_EQ(std::vector<double>(h.begin(), h.begin() + qsizetype(c.first.size())), c.first);
      EXPECT_EQ(h.back(), c.last);
    }
  }
}

TEST(HeightTables, WeightsAreThePublishedColumnsAndNchsCarriesMeanAndDeviation) {
  const Csv wtleninf(QStringLiteral("wtleninf.csv")), wtstat(QStringLiteral("wtstat.csv"));
  for (const auto& r : Sample().height) {
    if (r.percentile != QStringLiteral("025")) continue;
    EXPECT_EQ(r.weight[kMale], wtleninf.At(1, r.height, "P25")) << r.height;
    EXPECT_EQ(r.weight[kFemale], wtleninf.At(2, r.height, "P25")) << r.height;
  }
  int checked = 0;
  for (const auto& r : Sample().nchs) {
    if (r.percentile != QStringLiteral("085")) continue;  // published in wtstat only
    ++checked;
    for (int sex : {1, 2}) {
      const auto s = sex == 1 ? kMale : kFemale;
      EXPECT_EQ(r.weight[s].value, wtstat.At(sex, r.height, "P85")) << r.height;
      EXPECT_EQ(r.weight[s].mean, wtstat.At(sex, r.height, "M"));
      EXPECT_DOUBLE_EQ(*r.weight[s].sd,
                       *wtstat.At(sex, r.height, "M") * *wtstat.At(sex, r.height, "S"));
    }
  }
  EXPECT_EQ(checked, 46);
}

TEST(LmsPercentiles, ComputedValuesMatchPublishedColumns) {
  struct Case {
    const char* file;
    const char* column;
    double p;
  };
  const Case cases[] = {{"wtageinf.csv", "P10", 0.10}, {"lenageinf.csv", "P10", 0.10},
                        {"hcageinf.csv", "P90", 0.90}, {"wtage.csv", "P10", 0.10},
                        {"statage.csv", "P3", 0.03},   {"wtleninf.csv", "P97", 0.97},
                        {"wtstat.csv", "P85", 0.85}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Csv csv(QString::fromLatin1(c.file));
    const int cl = csv.Col("L"), cm = csv.Col("M"), cs = csv.Col("S"), cp = csv.Col(c.column);
    const double z = trp::cdc::NormalQuantile(c.p);
    for (size_t i = 0; i < csv.rows.size(); i += 7) {
      const auto& r = csv.rows[i];
      const double lms = trp::cdc::LmsValue(r[size_t(cl)], r[size_t(cm)], r[size_t(cs)], z);
      EXPECT_NEAR(lms / r[size_t(cp)], 1.0, 1e-6) << "row " << i;
    }
  }
}

TEST(LmsPercentiles, UnpublishedPercentilesComeFromLms) {
  const Csv wtageinf(QStringLiteral("wtageinf.csv")), wtleninf(QStringLiteral("wtleninf.csv"));
  const double z15 = trp::cdc::NormalQuantile(0.15);
  const auto* row = AgeRowOf(QStringLiteral("015"), 0, 6);
  ASSERT_NE(row, nullptr);
  for (int sex : {1, 2}) {
    const auto s = sex == 1 ? kMale : kFemale;
    const double want = trp::cdc::LmsValue(*wtageinf.At(sex, 6.5, "L"), *wtageinf.At(sex, 6.5, "M"),
                                           *wtageinf.At(sex, 6.5, "S"), z15);
    EXPECT_DOUBLE_EQ(*row->weight[s].value, want);
    EXPECT_GT(want, *wtageinf.At(sex, 6.5, "P10"));
    EXPECT_LT(want, *wtageinf.At(sex, 6.5, "P25"));
  }
  for (const auto& r : Sample().height) {
    if (r.percentile != QStringLiteral("085")) continue;  // wtleninf has no P85
    EXPECT_GT(*r.weight[kMale], *wtleninf.At(1, r.height, "P75"));
    EXPECT_LT(*r.weight[kMale], *wtleninf.At(1, r.height, "P90"));
  }
}

TEST(Columns, NameTheTableColumnsOfEachValue) {
  const auto* row = AgeRowOf(QStringLiteral("050"), 2, 11);
  ASSERT_NE(row, nullptr);
  const QVariantMap c = row->Columns();
  const QStringList ageColumns = {"CDPERCENTIL",  "NRIDADEFIN",   "NRIDADEINI",   "VRPESOMASIDA",
                                  "VRALTUMASIDA", "VRPESOFEMIDA", "VRALTUFEMIDA", "VRDPPCFEMIDA",
                                  "VRMDPCFEMIDA", "VRPMCFFEMIDA", "VRDPATFEMIDA", "VRMDATFEMIDA",
                                  "VRDPPSFEMIDA", "VRMDPSFEMIDA", "VRDPPCMASIDA", "VRMDPCMASIDA",
                                  "VRPMCFMASIDA", "VRDPATMASIDA", "VRMDATMASIDA", "VRDPPSMASIDA",
                                  "VRMDPSMASIDA"};
  QStringList keys = c.keys();
  QStringList want = ageColumns;
  want.sort();
  EXPECT_EQ(keys, want);
  EXPECT_EQ(c["CDPERCENTIL"].toString(), QStringLiteral("050"));
  EXPECT_EQ(c["NRIDADEINI"].toDouble(), 2.0);
  EXPECT_EQ(c["NRIDADEFIN"].toDouble(), 11.0);
  const std::pair<const char*, std::optional<double>> values[] = {
      {"VRPESOMASIDA", row->weight[kMale].value},   {"VRMDPSMASIDA", row->weight[kMale].mean},
      {"VRDPPSMASIDA", row->weight[kMale].sd},      {"VRALTUMASIDA", row->height[kMale].value},
      {"VRMDATMASIDA", row->height[kMale].mean},    {"VRDPATMASIDA", row->height[kMale].sd},
      {"VRPMCFMASIDA", row->head[kMale].value},     {"VRMDPCMASIDA", row->head[kMale].mean},
      {"VRDPPCMASIDA", row->head[kMale].sd},        {"VRPESOFEMIDA", row->weight[kFemale].value},
      {"VRMDPSFEMIDA", row->weight[kFemale].mean},  {"VRDPPSFEMIDA", row->weight[kFemale].sd},
      {"VRALTUFEMIDA", row->height[kFemale].value}, {"VRMDATFEMIDA", row->height[kFemale].mean},
      {"VRDPATFEMIDA", row->height[kFemale].sd},    {"VRPMCFFEMIDA", row->head[kFemale].value},
      {"VRMDPCFEMIDA", row->head[kFemale].mean},    {"VRDPPCFEMIDA", row->head[kFemale].sd},
  };
  for (const auto& [name, v] : values) {
    ASSERT_TRUE(v) << name;
    EXPECT_EQ(c[name].toDouble(), *v) << name;
  }
  // From three years on there is no head circumference: null columns.
  const QVariantMap older = AgeRowOf(QStringLiteral("050"), 3, 0)->Columns();
  EXPECT_TRUE(older["VRPMCFMASIDA"].isNull());
  EXPECT_TRUE(older["VRDPPCFEMIDA"].isNull());
  EXPECT_FALSE(older["VRPESOFEMIDA"].isNull());

  const auto& h = Sample().height.front();
  const QVariantMap hc = h.Columns();
  EXPECT_EQ(hc.keys(), (QStringList{"CDPERCENTIL", "VRALTURA", "VRPESOFEMALT", "VRPESOMASALT"}));
  EXPECT_EQ(hc["VRALTURA"].toDouble(), h.height);
  EXPECT_EQ(hc["VRPESOMASALT"].toDouble(), *h.weight[kMale]);
  EXPECT_EQ(hc["VRPESOFEMALT"].toDouble(), *h.weight[kFemale]);

  const auto& n = Sample().nchs.back();
  const QVariantMap nc = n.Columns();
  EXPECT_EQ(nc.keys(), (QStringList{"CDPERCENTIL", "VRALTURAN2", "VRDVPDFEMN2", "VRDVPDMASN2",
                                    "VRMEDIFEMN2", "VRMEDIMASN2", "VRPESOFEMN2", "VRPESOMASN2"}));
  EXPECT_EQ(nc["VRALTURAN2"].toDouble(), n.height);
  EXPECT_EQ(nc["VRPESOMASN2"].toDouble(), *n.weight[kMale].value);
  EXPECT_EQ(nc["VRMEDIFEMN2"].toDouble(), *n.weight[kFemale].mean);
  EXPECT_EQ(nc["VRDVPDMASN2"].toDouble(), *n.weight[kMale].sd);
}

// --- damaged copies ------------------------------------------------------------------

// A temporary copy of the sample folder in which tests change one file.
class DamagedCopy : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    for (const QString& name : QDir(DataDir()).entryList({QStringLiteral("*.csv")})) {
      QFile::remove(Path(name));
      ASSERT_TRUE(QFile::copy(QDir(DataDir()).filePath(name), Path(name)));
    }
  }
  QString Path(const QString& name) const { return tmp_.filePath(name); }
  // Replaces the 1-based line `line` of `name` by `edit(line text)`.
  void EditLine(const QString& name, int line,
                const std::function<QByteArray(const QByteArray&)>& edit) {
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    lines[line - 1] = edit(lines[line - 1]);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(lines.join('\n'));
  }
  static QByteArray SetCell(const QByteArray& line, int column, const QByteArray& value) {
    QList<QByteArray> cells = line.split(',');
    cells[column] = value;
    return cells.join(',');
  }
  // The message LoadCdc2000 refuses the copy with; fails the test if it loads.
  std::string Refusal(const QList<double>& percentiles = {50}) {
    try {
      trp::cdc::LoadCdc2000(tmp_.path(), percentiles);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    ADD_FAILURE() << "the damaged copy was accepted";
    return {};
  }
  QTemporaryDir tmp_;
};

TEST_F(DamagedCopy, AnUntouchedCopyLoads) {
  const auto rows = trp::cdc::LoadCdc2000(tmp_.path(), {50});
  EXPECT_EQ(rows.age.size(), 241u);
  EXPECT_EQ(rows.height.size(), 60u);
  EXPECT_EQ(rows.nchs.size(), 46u);
}

TEST_F(DamagedCopy, EachDamageIsRefusedWithFileAndLine) {
  struct Case {
    const char* what;
    const char* file;
    int line;
    std::function<QByteArray(const QByteArray&)> edit;
    std::vector<const char*> message;
  };
  const std::vector<Case> cases = {
      {"a cell missing",
       "wtage.csv",
       5,
       [](const QByteArray& l) { return l.left(l.lastIndexOf(',')); },
       {"wtage.csv, linha 5", "esperados 14", "encontrados 13"}},
      {"text for a number",
       "statage.csv",
       9,
       [](const QByteArray& l) { return SetCell(l, 7, "abc"); },
       {"statage.csv, linha 9", "'P10'", "'abc'"}},
      {"an empty cell",
       "hcageinf.csv",
       3,
       [](const QByteArray& l) { return SetCell(l, 3, ""); },
       {"hcageinf.csv, linha 3", "'M'"}},
      {"P50 one per cent off",
       "wtageinf.csv",
       14,
       [](const QByteArray& l) {
         return SetCell(l, 9, QByteArray::number(l.split(',')[9].toDouble() * 1.01, 'g', 10));
       },
       {"wtageinf.csv, linha 14", "P50", "L, M e S", "recusado"}},
      {"P97 changed in the fifth digit",
       "wtleninf.csv",
       30,
       [](const QByteArray& l) {
         return SetCell(l, 13, QByteArray::number(l.split(',')[13].toDouble() + 0.0005, 'g', 10));
       },
       {"wtleninf.csv, linha 30", "P97"}},
      {"a published value changed but not its difference",
       "lenageinf.csv",
       20,
       [](const QByteArray& l) {
         return SetCell(l, 14, QByteArray::number(l.split(',')[14].toDouble() + 0.01, 'g', 10));
       },
       {"lenageinf.csv, linha 20", "Diff3"}},
      {"sex 3",
       "wtstat.csv",
       4,
       [](const QByteArray& l) { return SetCell(l, 0, "3"); },
       {"wtstat.csv, linha 4", "Sex"}},
      {"a repeated row",
       "wtstat.csv",
       3,
       [](const QByteArray& l) { return SetCell(l, 1, "77"); },  // the key of line 2
       {"wtstat.csv, linha 3", "repetida"}},
      {"a header without L",
       "wtage.csv",
       1,
       [](const QByteArray& l) { return SetCell(l, 2, "Lambda"); },
       {"wtage.csv", "'L'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();  // a fresh, undamaged copy for each case
    EditLine(QString::fromLatin1(c.file), c.line, c.edit);
    const std::string message = Refusal();
    for (const char* part : c.message) EXPECT_NE(message.find(part), std::string::npos) << message;
  }
}

TEST_F(DamagedCopy, AMissingFileIsNamed) {
  ASSERT_TRUE(QFile::remove(Path(QStringLiteral("statage.csv"))));
  const std::string message = Refusal();
  EXPECT_NE(message.find("statage.csv"), std::string::npos) << message;
  EXPECT_NE(message.find("não encontrado"), std::string::npos) << message;
}

TEST_F(DamagedCopy, AMissingFolderAndBadPercentilesAreRefused) {
  EXPECT_THROW(trp::cdc::LoadCdc2000(Path(QStringLiteral("nada")), {50}), std::runtime_error);
  EXPECT_NE(Refusal({50, 2.5}).find("2.5"), std::string::npos);
  EXPECT_NE(Refusal({}).find("Nenhum percentil"), std::string::npos);
  EXPECT_NE(Refusal({100}).find("1 a 99"), std::string::npos);
}

TEST_F(DamagedCopy, ARowMissingForOneSexLeavesThatSexEmpty) {
  // Line 12 of wtleninf is the boys' eleventh length; the girls keep theirs.
  EditLine(QStringLiteral("wtleninf.csv"), 12, [](const QByteArray&) { return QByteArray(); });
  const Csv original(QStringLiteral("wtleninf.csv"));
  const double dropped = original.Keys(1)[10];
  const auto rows = trp::cdc::LoadCdc2000(tmp_.path(), {50});
  int found = 0;
  for (const auto& r : rows.height) {
    if (r.height != dropped) continue;
    ++found;
    EXPECT_FALSE(r.weight[kMale]);
    EXPECT_EQ(r.weight[kFemale], original.At(2, dropped, "P50"));
  }
  EXPECT_EQ(found, 1);
  EXPECT_EQ(rows.height.size(), 60u);
}

TEST_F(DamagedCopy, WindowsLineEndsAndARepeatedHeaderAreRead) {
  QFile f(Path(QStringLiteral("lenageinf.csv")));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QList<QByteArray> lines = f.readAll().split('\n');
  f.close();
  lines.insert(38, lines.first());  // the CDC's own file repeats its header before the girls
  QByteArray crlf = lines.join("\r\n");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(crlf);
  f.close();
  const auto rows = trp::cdc::LoadCdc2000(tmp_.path(), {50});
  const auto plain = trp::cdc::LoadCdc2000(DataDir(), {50});
  ASSERT_EQ(rows.age.size(), plain.age.size());
  for (size_t i = 0; i < rows.age.size(); ++i) {
    EXPECT_EQ(rows.age[i].height[kFemale].value, plain.age[i].height[kFemale].value);
  }
}

}  // namespace
