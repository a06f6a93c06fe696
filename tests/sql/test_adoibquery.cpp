// The local read-only query on real SQLite and PostgreSQL connections.

#include "framework/data/errors.h"
#include "framework/sql/adoibquery.h"
#include "framework/sql/localdb.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using fw::SqlDialect;

// Driver plugins are loaded through the application object.
class QtApp : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "sql_adoibquery";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};
const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

// The reference search query's texts as the maintenance screen gives them.
const QStringList kRefeDefault{"SELECT",
                               "   CDREFEBIBL,",
                               "   NMREFEBIBL",
                               "FROM",
                               "   REFEBIBL",
                               "WHERE",
                               "   CDREFEBIBL = NVL(:P_CDREFERENCIA,CDREFEBIBL)",
                               "ORDER BY",
                               "   CDREFEBIBL"};
const QStringList kRefeSqlServer{"SELECT",
                                 "   CDREFEBIBL,",
                                 "   NMREFEBIBL",
                                 "FROM",
                                 "   REFEBIBL",
                                 "WHERE",
                                 "   CDREFEBIBL = ISNULL(:P_CDREFERENCIA,CDREFEBIBL)",
                                 "ORDER BY",
                                 "   CDREFEBIBL"};
const QStringList kRefeInterBase{"SELECT",        "   CDREFEBIBL,",
                                 "   NMREFEBIBL", "FROM",
                                 "   REFEBIBL,",  "   PARAM(:P_CDREFERENCIA) P1",
                                 "WHERE",         "   CDREFEBIBL = NVLSTR(P1.PARAM,CDREFEBIBL)",
                                 "ORDER BY",      "   CDREFEBIBL"};
// The copy dialog's percentile query: its condition line ends in six blanks
// and the text in an empty line.
const QStringList kPercDefault{"SELECT",
                               "   CDPERCENTIL,",
                               "   NMPERCENTIL",
                               "FROM",
                               "   PERCENTIL",
                               "WHERE",
                               "   CDPERCENTIL = NVL(:P_CDPERC,CDPERCENTIL)      ",
                               ""};

struct DialectCase {
  const char* driver;
  QSqlDriver::DbmsType dbms;
  const char* database;
  SqlDialect expected;
};

TEST(SqlDialectChoice, FollowsTheDriver) {
  const DialectCase cases[] = {
      {"QOCI", QSqlDriver::UnknownDbms, "", SqlDialect::Oracle},
      {"QOCI8", QSqlDriver::UnknownDbms, "", SqlDialect::Oracle},
      {"QODBC", QSqlDriver::Oracle, "", SqlDialect::Oracle},
      {"QTDS", QSqlDriver::UnknownDbms, "", SqlDialect::SqlServer},
      {"QODBC", QSqlDriver::MSSqlServer, "", SqlDialect::SqlServer},
      {"QODBC", QSqlDriver::UnknownDbms, "DRIVER={SQL Server};SERVER=hosp1", SqlDialect::SqlServer},
      {"QODBC", QSqlDriver::UnknownDbms, "DSN=planilhas", SqlDialect::Default},
      {"QIBASE", QSqlDriver::UnknownDbms, "", SqlDialect::InterBase},
      {"QIBASE", QSqlDriver::Interbase, "", SqlDialect::InterBase},
      {"QSQLITE", QSqlDriver::SQLite, "", SqlDialect::Default},
      {"QPSQL", QSqlDriver::PostgreSQL, "", SqlDialect::Default},
      {"QMYSQL", QSqlDriver::MySqlServer, "", SqlDialect::Default},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fw::DialectForDriver(c.driver, c.dbms, c.database), c.expected)
        << c.driver << " " << c.database;
  }
}

TEST(SqlParameterNames, SkipsQuotesCommentsAndCasts) {
  const struct {
    const char* sql;
    QStringList names;
  } cases[] = {
      {"SELECT * FROM T WHERE A = NVL(:P_A, A)", {"P_A"}},
      {"SELECT :P_A, :P_B, :P_A", {"P_A", "P_B"}},
      {"SELECT ':NAO' FROM T WHERE A = :SIM", {"SIM"}},
      {"SELECT x::text -- :COMENTARIO\n FROM T WHERE B = :P1", {"P1"}},
      {"SELECT /* :BLOCO */ 1 FROM \"T:X\" WHERE C = :P_C", {"P_C"}},
      {"SELECT 1", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(fw::ParameterNames(c.sql), c.names) << c.sql;
}

// One real database per backend; the tables live in a scratch place so that
// other suites on the same PostgreSQL database are not disturbed.
class LocalQuery : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const QString backend = GetParam();
    connection_ = QStringLiteral("test_%1").arg(backend);
    if (backend == "sqlite") {
      ASSERT_TRUE(dir_.isValid());
      db_ = fw::OpenLocalDatabase(dir_.filePath("local.db"), connection_);
    } else {
      const QString url = qEnvironmentVariable("TRP_TEST_PG_URL");
      if (url.isEmpty()) GTEST_SKIP() << "TRP_TEST_PG_URL is not set";
      db_ = fw::OpenLocalDatabase(url, connection_);
      schema_ = QStringLiteral("trp_sqltest_%1").arg(QCoreApplication::applicationPid());
      Exec("SET client_min_messages TO warning");
      Exec("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
      Exec("CREATE SCHEMA " + schema_);
      Exec("SET search_path TO " + schema_);
      // The same NVL the application server's migrations give PostgreSQL.
      Exec(
          "CREATE FUNCTION NVL(TEXT, TEXT) RETURNS TEXT "
          "AS 'SELECT COALESCE($1, $2)' LANGUAGE SQL IMMUTABLE");
    }
    Exec(
        "CREATE TABLE REFEBIBL (CDREFEBIBL VARCHAR(2) NOT NULL PRIMARY KEY, "
        "NMREFEBIBL VARCHAR(60))");
    Exec(
        "CREATE TABLE PERCENTIL (CDPERCENTIL VARCHAR(3) NOT NULL PRIMARY KEY, "
        "NMPERCENTIL VARCHAR(30))");
    Exec(
        "INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('02', 'NCHS 1977'), ('01', 'CDC 2000'), "
        "('03', 'OMS 2006')");
    Exec(
        "INSERT INTO PERCENTIL VALUES ('050', 'Percentil 50'), ('005', 'Percentil 5'), "
        "('095', NULL)");
  }

  void TearDown() override {
    if (!schema_.isEmpty()) Exec("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    db_ = QSqlDatabase();
    fw::CloseLocalDatabase(connection_);
  }

  void Exec(const QString& sql) {
    QSqlQuery q(db_);
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
  }

  std::unique_ptr<fw::TADOIBQuery> RefeQuery() {
    auto query = std::make_unique<fw::TADOIBQuery>("qryPesqRefe");
    query->SetConnectionName(connection_);
    query->SetSql(SqlDialect::Default, kRefeDefault);
    query->SetSql(SqlDialect::Oracle, kRefeDefault);
    query->SetSql(SqlDialect::SqlServer, kRefeSqlServer);
    query->SetSql(SqlDialect::InterBase, kRefeInterBase);
    return query;
  }

  static QStringList Column(fw::Dataset* ds, const char* field) {
    QStringList values;
    const int index = ds->FieldByName(QString::fromLatin1(field))->Index();
    for (int row = 0; row < ds->RecordCount(); ++row) values << ds->ValueAt(row, index).toString();
    return values;
  }

  QTemporaryDir dir_;
  QString connection_;
  QString schema_;
  QSqlDatabase db_;
};

TEST_P(LocalQuery, RealConnectionUsesTheDefaultText) {
  fw::TADOIBQuery query("qryDialeto");
  query.SetConnectionName(connection_);
  query.SetSqlTexts("SELECT 'padrao' AS QUAL", "SELECT 'oracle' AS QUAL",
                    "SELECT 'sqlserver' AS QUAL", "SELECT 'interbase' AS QUAL");
  EXPECT_EQ(query.CurrentDialect(), SqlDialect::Default);
  query.Open();
  EXPECT_EQ(Column(query.DataSet(), "QUAL"), QStringList{"padrao"});
}

TEST_P(LocalQuery, NullParameterReturnsEveryRowAndAValueOne) {
  auto query = RefeQuery();
  query->ParamByName(u"P_CDREFERENCIA")->Clear();
  query->Open();
  EXPECT_TRUE(query->Active());
  EXPECT_FALSE(query->IsEmpty());
  EXPECT_EQ(Column(query->DataSet(), "CDREFEBIBL"), (QStringList{"01", "02", "03"}));

  query->Close();
  query->ParamByName(u":P_CDREFERENCIA")->SetAsString("02");
  query->Open();
  EXPECT_EQ(Column(query->DataSet(), "CDREFEBIBL"), QStringList{"02"});
  EXPECT_EQ(query->DataSet()->FieldByName(u"NMREFEBIBL")->AsString(), "NCHS 1977");

  query->ParamByName(u"P_CDREFERENCIA")->SetAsString("99");
  query->Open();  // an open query runs again
  EXPECT_TRUE(query->Active());
  EXPECT_TRUE(query->IsEmpty());
}

TEST_P(LocalQuery, TextWithTrailingBlanksAndEmptyLineRuns) {
  fw::TADOIBQuery query("qryPercentil");
  query.SetConnectionName(connection_);
  query.SetSql(SqlDialect::Default, kPercDefault);
  EXPECT_EQ(query.ParamNames(), QStringList{"P_CDPERC"});
  query.ParamByName(u"P_CDPERC")->Clear();
  query.Open();
  EXPECT_EQ(query.DataSet()->RecordCount(), 3);
  query.ParamByName(u"P_CDPERC")->SetAsString("095");
  query.Open();
  ASSERT_EQ(query.DataSet()->RecordCount(), 1);
  EXPECT_TRUE(query.DataSet()->FieldByName(u"NMPERCENTIL")->IsNull());
}

TEST_P(LocalQuery, DeclaredFieldsKeepTheirDefinitionAndAreReadOnly) {
  auto query = RefeQuery();
  fw::Field* code = query->AddField({"CDREFEBIBL", fw::FieldType::String, 2});
  code->SetDisplayLabel(QStringLiteral("Código"));
  query->AddField({"NMREFEBIBL", fw::FieldType::String, 60});
  query->ParamByName(u"P_CDREFERENCIA")->Clear();
  query->Open();

  fw::Dataset* ds = query->DataSet();
  EXPECT_EQ(ds->FieldCount(), 2);
  EXPECT_EQ(ds->FieldByName(u"CDREFEBIBL"), code);
  EXPECT_EQ(code->DisplayLabel(), QStringLiteral("Código"));
  EXPECT_EQ(code->objectName(), "qryPesqRefeCDREFEBIBL");
  EXPECT_TRUE(code->ReadOnly());
  EXPECT_EQ(Column(ds, "NMREFEBIBL"), (QStringList{"CDC 2000", "NCHS 1977", "OMS 2006"}));
  EXPECT_THROW(query->AddField({"OUTRO", fw::FieldType::String, 1}), fw::Error);
}

TEST_P(LocalQuery, UndeclaredFieldsFollowTheColumnsInUpperCase) {
  fw::TADOIBQuery query("qryTipos");
  query.SetConnectionName(connection_);
  query.SetSql(SqlDialect::Default,
               "SELECT CDREFEBIBL, CAST(1.5 AS REAL) AS VRVALOR FROM REFEBIBL ORDER BY CDREFEBIBL");
  query.Open();
  fw::Dataset* ds = query.DataSet();
  ASSERT_NE(ds->FindField(u"CDREFEBIBL"), nullptr);
  ASSERT_NE(ds->FindField(u"VRVALOR"), nullptr);
  EXPECT_EQ(ds->FieldByName(u"VRVALOR")->DataType(), fw::FieldType::Float);
  EXPECT_DOUBLE_EQ(ds->FieldByName(u"VRVALOR")->AsFloat(), 1.5);
}

TEST_P(LocalQuery, FailuresSayWhatWentWrongAndLeaveTheQueryClosed) {
  auto query = RefeQuery();
  try {
    query->ParamByName(u"P_INEXISTENTE");
    ADD_FAILURE() << "no error for an unknown parameter";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains("qryPesqRefe"));
    EXPECT_TRUE(e.message().contains("P_INEXISTENTE"));
  }

  fw::TADOIBQuery broken("qryQuebrada");
  broken.SetConnectionName(connection_);
  broken.SetSql(SqlDialect::Default, "SELECT NADA FROM TABELA_QUE_NAO_EXISTE");
  try {
    broken.Open();
    ADD_FAILURE() << "no error for a bad statement";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains("qryQuebrada"));
  }
  EXPECT_FALSE(broken.Active());
  EXPECT_TRUE(broken.IsEmpty());

  fw::TADOIBQuery missing("qrySemColuna");
  missing.SetConnectionName(connection_);
  missing.SetSql(SqlDialect::Default, "SELECT CDREFEBIBL FROM REFEBIBL");
  missing.AddField({"NMREFEBIBL", fw::FieldType::String, 60});
  EXPECT_THROW(missing.Open(), fw::Error);
  EXPECT_FALSE(missing.Active());

  fw::TADOIBQuery noText("qrySemTexto");
  noText.SetConnectionName(connection_);
  noText.SetSql(SqlDialect::Oracle, "SELECT 1 FROM DUAL");
  EXPECT_THROW(noText.Open(), fw::Error);
}

INSTANTIATE_TEST_SUITE_P(Backends, LocalQuery, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return std::string(info.param); });

TEST(LocalDatabase, RefusesWhatCannotBeOpened) {
  fw::TADOIBQuery query("qrySemConexao");
  query.SetConnectionName("conexao_inexistente");
  query.SetSql(SqlDialect::Default, "SELECT 1");
  EXPECT_THROW(query.Open(), fw::Error);

  EXPECT_THROW(fw::OpenLocalDatabase("/nao/existe/pasta/local.db", "bad1"), fw::Error);
  EXPECT_THROW(fw::OpenLocalDatabase("postgresql://", "bad2"), fw::Error);
  EXPECT_THROW(fw::OpenLocalDatabase("  ", "bad3"), fw::Error);
  try {
    fw::OpenLocalDatabase("postgresql://ninguem@127.0.0.1:1/nada", "bad4");
    ADD_FAILURE() << "no error for an unreachable PostgreSQL";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains("127.0.0.1:1")) << e.message().toStdString();
  }
  EXPECT_FALSE(QSqlDatabase::contains("bad4"));
}

TEST(LocalDatabase, NvlOnSqliteKeepsTheFirstNonNull) {
  QTemporaryDir dir;
  QSqlDatabase db = fw::OpenLocalDatabase(dir.filePath("nvl.db"), "nvl");
  QSqlQuery q(db);
  ASSERT_TRUE(q.exec("SELECT NVL(NULL, 'b'), NVL('a', 'b'), NVL(NULL, NULL), NVL(0, 7)"));
  ASSERT_TRUE(q.next());
  EXPECT_EQ(q.value(0).toString(), "b");
  EXPECT_EQ(q.value(1).toString(), "a");
  EXPECT_TRUE(q.value(2).isNull());
  EXPECT_EQ(q.value(3).toInt(), 0);
  EXPECT_EQ(fw::DescribeDatabase(db), "SQLite " + dir.filePath("nvl.db"));
  q = QSqlQuery();
  db = QSqlDatabase();
  fw::CloseLocalDatabase("nvl");
  EXPECT_FALSE(QSqlDatabase::contains("nvl"));
}

}  // namespace
