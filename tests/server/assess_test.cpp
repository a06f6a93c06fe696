// Assessing children on the kept references through the real programs: the
// L, M and S the imports keep (both engines), `tabrelpeso-admin assess` for
// one child and for a CSV file, `check`, and AvaliaMedida over HTTP.

#include "support.h"

#include "server/admin.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

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
      {{"--sex", "M", "--age-days", "987", "--length", "72.86"},
       "estatura_idade",
       -6.09,
       "Muito baixa estatura para a idade",
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

INSTANTIATE_TEST_SUITE_P(Engines, AssessTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

}  // namespace
