// What the server keeps is neither lost, doubled nor restored beyond what was
// asked, through the real server on SQLite and PostgreSQL: L, M and S keep
// their reference, one value per percentile under racing writers (two server
// instances over one database), a reference's deletion restored as the group
// of calls it was, odd characters in codes, whole master tables.

#include "support.h"

#include "server/schema.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <latch>
#include <thread>

using namespace srvtest;

namespace {

class IntegrityTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
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
  QJsonArray Entry(const char* method, const QString& code) {
    for (const QJsonValue& row : Rows(Ok(method)))
      if (row.toArray().at(0).toString() == code) return row.toArray();
    return {};
  }
  // The newest deletion of the call of `method` on `ref`.
  qint64 Deletion(const QString& table, const QString& ref, const QString& perc = {}) {
    const QJsonArray page = Ok("GetHistorico", {table, ref, perc, "", "", "", "", 0, 1000}).toArray();
    for (const QJsonValue& row : Rows(page.at(0)))
      if (row.toArray().at(3).toString() == "E") return row.toArray().at(0).toInteger();
    ADD_FAILURE() << "no deletion of " << ref.toStdString();
    return 0;
  }
  std::string Tables() {
    const std::string dump = Dump(db_);
    return dump.substr(0, dump.rfind("-- audit"));
  }

  QString db_;
  std::unique_ptr<srv::AppServer> server_;
  std::unique_ptr<Client> client_;
};

const char* const kTables[] = {"DeletaIdade", "DeletaAltura", "DeletaAlturaNCHS"};

// 01 keeps rows and L, M and S (CDC); 02 (WHO) too, both removed as the screen would.
TEST_P(IntegrityTest, AReferenceKeepingLmsStaysAndAssessesAsBefore) {
  for (const char* ref : {"01", "02"}) {
    const QJsonArray child{"F", 1522, QJsonValue(), QJsonValue(), 17, 103, "P", QJsonValue(), ref};
    const QJsonValue before = Ok("AvaliaMedida", child);
    ASSERT_FALSE(Rows(before).isEmpty());
    const QJsonArray entry = Entry("GetCadReferencia", ref);
    // As the maintenance screen removes a reference: its rows, then the entry.
    for (const char* method : kTables) Ok(method, {ref, "", "T"});
    const Response removed = client_->Call("ExcluiReferencia", {QJsonValue(entry)});
    EXPECT_FALSE(removed.ok()) << ref;
    EXPECT_TRUE(removed.error().contains("ponto(s) de L, M e S")) << removed.error().toStdString();
    if (removed.ok()) Ok("IncluiReferencia", entry);  // as the probe re-created it
    for (const char* table : {"age", "height", "nchs"}) {
      const QJsonArray page = Ok("GetHistorico", {table, ref, "", "", "", "", "", 0, 1}).toArray();
      const QJsonArray newest = Rows(page.at(0)).at(0).toArray();
      if (newest.at(3).toString() == "E") Ok("RestauraExclusao", {newest.at(0), "P"});
    }
    EXPECT_EQ(Ok("AvaliaMedida", child), before) << ref;
  }
  // The admin tool keeps the same rule.
  const ToolRun admin =
      RunTool(QStringLiteral(TRP_ADMIN_EXE), {"reference", "remove", "--db", db_, "--code", "02"});
  EXPECT_EQ(admin.exitCode, 1) << admin.err.toStdString();
  EXPECT_TRUE(admin.err.contains("L, M e S")) << admin.err.toStdString();
}

TEST_P(IntegrityTest, TwoWritersRacingForOneValueNeverBothWin) {
  // A second instance over the same database, as behind a balancer.
  srv::AppServer other(Options(db_));
  Client second(other.Start(), kMaintainer);
  Client* clients[] = {client_.get(), &second};
  for (int round = 0; round < 20; ++round) {
    const double value = 40.25 + round;
    for (const bool include : {true, false}) {
      const QString codes[] = {QStringLiteral("%1A%2").arg(include ? "I" : "E").arg(round % 10),
                               QStringLiteral("%1B%2").arg(include ? "I" : "E").arg(round % 10)};
      if (!include)
        for (const QString& code : codes) Ok("IncluiPercentil", {code, "Livre", QJsonValue()});
      Response answers[2];
      std::latch start(2);
      std::vector<std::thread> threads;
      for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
          const QString& code = codes[i];
          start.arrive_and_wait();
          answers[i] = include ? clients[i]->Call("IncluiPercentil", {code, "Corrida", value})
                               : clients[i]->Call("AlteraPercentil",
                                                  {QJsonArray{code, "Livre", QJsonValue()},
                                                   QJsonArray{code, "Corrida", value}});
        });
      for (std::thread& t : threads) t.join();
      EXPECT_NE(answers[0].ok(), answers[1].ok()) << "round " << round << (include ? " Inclui" : " Altera");
      const Response& lost = answers[0].ok() ? answers[1] : answers[0];
      EXPECT_TRUE(lost.error().contains("já pertence ao percentil")) << lost.error().toStdString();
      int holders = 0;
      for (const QJsonValue& row : Rows(Ok("GetCadPercentil")))
        holders += row.toArray().at(2).toDouble() == value ? 1 : 0;
      EXPECT_EQ(holders, 1);
      // Free the codes and the value for the next round.
      for (const QString& code : codes) {
        const QJsonArray stored = Entry("GetCadPercentil", code);
        if (!stored.isEmpty()) Ok("ExcluiPercentil", {QJsonValue(stored)});
      }
    }
  }
}

TEST_P(IntegrityTest, ARestoreBringsBackTheDeletionItWasAndNoSeparateOne) {
  struct Case {
    const char* name;
    const char* separateRef;
    bool separateFirst;
  };
  const Case cases[] = {{"a percentile of the same reference deleted just before", "01", true},
                        {"a percentile of another reference deleted after", "02", false}};
  int group = 0;
  for (const Case& c : cases) {
    const std::string original = Tables();
    auto separate = [&] { Ok("DeletaAltura", {c.separateRef, "050", ""}); };
    if (c.separateFirst) separate();
    const std::string beforeReference = Tables();
    ++group;
    for (const char* method : kTables) Ok(method, {"01", "", "T", QStringLiteral("grupo-%1").arg(group)});
    if (!c.separateFirst) separate();
    const std::string afterAll = Tables();
    const qint64 separateDeletion = Deletion("height", c.separateRef, "050");

    Ok("RestauraExclusao", {Deletion("age", "01"), "R"});
    const std::string restored = Tables();
    if (c.separateFirst) {
      EXPECT_EQ(restored, beforeReference) << c.name;
    }
    EXPECT_NE(restored, afterAll) << c.name;
    EXPECT_TRUE(Rows(Ok("GetValidaAltura", {c.separateRef, "050", "80.5"})).isEmpty()) << c.name;
    EXPECT_FALSE(Rows(Ok("GetValidaAltura", {"01", "010", "80.5"})).isEmpty()) << c.name;
    // The separate deletion comes back on its own.
    Ok("RestauraExclusao", {separateDeletion, "P"});
    EXPECT_EQ(Tables(), original) << c.name;
  }
}

TEST_P(IntegrityTest, CodesThatPassForOthersAreRefusedByPosition) {
  const std::string before = Dump(db_);
  struct Case {
    const char* method;
    QJsonArray params;
    const char* says;
  };
  const Case cases[] = {
      {"IncluiReferencia", {"0\u200B", "Zero-width", "", "", ""}, "invisível ou de formatação (U+200B) na posição 2"},
      {"IncluiReferencia", {"\u202E7", "Bidi", "", "", ""}, "(U+202E) na posição 1"},
      {"IncluiReferencia", {"\u04101", "Cirílico", "", "", ""}, "se confunde com letras ou algarismos comuns (U+0410) na posição 1"},
      {"IncluiReferencia", {"\u0391", "Grego", "", "", ""}, "(U+0391) na posição 1"},
      {"IncluiPercentil", {"\uFF10\uFF15", "Largura total", 5.5}, "(U+FF10) na posição 1"},
      {"IncluiPercentil", {"5\u00A0", "Espaço fixo", 5.5}, "(U+00A0) na posição 2"},
      {"IncluiPercentil", {"1\u0661", "Arábico", 5.5}, "(U+0661) na posição 2"},
      {"IncluiPercentil", {"\u00AA1", "Ordinal", 5.5}, "(U+00AA) na posição 1"},
      {"IncluiPercentil", {"7\u0007", "Controle", 5.5}, "de controle (U+0007) na posição 2"},
      {"IncluiPercentil", {QString(QChar(0xD800)) + "1", "Metade de um par", 5.5}, "caractere inválido (U+FFFD) na posição 1"},
      {"SetPesAlt", {Delta("PESOALTU", {Insert(QJsonArray{80.5, 10.5, "05\u200D", "01", 11.5})})},
       "(U+200D) na posição 3"},
      // A name's length in characters: 61 letters of two UTF-16 units each.
      {"IncluiReferencia", {"09", QString(61, QChar(u'a')).replace(u'a', QStringLiteral("\U0001D465")), "", "", ""},
       "tem 61 caracteres"},
      // A NUL in a history filter: the same refusal on both engines.
      {"GetHistorico", {"", "", "", QString::fromUtf8("8\0", 2), "", "", "", 0, 10}, "filtro chave contém um caractere de controle (U+0000) na posição 2"},
      {"GetHistorico", {"", "", "", "", QString::fromUtf8("ma\0ria", 6), "", "", 0, 10}, "filtro usuário contém um caractere de controle (U+0000) na posição 3"},
      {"DeletaIdade", {"01", "", "T", "não é um grupo"}, "Grupo de exclusão inválido"},
  };
  for (const Case& c : cases) {
    const Response r = client_->Call(c.method, c.params);
    EXPECT_FALSE(r.ok()) << c.says;
    EXPECT_TRUE(r.error().contains(QString::fromUtf8(c.says)))
        << c.says << " -> " << r.error().toStdString();
  }
  EXPECT_EQ(Dump(db_), before);
  // Plain Latin letters stay codes; a name of 60 characters fits.
  Ok("IncluiReferencia", {"ÇÉ", QString(60, QChar(u'a')).replace(u'a', QStringLiteral("\U0001D465")), "", "", ""});
  EXPECT_EQ(Entry("GetCadReferencia", "ÇÉ").size(), 5);
}

TEST_P(IntegrityTest, GetTabelaGivesEveryColumnOfItsTables) {
  const QJsonObject percentis = Ok("GetTabela", {"PERCENTIL"}).toObject();
  QStringList names;
  for (const QJsonValue& f : percentis.value("fields").toArray())
    names << f.toObject().value("name").toString();
  EXPECT_EQ(names, QStringList({"CDPERCENTIL", "NMPERCENTIL", "VRPERCENTIL"}));
  for (const QJsonValue& row : Rows(percentis))
    if (row.toArray().at(0).toString() == "015") {
      EXPECT_EQ(row.toArray().at(2).toDouble(), 15);
    }
  const QJsonObject referencias = Ok("GetTabela", {"REFEBIBL"}).toObject();
  EXPECT_EQ(referencias.value("fields").toArray().size(), 5);
}

// A database whose percentiles already share a value is not migrated: the
// clash is named and nothing changes until it is mended; then L, M and S
// come through the rebuilt table whole.
TEST_P(IntegrityTest, TheMigrationNamesPercentilesSharingAValue) {
  server_.reset();
  auto db = srv::OpenDb(db_);
  db->script(
      "DROP INDEX PERCENTIL_VALOR;\n"
      "DROP INDEX AUDITORIA_GRUPO;\n"
      "ALTER TABLE AUDITORIA DROP COLUMN DSGRUPO;\n"
      "DELETE FROM SCHEMA_VERSION WHERE NRVERSAO >= 9;\n"
      "UPDATE PERCENTIL SET VRPERCENTIL = 15 WHERE CDPERCENTIL = '010';\n");
  const std::string before = Dump(db_);
  const auto fromWho = [&] {
    return srv::QueryInt(*db, "SELECT COUNT(*) FROM LMSREFERENCIA WHERE CDORIGEM = 'OMS'", {}, 0);
  };
  const std::int64_t who = fromWho();
  ASSERT_GT(who, 0);
  try {
    srv::Migrate(*db);
    ADD_FAILURE() << "migrated over a shared value";
  } catch (const srv::DbError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("15 nos percentis '010', '015'")) << e.what();
  }
  EXPECT_EQ(Dump(db_), before);
  db->script("UPDATE PERCENTIL SET VRPERCENTIL = 10 WHERE CDPERCENTIL = '010'");
  srv::Migrate(*db);
  EXPECT_EQ(srv::QueryInt(*db, "SELECT MAX(NRVERSAO) FROM SCHEMA_VERSION", {}, 0),
            srv::SchemaVersion());
  // L, M and S kept with their origin; no cascade takes them with their reference.
  EXPECT_EQ(fromWho(), who);
  db->script(
      "DELETE FROM PESALTIDADE WHERE CDREFEBIBL = '02';\n"
      "DELETE FROM PESOALTU WHERE CDREFEBIBL = '02';\n"
      "DELETE FROM PEALNCHS2000 WHERE CDREFEBIBL = '02';\n");
  EXPECT_THROW(db->script("DELETE FROM REFEBIBL WHERE CDREFEBIBL = '02'"), srv::DbError);
  EXPECT_EQ(fromWho(), who);
}

INSTANTIATE_TEST_SUITE_P(Engines, IntegrityTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

}  // namespace
