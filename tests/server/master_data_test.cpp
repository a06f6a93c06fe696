// The master tables (references and percentiles) through the real server and
// through tabrelpeso-admin, on SQLite and on PostgreSQL, over a fresh copy of
// the sample per test.

#include "support.h"

#include "server/master_data.h"
#include "server/schema.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <map>
#include <optional>

using namespace srvtest;

namespace {

class MasterTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
  }
  void StartServer() {
    server_ = std::make_unique<srv::AppServer>(Options(db_));
    client_ = std::make_unique<Client>(server_->Start(), kMaintainer);
  }
  void TearDown() override {
    client_.reset();
    server_.reset();
  }
  QJsonValue Ok(const QString& method, const QJsonArray& params = {}) {
    const Response r = client_->Call(method, params);
    EXPECT_TRUE(r.ok()) << method.toStdString() << ": " << r.error().toStdString();
    return r.result();
  }
  // The row of `code` in a GetCad packet, empty when absent.
  QJsonArray Entry(const char* method, const QString& code) {
    for (const QJsonValue& row : Rows(Ok(method)))
      if (row.toArray().at(0).toString() == code) return row.toArray();
    return {};
  }

  QString db_;
  std::unique_ptr<srv::AppServer> server_;
  std::unique_ptr<Client> client_;
};

TEST_P(MasterTest, AReferenceIsAddedRenamedCitedAndDeletedWithItsAudit) {
  StartServer();
  const int audit = AuditCount(db_);
  Ok("IncluiReferencia", {"6", "  Referência nacional ", QJsonValue(), "Ministério", QJsonValue()});
  const QJsonArray added{"06", "Referência nacional", QJsonValue(), "Ministério", QJsonValue()};
  EXPECT_EQ(Entry("GetCadReferencia", "06"), added);

  const QJsonArray cited{"06", "Referência nacional 2026", "Autor A.\r\nTítulo, 2026.",
                         "Ministério", "CC BY 4.0"};
  Ok("AlteraReferencia", {added, cited});
  const QJsonArray stored = Entry("GetCadReferencia", "06");
  EXPECT_EQ(stored.at(1).toString(), "Referência nacional 2026");
  EXPECT_EQ(stored.at(2).toString(), "Autor A.\nTítulo, 2026.");  // line breaks kept
  EXPECT_EQ(stored.at(4).toString(), "CC BY 4.0");

  // The copy read before the rename is stale now.
  const Response stale = client_->Call("AlteraReferencia", {added, cited});
  EXPECT_EQ(stale.body["error"].toObject()["code"].toInt(), -32001) << stale.error().toStdString();

  Ok("ExcluiReferencia", {QJsonValue(stored)});
  EXPECT_TRUE(Entry("GetCadReferencia", "06").isEmpty());
  EXPECT_EQ(AuditCount(db_), audit + 3);
}

TEST_P(MasterTest, APercentileCarriesItsValueAndCodesAreAdjusted) {
  StartServer();
  Ok("IncluiPercentil", {"7", "Percentil 7", 7});
  EXPECT_EQ(Entry("GetCadPercentil", "007"), (QJsonArray{"007", "Percentil 7", 7}));
  Ok("AlteraPercentil",
     {QJsonArray{"007", "Percentil 7", 7}, QJsonArray{"007", "P7", QJsonValue()}});
  EXPECT_EQ(Entry("GetCadPercentil", "007"), (QJsonArray{"007", "P7", QJsonValue()}));
  // The sample's percentiles got their values from their codes.
  EXPECT_EQ(Entry("GetCadPercentil", "015").at(2).toDouble(), 15);
}

TEST_P(MasterTest, RefusedChangesSayWhyAndChangeNothing) {
  StartServer();
  const std::string before = Dump(db_);
  const QJsonArray ref01 = Entry("GetCadReferencia", "01");
  const QJsonArray perc050 = Entry("GetCadPercentil", "050");
  struct Case {
    const char* method;
    QJsonArray params;
    const char* message;  // a part of it
  };
  const Case cases[] = {
      {"IncluiReferencia", {"1", "Outra", {}, {}, {}}, "Referência '01' já cadastrada"},
      {"IncluiPercentil", {"3", "Outro", {}}, "Percentil '003' já cadastrado"},
      {"IncluiPercentil", {"099", "Outro", 15}, "O valor 15 já pertence ao percentil '015'"},
      {"IncluiPercentil", {"099", "Outro", 100}, "maior que 0 e menor que 100"},
      {"IncluiReferencia", {"07", "   ", {}, {}, {}}, "Informe o nome da referência"},
      {"IncluiReferencia", {"0\n", "Nome", {}, {}, {}}, "caractere de controle"},
      {"IncluiReferencia", {"123", "Nome", {}, {}, {}}, "no máximo 2 caracteres"},
      {"IncluiPercentil", {"", "Nome", {}}, "Informe o código do percentil"},
      {"ExcluiReferencia",
       {QJsonValue(ref01)},
       "está em uso: 2169 linha(s) na tabela Idade/Peso/Altura, 540 linha(s) na tabela "
       "Peso/Altura, 460 linha(s) na tabela Peso/Altura (NCHS 2000) e 1282 ponto(s) de L, M e S"},
      {"ExcluiPercentil", {QJsonValue(perc050)}, "O percentil '050' não pode ser excluído"},
  };
  for (const Case& c : cases) {
    const Response r = client_->Call(c.method, c.params);
    EXPECT_FALSE(r.ok()) << c.method;
    EXPECT_TRUE(r.error().contains(QString::fromUtf8(c.message)))
        << c.method << ": " << r.error().toStdString();
  }
  // A reader lists but changes nothing.
  client_->SetToken(kReader);
  EXPECT_EQ(Rows(Ok("GetCadReferencia")).size(), 5);
  const Response reader = client_->Call("IncluiReferencia", {"07", "Nova", {}, {}, {}});
  EXPECT_TRUE(reader.error().contains("somente para consulta")) << reader.error().toStdString();
  EXPECT_EQ(Dump(db_), before);
}

TEST_P(MasterTest, TheValueMigrationReadsWholeCodesOnly) {
  // The database as it was before percentiles had values.
  auto db = srv::OpenDb(db_);
  db->script(
      "DROP INDEX PERCENTIL_VALOR;\n"
      "ALTER TABLE PERCENTIL DROP COLUMN VRPERCENTIL;\n"
      // What the later migrations add goes too, so that they apply again.
      "DROP INDEX AUDITORIA_GRUPO;\nALTER TABLE AUDITORIA DROP COLUMN DSGRUPO;\n"
      "DROP INDEX AUDITORIA_REF;\nDROP INDEX AUDITORIA_REFPERC;\nDROP INDEX AUDITORIA_CHAVE;\n"
      "DROP INDEX AUDITORIA_PERC;\nDROP INDEX AUDITORIA_USUARIO;\nDROP INDEX AUDITORIA_DATA;\n"
      "DROP INDEX AUDITORIA_LOTE;\n"
      "ALTER TABLE AUDITORIA DROP COLUMN CDREFEBIBL;\nALTER TABLE AUDITORIA DROP COLUMN CDPERCENTIL;\n"
      "ALTER TABLE AUDITORIA DROP COLUMN DSCHAVE;\nALTER TABLE AUDITORIA DROP COLUMN NRLOTE;\n"
      "DROP TABLE LMSREFERENCIA;\n"
      "DELETE FROM SCHEMA_VERSION WHERE NRVERSAO >= 5;\n"
      "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL) VALUES ('P2', 'Texto');\n"
      "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL) VALUES ('000', 'Zero');\n"
      "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL) VALUES ('2.5', 'Ponto');");
  srv::Migrate(*db);
  std::map<std::string, std::optional<double>> values;
  for (const srv::PercentileEntry& e : srv::ListPercentiles(*db)) values[e.code] = e.value;
  EXPECT_EQ(values["015"], 15);
  EXPECT_EQ(values["097"], 97);
  EXPECT_EQ(values["P2"], std::nullopt);
  EXPECT_EQ(values["000"], std::nullopt);
  EXPECT_EQ(values["2.5"], std::nullopt);
}

// --- tabrelpeso-admin

using AdminRun = ToolRun;
AdminRun Admin(const QStringList& args) { return RunTool(QStringLiteral(TRP_ADMIN_EXE), args, 60000); }

TEST_P(MasterTest, AdminCommandsKeepTheMastersAndImportsFindPercentilesByValue) {
  const QString db = db_;
  struct Step {
    QStringList args;
    int exitCode;
    const char* output;  // a part of stdout (exit 0) or stderr (exit 1)
  };
  const Step steps[] = {
      {{"reference", "add", "--code", "6", "--name", "Referência nacional", "--citation",
        "Autor.\nTítulo."},
       0,
       "Referência 06 incluída"},
      {{"reference", "list"}, 0, "06;Referência nacional\n"},
      {{"reference", "add", "--code", "06", "--name", "Outra"}, 1, "Referência '06' já cadastrada"},
      {{"reference", "edit", "--code", "06", "--source", "Ministério"}, 0, "alterada"},
      {{"reference", "edit", "--code", "08", "--name", "X"}, 1, "Referência '08' não cadastrada"},
      {{"reference", "remove", "--code", "1"}, 1, "está em uso: 2169 linha(s)"},
      {{"percentile", "add", "--code", "p99", "--name", "Percentil 99", "--value", "99"},
       0,
       "P99 incluído"},
      {{"percentile", "add", "--code", "2", "--name", "Outro", "--value", "99"},
       1,
       "O valor 99 já pertence ao percentil 'P99'"},
      {{"percentile", "list"}, 0, "P99;Percentil 99;99\n"},
      {{"import-cdc", "--ref", "06", "--percentiles", "15,99"}, 0, "Importado"},
      {{"percentile", "remove", "--code", "P99"}, 1, "O percentil 'P99' não pode ser excluído"},
      {{"reference", "remove", "--code", "04"}, 0, "Referência 04 excluída"},
  };
  for (const Step& s : steps) {
    const AdminRun r = Admin(s.args + QStringList{"--db", db});
    EXPECT_EQ(r.exitCode, s.exitCode) << s.args.join(' ').toStdString() << "\n"
                                      << r.err.toStdString();
    EXPECT_TRUE((s.exitCode == 0 ? r.out : r.err).contains(QString::fromUtf8(s.output)))
        << s.args.join(' ').toStdString() << "\n"
        << r.out.toStdString() << r.err.toStdString();
  }
  auto conn = srv::OpenDb(db);
  // The import took P99 for the value 99 and the sample's 015 for 15; no "099".
  std::vector<std::string> percs;
  conn->run("SELECT DISTINCT CDPERCENTIL FROM PESALTIDADE WHERE CDREFEBIBL = '06' ORDER BY 1", {},
            [&](const srv::SqlRow& r) { percs.emplace_back(r.text(0)); });
  EXPECT_EQ(percs, (std::vector<std::string>{"015", "P99"}));
  EXPECT_EQ(srv::QueryInt(*conn,
                          "SELECT COUNT(*) FROM AUDITORIA WHERE NMUSUARIO = 'tabrelpeso-admin' AND "
                          "NMTABELA IN ('REFEBIBL', 'PERCENTIL')",
                          {}, 0),
            4);
}

INSTANTIATE_TEST_SUITE_P(Engines, MasterTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return EngineName(info.param); });

}  // namespace
