// tabrelpeso-admin and the import behind it: the sample database, CDC 2000
// values where they belong, idempotent imports, refused files that write
// nothing, and CSV export.

#include "support.h"

#include "server/admin.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cmath>

using namespace srvtest;

namespace {

QString Bin(const char* name) {
  const QString dir = qEnvironmentVariable("TRP_BUILD_DIR");
  return dir.isEmpty() ? QFileInfo(QStringLiteral(TRP_ADMIN_EXE)).path() + "/" + QLatin1String(name)
                       : dir + QStringLiteral("/bin/") + QLatin1String(name);
}

struct AdminRun {
  int exitCode = -1;
  QString out, err;
};

AdminRun Admin(const QStringList& args) {
  QProcess p;
  p.start(Bin("tabrelpeso-admin"), args);
  AdminRun r;
  if (!p.waitForFinished(60000)) return r;
  r.exitCode = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

// The CDC's own columns for one line of a file (by sex and key).
std::map<QString, double> CdcLine(const QString& file, int sex, double key) {
  QFile f(CdcDir() + "/" + file);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  const QStringList header = QString::fromUtf8(f.readLine()).trimmed().split(',');
  while (!f.atEnd()) {
    const QStringList v = QString::fromUtf8(f.readLine()).trimmed().split(',');
    if (v[0].toInt() == sex && v[1].toDouble() == key) {
      std::map<QString, double> m;
      for (int i = 0; i < header.size(); ++i) m[header[i]] = v[i].toDouble();
      return m;
    }
  }
  ADD_FAILURE() << "no line " << sex << "," << key << " in " << file.toStdString();
  return {};
}

double AgeValue(const QString& database, const char* column, const char* ref, const char* perc,
                int years, int months) {
  auto db = srv::OpenDb(database);
  double v = NAN;
  db->run(std::string("SELECT ") + column +
              " FROM PESALTIDADE WHERE CDREFEBIBL = ? AND CDPERCENTIL = ? AND NRIDADEINI = ? AND "
              "NRIDADEFIN = ?",
          {std::string(ref), std::string(perc), std::int64_t(years), std::int64_t(months)},
          [&](const srv::SqlRow& r) { v = r.isNull(0) ? NAN : r.real(0); });
  return v;
}

std::string WithoutAudit(const std::string& dump) { return dump.substr(0, dump.rfind("-- audit")); }

TEST(AdminTool, SeedBuildsTheSampleFromTheShippedFiles) {
  QTemporaryDir dir;
  const QString db = dir.filePath("sample.db");
  AdminRun r = Admin({"seed", "--db", db});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  auto conn = srv::OpenDb(db);
  EXPECT_EQ(srv::QueryInt(*conn, "SELECT COUNT(*) FROM REFEBIBL", {}, 0), 4);
  EXPECT_EQ(srv::QueryInt(*conn, "SELECT COUNT(*) FROM PERCENTIL", {}, 0), 11);
  // 241 months (0 to 240) for each of the 9 published percentiles.
  EXPECT_EQ(srv::QueryInt(*conn, "SELECT COUNT(*) FROM PESALTIDADE", {}, 0), 241 * 9);
  EXPECT_EQ(
      srv::QueryInt(*conn, "SELECT COUNT(*) FROM PESALTIDADE WHERE CDREFEBIBL <> '01'", {}, 0), 0);
  // Boys, 1 year 0 months, percentile 50: the CDC's P50 weight at Agemos 12.5.
  EXPECT_EQ(AgeValue(db, "VRPESOMASIDA", "01", "050", 1, 0),
            CdcLine("wtageinf.csv", 1, 12.5)["P50"]);
  // Seeding again changes no row.
  const std::string before = WithoutAudit(Dump(db));
  r = Admin({"seed", "--db", db});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(WithoutAudit(Dump(db)), before);
}

class ImportTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
  }
  QString db_;
};

TEST_P(ImportTest, ComputedPercentilesFollowLmsAndPublishedOnesTheFile) {
  const srv::ImportCounts n = srv::ImportCdc(db_, "02", CdcDir(), {10, 15});
  EXPECT_EQ(n.age, 241 * 2);
  EXPECT_EQ(n.height, 120);  // 60 lengths, both sexes in one row, 2 percentiles
  EXPECT_EQ(n.nchs, 92);
  // Girls at 3 years 4 months come from wtage at Agemos 40.5.
  const auto line = CdcLine("wtage.csv", 2, 40.5);
  EXPECT_EQ(AgeValue(db_, "VRPESOFEMIDA", "02", "010", 3, 4), line.at("P10"));
  const double l = line.at("L"), m = line.at("M"), s = line.at("S");
  const double z15 = -1.0364333894937898;  // normal quantile of 0.15
  const double p15 = m * std::pow(1 + l * s * z15, 1 / l);
  EXPECT_NEAR(AgeValue(db_, "VRPESOFEMIDA", "02", "015", 3, 4), p15, 1e-9 * p15);
  // The published P10 agrees with its LMS value.
  const double p10 = m * std::pow(1 + l * s * -1.2815515655446004, 1 / l);
  EXPECT_NEAR(line.at("P10"), p10, 1e-6 * p10);
  EXPECT_EQ(AgeValue(db_, "VRMDPSFEMIDA", "02", "015", 3, 4), m);
  EXPECT_DOUBLE_EQ(AgeValue(db_, "VRDPPSFEMIDA", "02", "015", 3, 4), m * s);
  // Month 240 is Agemos 240; head circumference only where the CDC gives it.
  EXPECT_EQ(AgeValue(db_, "VRALTUMASIDA", "02", "010", 20, 0),
            CdcLine("statage.csv", 1, 240)["P10"]);
  EXPECT_TRUE(std::isnan(AgeValue(db_, "VRPMCFMASIDA", "02", "010", 20, 0)));
  EXPECT_FALSE(std::isnan(AgeValue(db_, "VRPMCFMASIDA", "02", "010", 2, 11)));
}

TEST_P(ImportTest, ImportingTwiceLeavesTheSameRows) {
  srv::ImportCdc(db_, "03", CdcDir(), {50, 85});
  const std::string once = WithoutAudit(Dump(db_));
  srv::ImportCdc(db_, "03", CdcDir(), {50, 85});
  EXPECT_EQ(WithoutAudit(Dump(db_)), once);
}

TEST_P(ImportTest, DamagedFilesAndUnknownReferencesWriteNothing) {
  QTemporaryDir dir;
  auto copyFiles = [&](const QString& to) {
    QDir().mkpath(to);
    for (const QString& f : QDir(CdcDir()).entryList({"*.csv"}))
      QFile::copy(CdcDir() + "/" + f, to + "/" + f);
  };
  auto edit = [](const QString& path, int lineNo, const std::function<QByteArray(QByteArray)>& fn) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    lines[lineNo] = fn(lines[lineNo]);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(lines.join('\n'));
  };
  const QString missing = dir.filePath("missing"), malformed = dir.filePath("malformed"),
                tampered = dir.filePath("tampered");
  copyFiles(missing);
  QFile::remove(missing + "/wtstat.csv");
  copyFiles(malformed);
  edit(malformed + "/wtleninf.csv", 5, [](QByteArray l) { return l.replace(',', ";"); });
  copyFiles(tampered);
  // P50 of a line raised by 2 %: no longer what L, M and S give.
  edit(tampered + "/wtage.csv", 10, [](QByteArray l) {
    QList<QByteArray> v = l.split(',');
    v[9] = QByteArray::number(v[9].toDouble() * 1.02, 'g', 10);
    return v.join(',');
  });

  const std::string before = Dump(db_);
  struct Case {
    QString dir, ref, message;
  };
  for (const Case& c : std::vector<Case>{{missing, "02", "wtstat"},
                                         {malformed, "02", "wtleninf"},
                                         {tampered, "02", "wtage"},
                                         {CdcDir(), "88", "Referência '88' não cadastrada"},
                                         {CdcDir(), "123", "Código de referência inválido"}}) {
    try {
      srv::ImportCdc(db_, c.ref, c.dir, {50});
      ADD_FAILURE() << "imported from " << c.dir.toStdString();
    } catch (const std::runtime_error& e) {
      EXPECT_TRUE(QString::fromUtf8(e.what()).contains(c.message)) << e.what();
    }
  }
  EXPECT_EQ(Dump(db_), before);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST(AdminTool, CommandsInitImportAndExport) {
  QTemporaryDir dir;
  const QString db = dir.filePath("admin.db");
  AdminRun r = Admin({"init", "--db", db});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  // The reference must exist before an import.
  r = Admin({"import-cdc", "--db", db, "--ref", "01"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("Referência '01' não cadastrada")) << r.err.toStdString();
  {
    auto conn = srv::OpenDb(db);
    conn->run("INSERT INTO REFEBIBL VALUES ('01', 'CDC 2000')", {});
  }
  r = Admin({"import-cdc", "--db", db, "--ref", "01", "--percentiles", "5,50", "--dir", CdcDir()});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("482 linhas por idade")) << r.out.toStdString();

  r = Admin({"export", "--db", db, "--ref", "01", "--table", "height", "--format", "csv"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + 2 * 60);
  EXPECT_EQ(lines[0], "VRALTURA;VRPESOFEMALT;CDPERCENTIL;CDREFEBIBL;VRPESOMASALT");
  EXPECT_TRUE(lines[1].startsWith("45;")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("45,5;")) << lines[2].toStdString();
  EXPECT_TRUE(lines[2].contains(";005;01;"));

  const QString out = dir.filePath("nchs.csv");
  r = Admin(
      {"export", "--db", db, "--ref", "01", "--table", "nchs", "--decimal", "point", "--out", out});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  QFile f(out);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + 2 * 46);
  EXPECT_EQ(lines[0].split(',').size(), 9);
  EXPECT_TRUE(lines[2].startsWith("01,005,77.5,")) << lines[2].toStdString();

  for (const auto& [args, message] : std::vector<std::pair<QStringList, QString>>{
           {{"frobnicate", "--db", db}, "comando desconhecido"},
           {{"export", "--db", db, "--ref", "01", "--table", "weight"}, "--table aceita"},
           {{"import-cdc", "--db", db, "--ref", "01", "--percentiles", "5,x"},
            "percentil inválido"},
           {{"import-cdc", "--db", db, "--ref", "01", "--percentiles", "100"},
            "Percentil inválido"},
           {{"seed"}, "informe o banco"}}) {
    r = Admin(args);
    EXPECT_NE(r.exitCode, 0) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(message))
        << args.join(' ').toStdString() << ": " << r.err.toStdString();
  }
  r = Admin({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.contains("M x S")) << r.out.toStdString();
}

}  // namespace
