// The history methods through a real HTTP client against a real in-process
// server, on SQLite and on PostgreSQL: GetHistorico's filters and pages, and
// RestauraExclusao putting deletions back or refusing to overwrite.

#include "support.h"

#include "server/audit_log.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <map>

using namespace srvtest;

namespace {

class HistoryTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
    server_ = std::make_unique<srv::AppServer>(Options(db_));
    port_ = server_->Start();
    client_ = std::make_unique<Client>(port_, kMaintainer);
  }
  void TearDown() override {
    client_.reset();
    server_.reset();
  }
  QJsonValue Ok(const QString& method, const QJsonArray& params) {
    const Response r = client_->Call(method, params);
    EXPECT_TRUE(r.ok()) << method.toStdString() << ": " << r.error().toStdString();
    return r.result();
  }
  // [table, ref, perc, key, user, since, until, before, limit]
  QJsonArray History(const QJsonArray& params) { return Ok("GetHistorico", params).toArray(); }
  // The height row of (ref, perc) at `height` as stored now.
  QJsonArray HeightRow(const QString& ref, const QString& perc, const QString& height) {
    return Rows(Ok("GetValidaAltura", {ref, perc, height})).at(0).toArray();
  }
  // The stored rows of the three tables only.
  std::string Tables() {
    const std::string dump = Dump(db_);
    return dump.substr(0, dump.rfind("-- audit"));
  }
  qint64 FirstDeletion(const QString& table, const QString& ref, const QString& perc) {
    const QJsonArray page = History({table, ref, perc, "", "", "", "", 0, 1000});
    for (const QJsonValue& row : Rows(page.at(0)))
      if (row.toArray().at(3).toString() == "E") return row.toArray().at(0).toInteger();
    ADD_FAILURE() << "no deletion in the history";
    return 0;
  }

  QString db_;
  std::unique_ptr<srv::AppServer> server_;
  int port_ = 0;
  std::unique_ptr<Client> client_;
};

TEST_P(HistoryTest, TwoEditsShowNewestFirstByTheirUsersAndPage) {
  const QJsonArray first = HeightRow("01", "050", "80.5");
  ASSERT_EQ(first.size(), 5);
  QJsonArray second = first;
  second[1] = first.at(1).toDouble() + 0.25;
  Ok("SetPesAlt", {Delta("PESOALTU", {Update(first, second)})});
  QJsonArray third = second;
  third[4] = second.at(4).toDouble() + 0.5;
  Ok("SetPesAlt", {Delta("PESOALTU", {Update(second, third)})});

  const QJsonArray all = History({"height", "01", "050", "80.5", "", "", "", 0, 10});
  const QJsonArray rows = Rows(all.at(0));
  ASSERT_EQ(rows.size(), 2);
  EXPECT_TRUE(all.at(1).toBool());
  EXPECT_TRUE(all.at(2).isNull());
  struct Expect {
    const char* changedColumn;
    double before, after;
  };
  const Expect expected[] = {{"VRPESOMASALT", second.at(4).toDouble(), third.at(4).toDouble()},
                             {"VRPESOFEMALT", first.at(1).toDouble(), second.at(1).toDouble()}};
  for (int i = 0; i < 2; ++i) {
    const QJsonArray r = rows.at(i).toArray();
    EXPECT_EQ(r.at(2).toString(), "maria");
    EXPECT_EQ(r.at(3).toString(), "A");
    EXPECT_EQ(r.at(4).toString(), "SetPesAlt");
    EXPECT_EQ(r.at(8).toString(), "80.5");
    const QJsonObject before = QJsonDocument::fromJson(r.at(9).toString().toUtf8()).object();
    const QJsonObject after = QJsonDocument::fromJson(r.at(10).toString().toUtf8()).object();
    EXPECT_EQ(before.value(expected[i].changedColumn).toDouble(), expected[i].before);
    EXPECT_EQ(after.value(expected[i].changedColumn).toDouble(), expected[i].after);
  }
  EXPECT_GT(rows.at(0).toArray().at(0).toInteger(), rows.at(1).toArray().at(0).toInteger());

  // A page of one, then the next from its cursor.
  const QJsonArray page1 = History({"height", "01", "050", "80.5", "maria", "", "", 0, 1});
  ASSERT_EQ(Rows(page1.at(0)).size(), 1);
  ASSERT_FALSE(page1.at(2).isNull());
  const QJsonArray page2 =
      History({"height", "01", "050", "80.5", "maria", "", "", page1.at(2).toInteger(), 1});
  ASSERT_EQ(Rows(page2.at(0)).size(), 1);
  EXPECT_EQ(Rows(page2.at(0)).at(0), rows.at(1));
  EXPECT_TRUE(page2.at(2).isNull());

  // Filters that exclude both edits.
  for (const QJsonArray& params :
       {QJsonArray{"height", "01", "050", "80.5", "joao", "", "", 0, 10},
        QJsonArray{"age", "01", "050", "80.5", "", "", "", 0, 10},
        QJsonArray{"height", "01", "050", "81", "", "", "", 0, 10},
        QJsonArray{"height", "01", "050", "80.5", "", "2999-01-01", "", 0, 10},
        QJsonArray{"height", "01", "050", "80.5", "", "", "01/01/2000", 0, 10}})
    EXPECT_TRUE(Rows(History(params).at(0)).isEmpty())
        << QJsonDocument(params).toJson().constData();
}

TEST_P(HistoryTest, AWholeReferenceDeletedIsRestoredExactlyAsOneAuditedChange) {
  const std::string before = Tables();
  // As the screen does: one group id for the three calls.
  for (const char* method : {"DeletaIdade", "DeletaAltura", "DeletaAlturaNCHS"})
    Ok(method, {"01", "050", "T", "5f0c2b1e-0000-4000-8000-000000000001"});
  ASSERT_NE(Tables(), before);
  const qint64 deletion = FirstDeletion("height", "01", "010");
  Ok("RestauraExclusao", {deletion, "R"});
  EXPECT_EQ(Tables(), before);

  // The restore is maria's, by the restore method, one call for every row.
  auto db = srv::OpenDb(db_);
  const auto restored = srv::QueryInt(
      *db,
      "SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'RestauraExclusao' AND NMUSUARIO = "
      "'maria' AND CDREFEBIBL = '01' AND DSANTERIOR IS NULL",
      {}, 0);
  const auto deleted = srv::QueryInt(
      *db, "SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO LIKE 'Deleta%' AND CDREFEBIBL = '01'", {},
      0);
  EXPECT_GT(deleted, 0);
  EXPECT_EQ(restored, deleted);
  EXPECT_EQ(srv::QueryInt(*db,
                          "SELECT COUNT(DISTINCT NRLOTE) FROM AUDITORIA WHERE NMMETODO = "
                          "'RestauraExclusao'",
                          {}, 0),
            1);
}

TEST_P(HistoryTest, ScopesRestoreTheRowThePercentileOrRefuseAnExistingKey) {
  const std::string before = Tables();
  Ok("DeletaAltura", {"01", "050", ""});
  Ok("DeletaIdade", {"01", "050", ""});
  const qint64 heightDeletion = FirstDeletion("height", "01", "050");

  // A row of the deletion re-created meanwhile: refused, nothing written.
  const QJsonArray recreated{80.5, 10.5, "050", "01", 11.5};
  Ok("SetPesAlt", {Delta("PESOALTU", {Insert(recreated)})});
  const std::string withRow = Dump(db_);
  const Response refused = client_->Call("RestauraExclusao", {heightDeletion, "P"});
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(refused.error().contains("mesma chave já existe")) << refused.error().toStdString();
  EXPECT_TRUE(refused.error().contains("chave 80.5")) << refused.error().toStdString();
  EXPECT_EQ(Dump(db_), withRow);

  // Without it, the percentile of the height table comes back; the age
  // table's deletion stays, a row of it comes back alone.
  Ok("SetPesAlt", {Delta("PESOALTU", {Remove(recreated)})});
  Ok("RestauraExclusao", {heightDeletion, "P"});
  EXPECT_EQ(Rows(Ok("GetValidaAltura", {"01", "050", "80.5"})).size(), 1);
  EXPECT_TRUE(Rows(Ok("GetValidaIdade", {"01", "050", 2, 0})).isEmpty());
  Ok("RestauraExclusao", {FirstDeletion("age", "01", "050"), "L"});
  auto db = srv::OpenDb(db_);
  EXPECT_EQ(srv::QueryInt(*db,
                          "SELECT COUNT(*) FROM PESALTIDADE WHERE CDREFEBIBL = '01' AND "
                          "CDPERCENTIL = '050'",
                          {}, 0),
            1);
  // Restoring the same deletion again would overwrite: refused.
  EXPECT_FALSE(client_->Call("RestauraExclusao", {heightDeletion, "P"}).ok());
  (void)before;
}

TEST_P(HistoryTest, ReadersReadTheHistoryButCannotRestore) {
  Ok("DeletaAltura", {"01", "050", ""});
  const qint64 deletion = FirstDeletion("height", "01", "050");
  Client reader(port_, kReader);
  const Response page = reader.Call("GetHistorico", {"", "01", "", "", "", "", "", 0, 5});
  ASSERT_TRUE(page.ok()) << page.error().toStdString();
  EXPECT_FALSE(page.result().toArray().at(1).toBool());
  EXPECT_EQ(Rows(page.result().toArray().at(0)).size(), 5);
  const std::string before = Dump(db_);
  const Response restore = reader.Call("RestauraExclusao", {deletion, "P"});
  EXPECT_EQ(restore.body.value("error").toObject().value("code").toInt(), -32003);
  EXPECT_EQ(Dump(db_), before);
}

TEST_P(HistoryTest, BadRequestsAreRefusedClearly) {
  const std::string before = Dump(db_);
  struct Case {
    const char* method;
    QJsonArray params;
    const char* says;
  };
  const Case cases[] = {
      {"GetHistorico", {"weight", "", "", "", "", "", "", 0, 10}, "Tabela desconhecida"},
      {"GetHistorico", {"", "", "", "", "", "31/02/2026", "", 0, 10}, "Data inválida"},
      {"GetHistorico", {"", "", "", "", "", "", "", 0, 0}, "de 1 a 1000"},
      {"GetHistorico", {"", "", "", "", "", "", "", 1.5, 10}, "número inteiro"},
      {"GetHistorico", {"", "001", "", "", "", "", "", 0, 10}, ""},
      {"GetHistorico", {"", ""}, "espera 9"},
      {"RestauraExclusao", {999999999, "R"}, "não existe"},
      {"RestauraExclusao", {1, "X"}, "Abrangência inválida"},
  };
  for (const Case& c : cases) {
    const Response r = client_->Call(c.method, c.params);
    EXPECT_FALSE(r.ok()) << c.method << " " << QJsonDocument(c.params).toJson().constData();
    EXPECT_TRUE(r.error().contains(QString::fromUtf8(c.says))) << r.error().toStdString();
  }
  // An insert is no deletion.
  const QJsonArray row = HeightRow("01", "050", "80.5");
  QJsonArray changed = row;
  changed[1] = row.at(1).toDouble() + 1;
  Ok("SetPesAlt", {Delta("PESOALTU", {Update(row, changed)})});
  const qint64 change = Rows(History({"height", "01", "050", "80.5", "", "", "", 0, 1}).at(0))
                            .at(0)
                            .toArray()
                            .at(0)
                            .toInteger();
  const Response notDeletion = client_->Call("RestauraExclusao", {change, "L"});
  EXPECT_TRUE(notDeletion.error().contains("não é uma exclusão"))
      << notDeletion.error().toStdString();
}

TEST_P(HistoryTest, OlderAuditRowsAreFilledAsTheWritersFillThem) {
  Ok("DeletaAltura", {"01", "050", ""});
  const QJsonArray row = HeightRow("01", "010", "80.5");
  QJsonArray changed = row;
  changed[1] = row.at(1).toDouble() + 1;
  Ok("SetPesAlt", {Delta("PESOALTU", {Update(row, changed)})});
  auto db = srv::OpenDb(db_);
  const std::string columns =
      // The L, M and S an import keeps came after these columns: no older
      // audit row is of theirs.
      "SELECT NRAUDITORIA, CDREFEBIBL, CDPERCENTIL, DSCHAVE, NRLOTE FROM AUDITORIA "
      "WHERE NMTABELA <> 'LMSREFERENCIA' ORDER BY NRAUDITORIA";
  auto read = [&] {
    std::vector<std::string> out;
    std::map<std::string, std::string> calls;  // a call's number as its first row's
    db->run(columns, {}, [&](const srv::SqlRow& r) {
      std::string line;
      for (int i = 1; i < 4; ++i) line += (r.isNull(i) ? "-" : std::string(r.text(i))) + "|";
      const std::string call(r.text(4));
      calls.emplace(call, std::string(r.text(0)));
      out.push_back(line + calls[call]);
    });
    return out;
  };
  const std::vector<std::string> written = read();
  db->run(
      "UPDATE AUDITORIA SET CDREFEBIBL = NULL, CDPERCENTIL = NULL, DSCHAVE = NULL, NRLOTE = "
      "NULL",
      {});
  srv::BackfillAudit(*db);
  EXPECT_EQ(read(), written);
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

}  // namespace
