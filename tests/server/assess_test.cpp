// Assessing children on the kept references through the real programs: the
// L, M and S the imports keep (both engines), `tabrelpeso-admin assess` for
// one child and for a CSV file, `check`, and AvaliaMedida over HTTP.

#include "support.h"

#include "server/admin.h"
#include "server/schema.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <map>

using namespace srvtest;

namespace {

using AdminRun = ToolRun;
AdminRun Admin(const QStringList& args) { return RunTool(QStringLiteral(TRP_ADMIN_EXE), args, 120000); }

QString WhoDir() { return QDir::cleanPath(CdcDir() + "/../who"); }

class AssessTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
  }
  std::int64_t Points(const char* ref, const char* indicator, const char* unit) {
    auto db = srv::OpenDb(db_);
    return srv::QueryInt(*db,
                         "SELECT COUNT(*) FROM LMSREFERENCIA WHERE CDREFEBIBL = ? AND "
                         "CDINDICADOR = ? AND CDUNIDADE = ?",
                         {std::string(ref), std::string(indicator), std::string(unit)}, -1);
  }
  QString db_;
};

TEST_P(AssessTest, ImportsKeepEveryLmsPointOnceAndCheckShowsThem) {
  struct Count {
    const char* ref;
    const char* indicator;
    const char* unit;
    int points;  // both sexes
  };
  // WHO 2006 by day 0-1826, 2007 by month (weight 60-121, height and BMI
  // 60-229), weight-for-length 45-110 and -height 65-120 by 0.1 cm; the
  // stature reference keeps weight-for-height only; CDC 2000 by its own keys.
  const Count counts[] = {
      {"02", "peso_idade", "D", 2 * 1827},
      {"02", "estatura_idade", "D", 2 * 1827},
      {"02", "pc_idade", "D", 2 * 1827},
      {"02", "imc_idade", "D", 2 * 1827},
      {"02", "peso_idade", "M", 2 * 62},
      {"02", "estatura_idade", "M", 2 * 170},
      {"02", "imc_idade", "M", 2 * 170},
      {"02", "peso_comprimento", "C", 2 * 651},
      {"02", "peso_estatura", "C", 2 * 551},
      {"05", "peso_estatura", "C", 2 * 551},
      {"05", "peso_idade", "D", 0},
      {"01", "comprimento_idade", "M", 2 * 37},
      {"01", "peso_comprimento", "C", 2 * 60},
      {"01", "peso_estatura", "C", 2 * 46},
  };
  for (const Count& c : counts)
    EXPECT_EQ(Points(c.ref, c.indicator, c.unit), c.points) << c.ref << " " << c.indicator;
  // Importing again into another reference twice leaves the same points.
  srv::ImportWho(db_, "03", "04", WhoDir(), {50});
  srv::ImportWho(db_, "03", "04", WhoDir(), {50});
  EXPECT_EQ(Points("03", "imc_idade", "D"), 2 * 1827);
  EXPECT_EQ(Points("04", "peso_estatura", "C"), 2 * 551);
  srv::ImportCdc(db_, "04", CdcDir(), {50});
  EXPECT_EQ(Points("04", "peso_estatura", "C"), 2 * 46);
  EXPECT_EQ(Points("04", "estatura_idade", "M"), 2 * 218);

  const AdminRun r = Admin({"check", "--db", db_, "--ref", "05"});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(
      r.out.startsWith("Referência 05: L, M e S de peso_estatura por comprimento/estatura "
                       "em cm, 65 a 120 (masculino 551 pontos, feminino 551 pontos)\n"))
      << r.out.toStdString();
  {
    auto db = srv::OpenDb(db_);
    db->run(
        "UPDATE LMSREFERENCIA SET VRS = 0 WHERE CDREFEBIBL = '05' AND CDSEXO = 'F' AND "
        "VRCHAVE = 70",
        {});
  }
  const AdminRun bad = Admin({"check", "--db", db_, "--ref", "05"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_TRUE(
      bad.out.contains("LMSREFERENCIA, peso_estatura, feminino, comprimento/estatura em "
                       "cm 70: M e S devem ser positivos"))
      << bad.out.toStdString();
}

TEST_P(AssessTest, TheCommandAnswersThePublishedCases) {
  struct Case {
    QStringList args;
    const char* indicator;
    double z;
    const char* classification;
    bool implausible;
  };
  const Case cases[] = {
      {{"--sex", "F", "--age-days", "1522", "--weight", "17"},
       "peso_idade",
       0.24,
       "Peso adequado para a idade",
       false},
      // Beyond the WHO's limits: no class, a word to check the measure.
      {{"--sex", "M", "--age-days", "987", "--length", "72.86"},
       "estatura_idade",
       -6.09,
       "valor implausível: confira a medida",
       true},
      {{"--sex", "F", "--age-months", "24", "--height", "77.5"},
       "estatura_idade",
       -2.55,
       "Baixa estatura para a idade",
       false},
  };
  for (const Case& c : cases) {
    const AdminRun r =
        Admin(QStringList{"assess", "--db", db_, "--ref", "02", "--format", "json"} + c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    ASSERT_EQ(o.size(), 1) << r.out.toStdString();
    const QJsonObject i = o.value(QLatin1String(c.indicator)).toObject();
    EXPECT_NEAR(i.value("z").toDouble(), c.z, 0.01) << r.out.toStdString();
    EXPECT_EQ(i.value("classificacao").toString(), QString::fromUtf8(c.classification));
    EXPECT_EQ(i.value("implausivel").toBool(), c.implausible);
    EXPECT_TRUE(i.value("percentil").isDouble());
    EXPECT_FALSE(i.value("faixa").toString().isEmpty());
  }
  struct Bad {
    QStringList args;
    const char* message;
  };
  for (const Bad& b :
       {Bad{{"--ref", "02", "--sex", "X", "--age-days", "10"}, "--sex M"},
        Bad{{"--ref", "02", "--sex", "M"}, "--age-days ou com --age-months"},
        Bad{{"--ref", "02", "--sex", "M", "--age-days", "10", "--length", "50", "--height", "50"},
            "não os dois"},
        Bad{{"--ref", "02", "--sex", "M", "--age-days", "10", "--weight", "-3"}, "positivos"},
        Bad{{"--ref", "77", "--sex", "M", "--age-days", "10"}, "Referência '77' não cadastrada"}}) {
    const AdminRun r = Admin(QStringList{"assess", "--db", db_} + b.args);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(b.message))) << r.err.toStdString();
  }
}

// z = ((y/M)^L - 1)/(L S) from the WHO's file at that sex (1, 2) and day.
double WhoZ(const char* file, int sex, int day, double y) {
  QFile f(WhoDir() + "/" + file);
  if (!f.open(QIODevice::ReadOnly)) return NAN;
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c.size() < 5 || c[0].toInt() != sex || c[1] != QByteArray::number(day)) continue;
    const double l = c[2].toDouble(), m = c[3].toDouble(), s = c[4].toDouble();
    return (std::pow(y / m, l) - 1) / (l * s);
  }
  return NAN;
}

TEST_P(AssessTest, APretermChildIsAssessedAtCorrectedAgeUntil24Months) {
  struct Case {
    QStringList args;
    int assessed;  // days
    double weight;
  };
  // Born at 30 weeks: 70 days short of term, until 24 months of age.
  for (const Case& c : {Case{{"--birth", "2024-01-01", "--date", "2024-07-01"}, 112, 5.5},
                        Case{{"--birth", "2022-01-01", "--date", "2024-01-01"}, 730, 11}}) {
    const AdminRun r = Admin(QStringList{"assess", "--db", db_, "--ref", "02", "--sex", "F",
                                         "--gestational-weeks", "30", "--weight",
                                         QString::number(c.weight)} +
                             c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(o.value("idade_corrigida_dias").toInt(-1), c.assessed) << r.out.toStdString();
    EXPECT_NEAR(o.value("peso_idade").toObject().value("z").toDouble(),
                WhoZ("weianthro.txt", 2, c.assessed, c.weight), 0.006);
  }
  const AdminRun plain = Admin({"assess", "--db", db_, "--ref", "02", "--sex", "F", "--birth",
                                "2024-01-01", "--date", "2024-07-01", "--weight", "5.5"});
  EXPECT_FALSE(plain.out.contains("idade_corrigida_dias")) << plain.out.toStdString();
}

TEST_P(AssessTest, ThePdfIsTheScreensPrintoutOfTheChildOrOfItsVisits) {
  QTemporaryDir dir;
  QFile csv(dir.filePath("visitas.csv"));
  ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
  csv.write("data;peso;medida;estatura;pc\n2021-07-10;7.5;D;66;\n10/01/2022;9,0;D;75;\n");
  csv.close();
  const QString pdf = dir.filePath("laudo.pdf");
  const AdminRun r = Admin({"assess", "--db", db_, "--sex", "F", "--birth", "2021-01-10",
                            "--date", "2024-01-20", "--weight", "14.2", "--height", "95",
                            "--name", "Maria da Silva", "--record", "PR-4471", "--series",
                            csv.fileName(), "--pdf", pdf});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QString text = QString::fromUtf8(p.readAllStandardOutput());
  const QString flat = text.simplified();
  for (const char* field :
       {"Maria da Silva", "PR-4471", "Sexo: feminino", "Nascimento: 10/01/2021",
        "Data da medição: 20/01/2024", "3 anos, 0 meses e 10 dias", "estatura (em pé) 95 cm",
        "IMC: 15,73 kg/m²", "Referência 02 - OMS", "Citação: WHO", "Escore z por visita",
        "Impresso em"})
    EXPECT_TRUE(flat.contains(QString::fromUtf8(field))) << field;
  // One row of z per visit, each the WHO's.
  struct Visit {
    const char* date;
    int day;
    double weight;
  };
  for (const Visit& v : {Visit{"10/07/2021", 181, 7.5}, Visit{"10/01/2022", 365, 9.0},
                         Visit{"20/01/2024", 1105, 14.2}}) {
    const double z = std::round(WhoZ("weianthro.txt", 2, v.day, v.weight) * 100) / 100 + 0.0;
    const QRegularExpression row(QStringLiteral("\n\\s*%1 .* %2 ")
                                     .arg(QRegularExpression::escape(v.date),
                                          QString::number(z, 'f', 2).replace('.', ',')));
    EXPECT_TRUE(row.match(text).hasMatch()) << v.date;
  }
  const AdminRun bad = Admin({"assess", "--db", db_, "--sex", "F", "--date", "2024-01-20",
                              "--weight", "14.2", "--pdf", pdf});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_TRUE(bad.err.contains("--birth")) << bad.err.toStdString();
}

TEST_P(AssessTest, TheBatchReportsTheMalformedLineAndProcessesTheRest) {
  QTemporaryDir dir;
  QFile in(dir.filePath("entrada.csv"));
  ASSERT_TRUE(in.open(QIODevice::WriteOnly));
  in.write(
      "id;sexo;idade_dias;peso;medida;estatura;pc\n"
      "1;F;1522;17;;;\n"
      "2;F;1522;dezessete;;;\n"
      "3;F;731;;P;77.5;\n");
  in.close();
  const QString out = dir.filePath("saida.csv");
  const AdminRun r = Admin({"assess", "--db", db_, "--ref", "02", "--in", in.fileName(), "--out",
                            out, "--decimal", "point"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("linha 3: peso inválido: 'dezessete'")) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("Avaliadas 2 de 3 linhas")) << r.out.toStdString();
  QFile result(out);
  ASSERT_TRUE(result.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = result.readAll().split('\n');
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(lines[1].startsWith("1;F;1522;17;;;;0.24;59.5;Peso adequado")) << lines[1].data();
  EXPECT_TRUE(lines[2].startsWith("3;F;731;;P;77.5;;;;;-2.55;0.5;Baixa estatura"))
      << lines[2].data();
}

TEST_P(AssessTest, AvaliaMedidaAnswersReadersPerReference) {
  srv::AppServer server(Options(db_));
  const int port = server.Start();
  Client reader(port, kReader);
  const QJsonValue null;
  Response r =
      reader.Call("AvaliaMedida", {"F", null, "2020-01-01", "2024-03-02", 17, 103, "P", null, ""});
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  QStringList refs;
  double z = NAN;
  for (const QJsonValue& v : Rows(r.result())) {
    const QJsonArray row = v.toArray();
    EXPECT_EQ(row[2].toInt(), 1522);
    if (!refs.contains(row[0].toString())) refs << row[0].toString();
    if (row[0] == "02" && row[3] == "peso_idade") {
      z = row[4].toDouble();
      EXPECT_EQ(row[7].toString(), "Peso adequado para a idade");
      EXPECT_EQ(row[8].toString(), "N");
    }
  }
  EXPECT_NEAR(z, 0.24, 0.01);
  // Every reference with an answer at 4 years: CDC 2000, WHO and WHO by height.
  EXPECT_EQ(refs, QStringList({"01", "02", "05"}));

  r = reader.Call("AvaliaMedida", {"M", 987, null, null, null, 72.86, "D", null, "02,03"});
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  ASSERT_EQ(Rows(r.result()).size(), 1);
  EXPECT_NEAR(Rows(r.result())[0][4].toDouble(), -6.09, 0.01);
  EXPECT_EQ(Rows(r.result())[0][8].toString(), "S");

  struct Bad {
    QJsonArray params;
    const char* message;
  };
  for (const Bad& b :
       {Bad{{"X", 3, null, null, null, null, "", null, ""}, "sexo deve ser"},
        Bad{{"M", 3, null, null, "x", null, "", null, ""}, "o peso deve ser"},
        Bad{{"M", null, "2020-01-02", "2020-01-01", null, null, "", null, ""},
            "anterior ao nascimento"},
        Bad{{"M", null, "ontem", "2020-01-01", null, null, "", null, ""}, "AAAA-MM-DD"},
        Bad{{"M", 3, null, null, null, null, "", null, "99"}, "Referência '99' não cadastrada."},
        Bad{{"M", 3}, "espera 9 parâmetro(s)"}}) {
    r = reader.Call("AvaliaMedida", b.params);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QString::fromUtf8(b.message))) << r.error().toStdString();
  }
}

TEST_P(AssessTest, GetCurvaLmsDrawsThePercentilesFromTheLms) {
  srv::AppServer server(Options(db_));
  const int port = server.Start();
  Client reader(port, kReader);
  Response r = reader.Call("GetCurvaLms", {"02", "F", "imc_idade"});
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  // P50 is M; P97 is M (1 + L S z97)^(1/L): day 1095 of bmianthro (girls).
  QFile f(WhoDir() + "/bmianthro.txt");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  double l = NAN, m = NAN, s = NAN;
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c.size() >= 5 && c[0] == "2" && c[1] == "1095") {
      l = c[2].toDouble();
      m = c[3].toDouble();
      s = c[4].toDouble();
    }
  }
  const double z97 = 1.8807936081512509;  // the normal deviate of 0.97
  std::map<QString, double> at;
  for (const QJsonValue& v : Rows(r.result())) {
    const QJsonArray row = v.toArray();
    if (std::abs(row[1].toDouble() - 1095 / 30.4375) < 1e-3) at[row[0].toString()] = row[2].toDouble();
  }
  EXPECT_NEAR(at["P50"], m, 0.001);
  EXPECT_NEAR(at["P97"], m * std::pow(1 + l * s * z97, 1 / l), 0.001);
  for (const QJsonArray& bad : {QJsonArray{"02", "X", "imc_idade"}, QJsonArray{"02", "F", "x"},
                                QJsonArray{"99", "F", "imc_idade"}}) {
    r = reader.Call("GetCurvaLms", bad);
    EXPECT_FALSE(r.ok());
  }
}

// The WHO's restricted z at a length/height between the file's 0.1 cm lines,
// from the shipped wfhanthro.txt (male).
double WhoWeightForHeightZ(double height, double weight) {
  QFile f(WhoDir() + "/wfhanthro.txt");
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  std::map<int, std::array<double, 3>> lms;  // tenths of a cm -> L, M, S
  f.readLine();
  while (!f.atEnd()) {
    const QList<QByteArray> c = f.readLine().trimmed().split('\t');
    if (c[0] == "1")
      lms[int(std::lround(c[1].toDouble() * 10))] = {c[2].toDouble(), c[3].toDouble(),
                                                     c[4].toDouble()};
  }
  const int low = int(std::floor(height * 10 + 1e-9));
  const double t = height * 10 - low;
  double l = 0, m = 0, s = 0;
  double* out[] = {&l, &m, &s};
  for (int k = 0; k < 3; ++k) *out[k] = lms[low][k] + t * (lms[low + 1][k] - lms[low][k]);
  const auto at = [&](double z) { return m * std::pow(1 + l * s * z, 1 / l); };
  const double z = (std::pow(weight / m, l) - 1) / (l * s);
  if (z < -3) return -3 + (weight - at(-3)) / (at(-2) - at(-3));
  if (z > 3) return 3 + (weight - at(3)) / (at(3) - at(2));
  return z;
}

TEST_P(AssessTest, TheOriginOfTheLmsPicksTheRules) {
  // The imports keep where the L, M and S come from.
  {
    auto db = srv::OpenDb(db_);
    const auto origins = [&](const char* ref, const char* origin) {
      return srv::QueryInt(*db,
                           "SELECT COUNT(*) FROM LMSREFERENCIA WHERE CDREFEBIBL = ? AND "
                           "CDORIGEM = ?",
                           {std::string(ref), std::string(origin)}, -1);
    };
    EXPECT_EQ(origins("01", "OMS"), 0);
    EXPECT_GT(origins("01", "CDC"), 0);
    EXPECT_EQ(origins("02", "CDC"), 0);
    EXPECT_EQ(origins("05", "CDC"), 0);
    EXPECT_GT(origins("05", "OMS"), 0);
  }
  srv::AppServer server(Options(db_));
  Client reader(server.Start(), kReader);
  const QJsonValue null;
  // Reference 05 keeps only the WHO's weight-for-height: the WHO's restricted
  // z and class, as reference 02 gives.
  const double expected = WhoWeightForHeightZ(117.19, 13.4);
  const Response r =
      reader.Call("AvaliaMedida", {"M", 1308, null, null, 13.4, 117.19, "P", null, "02,05"});
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  int seen = 0;
  for (const QJsonValue& v : Rows(r.result())) {
    const QJsonArray row = v.toArray();
    if (row[3] != "peso_estatura") continue;
    ++seen;
    EXPECT_NEAR(row[4].toDouble(), std::round(expected * 100) / 100, 1e-9) << row[0].toString().toStdString();
    EXPECT_EQ(row[7].toString(), "Magreza acentuada");
    EXPECT_EQ(row[8].toString(), "N");
  }
  EXPECT_EQ(seen, 2);
}

TEST_P(AssessTest, TheBandNamesAndOrdersTheKeptCurvesByTheirValues) {
  // A typed reference whose percentile codes are no numbers: "P99" (99) and
  // "015" (15), weight of girls at 0 and 12 months.
  {
    auto db = srv::OpenDb(db_);
    db->script(
        "INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('07', 'Digitada');\n"
        "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES ('P99', 'Noventa e "
        "nove', 99);\n"
        "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL) VALUES ('PX', 'Sem valor');\n"
        "INSERT INTO PESALTIDADE (CDREFEBIBL, CDPERCENTIL, NRIDADEINI, NRIDADEFIN, VRPESOFEMIDA) "
        "VALUES ('07', '015', 0, 0, 3.0), ('07', '015', 1, 0, 9.0), ('07', 'P99', 0, 0, 4.0), "
        "('07', 'P99', 1, 0, 11.0), ('07', 'PX', 0, 0, 2.0), ('07', 'PX', 1, 0, 20.0);\n");
  }
  srv::AppServer server(Options(db_));
  Client reader(server.Start(), kReader);
  const QJsonValue null;
  struct Band {
    double weight;  // at 0 days: P15 3.0 kg, P99 4.0 kg
    const char* band;
  };
  for (const Band& b : {Band{3.5, "entre P15 e P99"}, Band{4.5, "acima do P99"},
                        Band{2.5, "abaixo do P15"}, Band{4.0, "no P99"}}) {
    const Response r =
        reader.Call("AvaliaMedida", {"F", 0, null, null, b.weight, null, "", null, "07"});
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    ASSERT_EQ(Rows(r.result()).size(), 1) << b.weight;
    EXPECT_EQ(Rows(r.result())[0][6].toString(), QString::fromUtf8(b.band)) << b.weight;
  }
}

// The server keeps what it read of a reference between calls: each kind of
// change to it must reach the next answer.
TEST_P(AssessTest, AKeptReferenceFollowsEveryChangeToWhatItIsBuiltFrom) {
  {
    auto db = srv::OpenDb(db_);
    db->script(
        "INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('07', 'Digitada');\n"
        "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES ('P99', 'P99', 99);\n"
        "INSERT INTO PESALTIDADE (CDREFEBIBL, CDPERCENTIL, NRIDADEINI, NRIDADEFIN, VRPESOFEMIDA) "
        "VALUES ('07', '015', 0, 0, 3.0), ('07', '015', 1, 0, 9.0), ('07', 'P99', 0, 0, 4.0), "
        "('07', 'P99', 1, 0, 11.0);\n");
  }
  srv::AppServer server(Options(db_));
  const int port = server.Start();
  Client reader(port, kReader), maintainer(port, kMaintainer);
  const QJsonValue null;
  const auto band = [&] {
    const Response r = reader.Call("AvaliaMedida", {"F", 0, null, null, 3.5, null, "", null, "07"});
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
    return Rows(r.result()).at(0)[6].toString().toStdString();
  };
  EXPECT_EQ(band(), "entre P15 e P99");
  ASSERT_TRUE(maintainer
                  .Call("AlteraPercentil",
                        {QJsonArray{"P99", "P99", 99}, QJsonArray{"P99", "P99", 98.5}})
                  .ok());
  EXPECT_EQ(band(), "entre P15 e P98,5");
  QJsonArray row = Rows(reader.Call("GetValidaIdade", {"07", "015", 0, 0}).result()).at(0).toArray();
  ASSERT_EQ(row[6].toDouble(), 3.0);
  QJsonArray changed = row;
  changed[6] = 3.6;
  ASSERT_TRUE(maintainer.Call("SetIdPesAlt", {Delta("PESALTIDADE", {Update(row, changed)})}).ok());
  EXPECT_EQ(band(), "abaixo do P15");
  // L, M and S: the imports mark them changed, and a change marked so reaches
  // the answer even when no row changed with it.
  const auto bmiZ = [&]() -> double {
    const Response r = reader.Call("AvaliaMedida", {"F", 400, null, null, 9.0, 75, "D", null, "03"});
    for (const QJsonValue& v : Rows(r.result()))
      if (v[3] == "imc_idade") return v[4].toDouble();
    return NAN;
  };
  EXPECT_TRUE(std::isnan(bmiZ()));
  const auto lmsCounter = [&] {
    auto db = srv::OpenDb(db_);
    return srv::QueryInt(*db,
                         "SELECT NRALTERACAO FROM CONTROLEALTERACAO WHERE NMTABELA = "
                         "'LMSREFERENCIA' AND CDREFEBIBL = '03'",
                         {}, 0);
  };
  srv::ImportWho(db_, "03", "04", WhoDir(), {50});
  const std::int64_t counter = lmsCounter();
  EXPECT_GT(counter, 0);
  const double z = bmiZ();
  EXPECT_FALSE(std::isnan(z));
  {
    auto db = srv::OpenDb(db_);
    srv::Transaction tx(*db, true);
    db->run("UPDATE LMSREFERENCIA SET VRM = VRM * 1.1 WHERE CDREFEBIBL = '03'", {});
    srv::BumpChangeCounter(*db, "LMSREFERENCIA", "03", "");
    tx.commit();
  }
  EXPECT_LT(bmiZ(), z - 0.5);
  srv::ImportWho(db_, "03", "04", WhoDir(), {50});
  EXPECT_EQ(lmsCounter(), counter + 2);
  EXPECT_EQ(bmiZ(), z);
}

TEST_P(AssessTest, AvaliaMedidasAnswersEachChildAsAvaliaMedidaDoes) {
  srv::AppServer server(Options(db_));
  Client reader(server.Start(), kReader);
  const QJsonValue null;
  const QJsonArray children{QJsonArray{"F", 1522, null, null, 17, 103, "P", null},
                            QJsonArray{"M", null, "2020-01-01", "2020-06-01", 7.2, 65, "D", 42},
                            QJsonArray{"M", 987, null, null, null, 72.86, "D", null}};
  const Response all = reader.Call("AvaliaMedidas", {children, "01,02"});
  ASSERT_TRUE(all.ok()) << all.error().toStdString();
  QJsonArray expected;
  for (qsizetype i = 0; i < children.size(); ++i) {
    QJsonArray params = children[i].toArray();
    params.append("01,02");
    const Response one = reader.Call("AvaliaMedida", params);
    ASSERT_TRUE(one.ok()) << one.error().toStdString();
    for (const QJsonValue& v : Rows(one.result())) {
      QJsonArray row = v.toArray();
      row.prepend(int(i + 1));
      expected.append(row);
    }
  }
  EXPECT_GT(expected.size(), 6);
  EXPECT_EQ(Rows(all.result()), expected);

  QJsonArray tooMany;
  for (int i = 0; i <= 1000; ++i) tooMany.append(children[0]);
  struct Bad {
    QJsonArray params;
    const char* message;
  };
  for (const Bad& b :
       {Bad{{QJsonArray{children[0], QJsonArray{"X", 3, null, null, null, null, "", null}}, ""},
            "criança 2: sexo deve ser"},
        Bad{{QJsonArray{children[0], QJsonArray{"F", 3}}, ""}, "criança 2 deve ser uma lista"},
        Bad{{"F", ""}, "deve ser uma lista"},
        Bad{{tooMany, ""}, "no máximo 1000 crianças"},
        Bad{{children, "99"}, "Referência '99' não cadastrada."}}) {
    const Response r = reader.Call("AvaliaMedidas", b.params);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QString::fromUtf8(b.message))) << r.error().toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, AssessTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

}  // namespace
