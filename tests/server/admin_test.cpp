// tabrelpeso-admin and the imports behind it: the sample database, CDC 2000
// and WHO values where they belong, idempotent imports, refused files that
// write nothing, the plausibility check over a database, and CSV export.

#include "support.h"

#include "server/admin.h"
#include "server/reference_check.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cmath>
#include <tuple>
#include <vector>

using namespace srvtest;

namespace {

QString Bin(const char* name) {
  const QString dir = qEnvironmentVariable("TRP_BUILD_DIR");
  return dir.isEmpty() ? QFileInfo(QStringLiteral(TRP_ADMIN_EXE)).path() + "/" + QLatin1String(name)
                       : dir + QStringLiteral("/bin/") + QLatin1String(name);
}

using AdminRun = ToolRun;
AdminRun Admin(const QStringList& args) { return RunTool(Bin("tabrelpeso-admin"), args, 60000); }

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
  EXPECT_EQ(srv::QueryInt(*conn, "SELECT COUNT(*) FROM REFEBIBL", {}, 0), 5);
  EXPECT_EQ(srv::QueryInt(*conn, "SELECT COUNT(*) FROM PERCENTIL", {}, 0), 11);
  // Rows per reference and table: CDC 2000 has 241 months (0 to 240), 60
  // lengths and 46 statures; WHO 229 months (0 to 228), 131 lengths (45 to
  // 110) and, in 05, 111 statures (65 to 120); 9 percentiles each (wtstat
  // also publishes P85). 03 and 04 stay without rows.
  struct Count {
    const char* table;
    const char* ref;
    int rows;
  };
  for (const Count& c :
       {Count{"PESALTIDADE", "01", 241 * 9}, Count{"PESOALTU", "01", 60 * 9},
        Count{"PEALNCHS2000", "01", 46 * 10}, Count{"PESALTIDADE", "02", 229 * 9},
        Count{"PESOALTU", "02", 131 * 9}, Count{"PEALNCHS2000", "02", 0},
        Count{"PESALTIDADE", "05", 0}, Count{"PESOALTU", "05", 111 * 9},
        Count{"PEALNCHS2000", "05", 0}, Count{"PESALTIDADE", "03", 0}, Count{"PESOALTU", "04", 0}})
    EXPECT_EQ(srv::QueryInt(
                  *conn, std::string("SELECT COUNT(*) FROM ") + c.table + " WHERE CDREFEBIBL = ?",
                  {std::string(c.ref)}, -1),
              c.rows)
        << c.table << " " << c.ref;
  auto name = [&](const char* ref) {
    std::string n;
    conn->run("SELECT NMREFEBIBL FROM REFEBIBL WHERE CDREFEBIBL = ?", {std::string(ref)},
              [&](const srv::SqlRow& r) { n = r.text(0); });
    return n;
  };
  EXPECT_EQ(name("02"), "OMS 2006/2007 (Organização Mundial da Saúde)");
  EXPECT_EQ(name("05"), "OMS 2006 — peso por estatura");
  EXPECT_EQ(srv::CheckReferences(db, {}), QStringList());
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
  // The check after the import finds nothing in CDC 2000.
  EXPECT_EQ(srv::ImportCdc(db_, "03", CdcDir(), {50, 85}).findings, QStringList());
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

QString WhoDir() { return QDir::cleanPath(CdcDir() + "/../who"); }

// L, M and S of a WHO file at sex and key, read the plain way.
std::vector<double> WhoLms(const char* file, int sex, double key) {
  QFile f(WhoDir() + "/" + file);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c[0] == QByteArray::number(sex) && std::fabs(c[1].toDouble() - key) < 1e-9)
      return {c[2].toDouble(), c[3].toDouble(), c[4].toDouble()};
  }
  ADD_FAILURE() << "no line " << sex << "," << key << " in " << file;
  return {1, NAN, 0};
}

double Lms(const std::vector<double>& v, double z) {
  return v[0] == 0 ? v[1] * std::exp(v[2] * z) : v[1] * std::pow(1 + v[0] * v[2] * z, 1 / v[0]);
}

TEST_P(ImportTest, WhoValuesLandInTheirReferencesAndAgainTheSame) {
  const srv::ImportCounts n = srv::ImportWho(db_, "03", "04", WhoDir(), {15, 85});
  EXPECT_EQ(n.age, 229 * 2);
  EXPECT_EQ(n.height, 131 * 2);
  EXPECT_EQ(n.nchs, 0);
  EXPECT_EQ(n.stature, 111 * 2);
  EXPECT_EQ(n.findings, QStringList());
  const double z85 = 1.0364333894937898;  // normal quantile of 0.85
  // The joint: girls' height at 60 months is the 2006 standard at day 1826,
  // at 61 months the 2007 reference.
  EXPECT_NEAR(AgeValue(db_, "VRALTUFEMIDA", "03", "085", 5, 0),
              Lms(WhoLms("lenanthro.txt", 2, 1826), z85), 1e-9);
  EXPECT_NEAR(AgeValue(db_, "VRALTUFEMIDA", "03", "085", 5, 1),
              Lms(WhoLms("hfawho2007.txt", 2, 61), z85), 1e-9);
  EXPECT_EQ(AgeValue(db_, "VRMDATFEMIDA", "03", "085", 5, 1), WhoLms("hfawho2007.txt", 2, 61)[1]);
  EXPECT_TRUE(std::isnan(AgeValue(db_, "VRPMCFMASIDA", "03", "085", 5, 1)));
  auto heightWeight = [&](const char* ref, double height) {
    auto db = srv::OpenDb(db_);
    double v = NAN;
    db->run(
        "SELECT VRPESOMASALT FROM PESOALTU WHERE CDREFEBIBL = ? AND CDPERCENTIL = '015' AND "
        "VRALTURA = ?",
        {std::string(ref), height}, [&](const srv::SqlRow& r) { v = r.real(0); });
    return v;
  };
  EXPECT_NEAR(heightWeight("03", 45.5), Lms(WhoLms("wflanthro.txt", 1, 45.5), -z85), 1e-9);
  EXPECT_NEAR(heightWeight("04", 119.5), Lms(WhoLms("wfhanthro.txt", 1, 119.5), -z85), 1e-9);
  EXPECT_TRUE(std::isnan(heightWeight("04", 64.5)));

  const std::string once = WithoutAudit(Dump(db_));
  srv::ImportWho(db_, "03", "04", WhoDir(), {15, 85});
  EXPECT_EQ(WithoutAudit(Dump(db_)), once);
}

TEST_P(ImportTest, ATruncatedWhoFileWritesNothing) {
  QTemporaryDir dir;
  for (const QString& f : QDir(WhoDir()).entryList({"*.txt"}))
    ASSERT_TRUE(QFile::copy(WhoDir() + "/" + f, dir.filePath(f)));
  QFile f(dir.filePath("wfhanthro.txt"));
  ASSERT_TRUE(f.resize(f.size() / 2));
  const std::string before = Dump(db_);
  for (const auto& [whoDir, stature, message] : std::vector<std::tuple<QString, QString, QString>>{
           {dir.path(), "04", "wfhanthro.txt"},
           {WhoDir(), "03", "mesma referência"},
           {WhoDir(), "88", "Referência '88' não cadastrada"}}) {
    try {
      srv::ImportWho(db_, "03", stature, whoDir, {50});
      ADD_FAILURE() << "imported into " << stature.toStdString();
    } catch (const std::runtime_error& e) {
      EXPECT_TRUE(QString::fromUtf8(e.what()).contains(message)) << e.what();
    }
  }
  EXPECT_EQ(Dump(db_), before);
}

TEST_P(ImportTest, TheCheckFindsPlantedFaultsInTheDatabase) {
  EXPECT_EQ(srv::CheckReferences(db_, {}), QStringList());
  auto db = srv::OpenDb(db_);
  // Girls' weight at 4 years 2 months: P3 and P5 swapped in CDC 2000.
  const std::string where =
      " WHERE CDREFEBIBL = '01' AND NRIDADEINI = 4 AND NRIDADEFIN = 2 AND CDPERCENTIL = ?";
  const double p3 = AgeValue(db_, "VRPESOFEMIDA", "01", "003", 4, 2),
               p5 = AgeValue(db_, "VRPESOFEMIDA", "01", "005", 4, 2);
  db->run("UPDATE PESALTIDADE SET VRPESOFEMIDA = ?" + where, {p5, std::string("003")});
  db->run("UPDATE PESALTIDADE SET VRPESOFEMIDA = ?" + where, {p3, std::string("005")});
  // Boys' weight for height 100 cm, P50, 4 % too high in the WHO stature reference.
  db->script(
      "UPDATE PESOALTU SET VRPESOMASALT = VRPESOMASALT * 1.04 WHERE CDREFEBIBL = '05' AND "
      "CDPERCENTIL = '050' AND VRALTURA = 100");
  const QStringList all = srv::CheckReferences(db_, {});
  // The swapped values also leave their own curves, so each is a jump too.
  ASSERT_EQ(all.size(), 4) << all.join('\n').toStdString();
  const QString swapped = "Referência 01: PESALTIDADE, feminino, 4 anos 2 meses, peso";
  EXPECT_TRUE(all[0].startsWith(swapped + ": P003 = ")) << all[0].toStdString();
  EXPECT_TRUE(all[0].contains("maior que P005") && all[0].contains("fora de ordem"));
  EXPECT_TRUE(all[1].startsWith(swapped + ", P003: ") && all[1].contains("salto"));
  EXPECT_TRUE(all[2].startsWith(swapped + ", P005: ") && all[2].contains("salto"));
  EXPECT_TRUE(all[3].startsWith("Referência 05: PESOALTU, masculino, 100 cm, peso, P050: "))
      << all[3].toStdString();
  EXPECT_TRUE(all[3].contains("salto de 3,8 % (tolerância 1 %)"));
  EXPECT_EQ(srv::CheckReferences(db_, "05"), QStringList{all[3]});
  EXPECT_EQ(srv::CheckReferences(db_, "02"), QStringList());
  EXPECT_THROW(srv::CheckReferences(db_, "77"), std::runtime_error);
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
    conn->run("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('01', 'CDC 2000')", {});
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
  for (const char* part : {"M x S", "import-who", "30,4375", "--stature-ref", "check --db", "2 %"})
    EXPECT_TRUE(r.out.contains(QString::fromUtf8(part))) << part;
}

// A tenfold slip typed at the end of a curve has no neighbour after it: the
// shipped curves' range finds it, in a table of two rows.
TEST(AdminTool, CheckFindsATenfoldWeightAtTheEndOfACurve) {
  QTemporaryDir dir;
  const QString db = dir.filePath("fim.db");
  ASSERT_EQ(Admin({"init", "--db", db}).exitCode, 0);
  {
    auto conn = srv::OpenDb(db);
    conn->run("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('09', 'Digitada')", {});
    conn->run(
        "INSERT OR IGNORE INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES ('050', "
        "'Percentil 50', 50)",
        {});
    conn->run(
        "INSERT INTO PESALTIDADE (CDREFEBIBL, CDPERCENTIL, NRIDADEINI, NRIDADEFIN, VRPESOMASIDA) "
        "VALUES ('09', '050', 2, 0, 12.5), ('09', '050', 2, 1, 125)",
        {});
  }
  const AdminRun r = Admin({"check", "--db", db, "--ref", "09"});
  EXPECT_EQ(r.exitCode, 1) << r.out.toStdString() << r.err.toStdString();
  EXPECT_TRUE(
      r.out.contains("Referência 09: PESALTIDADE, masculino, 2 anos 1 mês, peso, P050: 125 "
                     "fora da faixa das curvas OMS 2006/2007 e CDC 2000"))
      << r.out.toStdString();
  EXPECT_FALSE(r.out.contains("P050: 12,5 ")) << r.out.toStdString();
}

TEST(AdminTool, ImportWhoAndCheck) {
  QTemporaryDir dir;
  const QString db = dir.filePath("who.db");
  ASSERT_EQ(Admin({"init", "--db", db}).exitCode, 0);
  {
    auto conn = srv::OpenDb(db);
    conn->run("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('07', 'OMS'), ('08', 'OMS estatura')", {});
  }
  AdminRun r = Admin(
      {"import-who", "--db", db, "--ref", "07", "--stature-ref", "08", "--percentiles", "3,50,97"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("687 linhas por idade, 393 de peso por comprimento"))
      << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("08: 333 linhas de peso por estatura")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("Verificação: nada encontrado.")) << r.out.toStdString();
  r = Admin({"check", "--db", db});
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
  {
    auto conn = srv::OpenDb(db);
    conn->run(
        "UPDATE PESALTIDADE SET VRALTUMASIDA = 300 WHERE CDREFEBIBL = '07' AND "
        "CDPERCENTIL = '097' AND NRIDADEINI = 19 AND NRIDADEFIN = 0",
        {});
  }
  r = Admin({"check", "--db", db, "--ref", "07"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(
      r.out.contains("Referência 07: PESALTIDADE, masculino, 19 anos, altura, P097: 300 "
                     "fora do intervalo fisiológico"))
      << r.out.toStdString();
  EXPECT_EQ(Admin({"check", "--db", db, "--ref", "08"}).exitCode, 0);
  r = Admin({"check", "--db", dir.filePath("nao-existe.db")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("Banco não encontrado")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("nao-existe.db")));
  r = Admin({"import-who", "--db", db, "--ref", "07", "--dir", dir.filePath("nada")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("Pasta dos arquivos da OMS não encontrada")) << r.err.toStdString();
}

}  // namespace
