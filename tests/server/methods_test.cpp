// Every method of the application server through a real HTTP client against
// a real in-process server, on SQLite and on PostgreSQL, over a fresh copy of
// the sample database per test.

#include "support.h"

#include "server/schema.h"
#include "server/tables.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>

using namespace srvtest;

namespace {

// How each of the three tables is addressed: its methods and how to build a
// row and a key for it.
struct TableCase {
  const char* table;
  const char* getPerc;
  const char* valida;
  const char* set;
  const char* deleta;
  const char* percentil;
  const char* copia;
  const char* duplicate;
  // A full row for (ref, perc) at key k with values derived from v.
  std::function<QJsonArray(const QString&, const QString&, int k, double v)> row;
  // The GetValida parameters for that key.
  std::function<QJsonArray(const QString&, const QString&, int k)> validaParams;
};

QJsonArray AgeRow(const QString& ref, const QString& perc, int k, double v) {
  QJsonArray r{perc, ref, k % 12, k / 12};
  for (int i = 0; i < 18; ++i) r.append(v + i * 0.125);
  return r;
}

QJsonArray HeightRow(const QString& ref, const QString& perc, int k, double v) {
  return {40.5 + k, v, perc, ref, v + 0.5};
}

QJsonArray NchsRow(const QString& ref, const QString& perc, int k, double v) {
  return {ref, perc, 70.5 + k, v, v + 0.5, v + 1, v + 1.5, v / 10, v / 20};
}

const std::vector<TableCase>& Tables() {
  static const std::vector<TableCase> cases{
      {"PESALTIDADE", "GetPercIdade", "GetValidaIdade", "SetIdPesAlt", "DeletaIdade",
       "GetPercentilIdPesAlt", "CopiaIdPesAlt", "Período de idade já cadastrado.", AgeRow,
       [](const QString& r, const QString& p, int k) {
         return QJsonArray{r, p, k / 12, k % 12};
       }},
      {"PESOALTU", "GetPercAltura", "GetValidaAltura", "SetPesAlt", "DeletaAltura",
       "GetPercentilPesAlt", "CopiaPesAlt", "Altura já cadastrada.", HeightRow,
       [](const QString& r, const QString& p, int k) {
         return QJsonArray{r, p, QString::number(40.5 + k).replace('.', ',')};
       }},
      {"PEALNCHS2000", "GetPercAlturaNCHS", "GetValidaAlturaNCHS", "SetPesAltNCHS",
       "DeletaAlturaNCHS", "GetPercentilPesAltNCHS", "CopiaPesAltNCHS", "Altura já cadastrada.",
       NchsRow, [](const QString& r, const QString& p, int k) {
         return QJsonArray{r, p, QString::number(70.5 + k).replace('.', ',')};
       }}};
  return cases;
}

const QString kConflict = QStringLiteral(
    "Registro alterado ou excluído por outro usuário. Verifique os dados e tente novamente.");

class ServerTest : public ::testing::TestWithParam<Engine> {
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

  Response Call(const QString& method, const QJsonArray& params = {}) {
    return client_->Call(method, params);
  }
  // Calls a method that must succeed and returns its result.
  QJsonValue Ok(const QString& method, const QJsonArray& params = {}) {
    const Response r = Call(method, params);
    EXPECT_TRUE(r.ok()) << method.toStdString() << ": " << r.error().toStdString();
    return r.result();
  }
  QJsonArray ValidaRows(const TableCase& t, const QString& ref, const QString& perc, int k) {
    return Rows(Ok(t.valida, t.validaParams(ref, perc, k)));
  }

  QString db_;
  std::unique_ptr<srv::AppServer> server_;
  int port_ = 0;
  std::unique_ptr<Client> client_;
};

QStringList FieldNames(const QJsonValue& packet) {
  QStringList names;
  for (const QJsonValue& f : packet.toObject().value("fields").toArray())
    names << f.toObject().value("name").toString() + ":" + f.toObject().value("type").toString() +
                 (f.toObject().contains("size")
                      ? ":" + QString::number(f.toObject().value("size").toInt())
                      : QString());
  return names;
}

TEST_P(ServerTest, GetReferenciaListsReferencesThatHaveRows) {
  QJsonValue packet = Ok("GetReferencia");
  EXPECT_EQ(FieldNames(packet), (QStringList{"CDREFEBIBL:string:2", "NMREFEBIBL:string:60"}));
  // The sample's CDC 2000 (01) and WHO (02, 05) have rows; 03 and 04 none.
  ASSERT_EQ(Rows(packet).size(), 3);
  EXPECT_EQ(Rows(packet)[0].toArray()[0].toString(), "01");
  EXPECT_TRUE(Rows(packet)[0].toArray()[1].toString().startsWith("CDC 2000"));
  EXPECT_EQ(Rows(packet)[1].toArray()[0].toString(), "02");
  EXPECT_EQ(Rows(packet)[2].toArray()[0].toString(), "05");

  // A reference appears with its first row, in any of the three tables.
  Ok("SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("03", "050", 1, 10))})});
  packet = Ok("GetReferencia");
  ASSERT_EQ(Rows(packet).size(), 4);
  EXPECT_EQ(Rows(packet)[2].toArray()[0].toString(), "03");
}

TEST_P(ServerTest, PairsCarryThePercentileListAndEveryRowInKeyOrder) {
  const std::map<QString, QStringList> element1{
      {"GetPercIdade",
       {"CDPERCENTIL:string:3", "CDREFEBIBL:string:2", "NRIDADEFIN:float",   "NRIDADEINI:float",
        "VRPESOMASIDA:float",   "VRALTUMASIDA:float",  "VRPESOFEMIDA:float", "VRALTUFEMIDA:float",
        "VRDPPCFEMIDA:float",   "VRMDPCFEMIDA:float",  "VRPMCFFEMIDA:float", "VRDPATFEMIDA:float",
        "VRMDATFEMIDA:float",   "VRDPPSFEMIDA:float",  "VRMDPSFEMIDA:float", "VRDPPCMASIDA:float",
        "VRMDPCMASIDA:float",   "VRPMCFMASIDA:float",  "VRDPATMASIDA:float", "VRMDATMASIDA:float",
        "VRDPPSMASIDA:float",   "VRMDPSMASIDA:float"}},
      {"GetPercAltura",
       {"VRALTURA:float", "VRPESOFEMALT:float", "CDPERCENTIL:string:3", "CDREFEBIBL:string:2",
        "VRPESOMASALT:float"}},
      {"GetPercAlturaNCHS",
       {"CDREFEBIBL:string:2", "CDPERCENTIL:string:3", "VRALTURAN2:float", "VRPESOFEMN2:float",
        "VRPESOMASN2:float", "VRMEDIMASN2:float", "VRMEDIFEMN2:float", "VRDVPDMASN2:float",
        "VRDVPDFEMN2:float"}}};
  auto db = srv::OpenDb(db_);
  for (const TableCase& t : Tables()) {
    SCOPED_TRACE(t.getPerc);
    const QJsonArray pair = Ok(t.getPerc).toArray();
    ASSERT_EQ(pair.size(), 2);
    EXPECT_EQ(FieldNames(pair[0]), (QStringList{"CDREFEBIBL:string:2", "CDPERCENTIL:string:3",
                                                "NMPERCENTIL:string:30"}));
    EXPECT_EQ(FieldNames(pair[1]), element1.at(t.getPerc));

    // Element 0: one entry per (reference, percentile) present, named.
    std::vector<std::string> expected;
    db->run(std::string("SELECT DISTINCT CDREFEBIBL, CDPERCENTIL FROM ") + t.table +
                " ORDER BY CDREFEBIBL, CDPERCENTIL",
            {}, [&](const srv::SqlRow& r) {
              expected.push_back(std::string(r.text(0)) + "/" + std::string(r.text(1)));
            });
    std::vector<std::string> got;
    for (const QJsonValue& row : Rows(pair[0])) {
      const QJsonArray a = row.toArray();
      got.push_back((a[0].toString() + "/" + a[1].toString()).toStdString());
      EXPECT_EQ(a[2].toString(), "Percentil " + QString::number(a[1].toString().toInt()));
    }
    EXPECT_EQ(got, expected);

    // Element 1: every row, in key order.
    const QJsonArray rows = Rows(pair[1]);
    EXPECT_EQ(rows.size(),
              srv::QueryInt(*db, std::string("SELECT COUNT(*) FROM ") + t.table, {}, -1));
    const srv::TableDef& def = *srv::AllTables()[size_t(&t - &Tables()[0])];
    std::vector<int> keyColumns;
    for (const char* k : def.keyOrder) keyColumns.push_back(def.columnIndex(k));
    for (qsizetype i = 1; i < rows.size(); ++i) {
      const QJsonArray a = rows[i - 1].toArray(), b = rows[i].toArray();
      QVariantList ka, kb;
      for (int c : keyColumns) ka << a[c].toVariant(), kb << b[c].toVariant();
      ASSERT_TRUE(std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end(),
                                               [](const QVariant& x, const QVariant& y) {
                                                 return QVariant::compare(x, y) ==
                                                        QPartialOrdering::Less;
                                               }))
          << "rows " << i - 1 << " and " << i << " are out of key order";
    }
  }
}

TEST_P(ServerTest, PairValuesRoundTripExactly) {
  // The boys' weight at 1 year 0 months, percentile 50, as stored.
  auto db = srv::OpenDb(db_);
  double stored = 0;
  db->run(
      "SELECT VRPESOMASIDA FROM PESALTIDADE WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050' AND "
      "NRIDADEINI = 1 AND NRIDADEFIN = 0",
      {}, [&](const srv::SqlRow& r) { stored = r.real(0); });
  ASSERT_NE(stored, 0);
  bool found = false;
  for (const QJsonValue& v : Rows(Ok("GetPercIdade").toArray()[1])) {
    const QJsonArray a = v.toArray();
    if (a[1] == "01" && a[0] == "050" && a[3].toDouble() == 1 && a[2].toDouble() == 0) {
      EXPECT_EQ(a[4].toDouble(), stored);  // exact, not approximately
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

TEST_P(ServerTest, GetValidaFindsStoredKeysOnly) {
  for (const TableCase& t : Tables()) {
    SCOPED_TRACE(t.valida);
    Ok(t.set, {Delta(t.table, {Insert(t.row("04", "050", 7, 12.5))})});
    const QJsonArray found = ValidaRows(t, "04", "050", 7);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].toArray(), t.row("04", "050", 7, 12.5));
    EXPECT_TRUE(ValidaRows(t, "04", "050", 8).isEmpty());
    EXPECT_TRUE(ValidaRows(t, "04", "010", 7).isEmpty());
  }
  // Heights: a comma or a point.
  Ok("SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("04", "010", 70, 5))})});
  for (const char* text : {"110,5", "110.5", " 110,5 "})
    EXPECT_EQ(Rows(Ok("GetValidaAltura", {"04", "010", text})).size(), 1) << text;
}

TEST_P(ServerTest, SetInsertsUpdatesAndDeletesWithAudit) {
  for (const TableCase& t : Tables()) {
    SCOPED_TRACE(t.set);
    const int audit = AuditCount(db_);
    const QJsonArray row = t.row("04", "025", 3, 20);
    Ok(t.set, {Delta(t.table, {Insert(row)})});
    const QJsonArray changed = t.row("04", "025", 3, 21.25);
    Ok(t.set, {Delta(t.table, {Update(row, changed)})});
    EXPECT_EQ(ValidaRows(t, "04", "025", 3)[0].toArray(), changed);
    Ok(t.set, {Delta(t.table, {Remove(changed)})});
    EXPECT_TRUE(ValidaRows(t, "04", "025", 3).isEmpty());
    EXPECT_EQ(AuditCount(db_), audit + 3);
  }
  // The audit trail names who changed what, with the old and the new row.
  auto db = srv::OpenDb(db_);
  int seen = 0;
  db->run(
      "SELECT NMUSUARIO, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO, DTAUDITORIA FROM AUDITORIA "
      "WHERE NMMETODO = 'SetPesAlt' ORDER BY NRAUDITORIA",
      {}, [&](const srv::SqlRow& r) {
        EXPECT_EQ(r.text(0), "maria");
        EXPECT_EQ(r.text(2), "PESOALTU");
        const bool hasOld = !r.isNull(3), hasNew = !r.isNull(4);
        EXPECT_EQ(std::make_pair(hasOld, hasNew), seen == 0   ? std::make_pair(false, true)
                                                  : seen == 1 ? std::make_pair(true, true)
                                                              : std::make_pair(true, false));
        if (hasNew) {
          const QJsonObject o =
              QJsonDocument::fromJson(QByteArray(r.text(4).data(), qsizetype(r.text(4).size())))
                  .object();
          EXPECT_EQ(o.value("CDREFEBIBL").toString(), "04");
          EXPECT_EQ(o.value("VRALTURA").toDouble(), 43.5);
        }
        EXPECT_FALSE(r.text(5).empty());
        ++seen;
      });
  EXPECT_EQ(seen, 3);
}

TEST_P(ServerTest, DuplicateAndStaleChangesAreRefusedWholeDelta) {
  for (const TableCase& t : Tables()) {
    SCOPED_TRACE(t.set);
    const QJsonArray row = t.row("04", "050", 5, 30);
    Ok(t.set, {Delta(t.table, {Insert(row)})});
    const std::string before = Dump(db_);

    Response r = Call(t.set, {Delta(t.table, {Insert(t.row("04", "050", 6, 1)), Insert(row)})});
    EXPECT_EQ(r.error(), QString::fromUtf8(t.duplicate));

    // Update and delete whose original values no longer hold.
    const QJsonArray stale = t.row("04", "050", 5, 29);
    r = Call(t.set, {Delta(t.table, {Insert(t.row("04", "050", 6, 1)),
                                     Update(stale, t.row("04", "050", 5, 31))})});
    EXPECT_EQ(r.error(), kConflict);
    r = Call(t.set, {Delta(t.table, {Remove(stale)})});
    EXPECT_EQ(r.error(), kConflict);
    r = Call(t.set, {Delta(t.table, {Remove(t.row("04", "050", 9, 30))})});  // never existed
    EXPECT_EQ(r.error(), kConflict);
    EXPECT_EQ(Dump(db_), before);
  }
}

TEST_P(ServerTest, TwoClientsUpdatingOneRowOneWinsNoUpdateLost) {
  // The stored row as a workstation has it.
  QJsonArray stored;
  for (const QJsonValue& v : Rows(Ok("GetPercIdade").toArray()[1]))
    if (v.toArray()[0] == "050" && v.toArray()[1] == "01" && v.toArray()[3].toDouble() == 1 &&
        v.toArray()[2].toDouble() == 0)
      stored = v.toArray();
  ASSERT_FALSE(stored.isEmpty());
  for (int round = 0; round < 5; ++round) {
    QJsonArray a = stored, b = stored;
    a[4] = 11.0 + round;
    b[4] = 22.0 + round;
    Response ra, rb;
    Client ca(port_, kMaintainer), cb(port_, kMaintainer);
    std::thread ta(
        [&] { ra = ca.Call("SetIdPesAlt", {Delta("PESALTIDADE", {Update(stored, a)})}); });
    std::thread tb(
        [&] { rb = cb.Call("SetIdPesAlt", {Delta("PESALTIDADE", {Update(stored, b)})}); });
    ta.join();
    tb.join();
    ASSERT_NE(ra.ok(), rb.ok()) << ra.error().toStdString() << " / " << rb.error().toStdString();
    EXPECT_EQ((ra.ok() ? rb : ra).error(), kConflict);
    const QJsonArray now = ValidaRows(Tables()[0], "01", "050", 12)[0].toArray();
    EXPECT_EQ(now, ra.ok() ? a : b);
    stored = now;
  }
}

TEST_P(ServerTest, DeletaRemovesAPercentileOrTheWholeReference) {
  for (const TableCase& t : Tables()) {
    SCOPED_TRACE(t.deleta);
    const std::string before = Dump(db_);
    EXPECT_EQ(Call(t.deleta, {"01", "050", "X"}).error(),
              "Indicador de exclusão inválido: 'X'. Use \"T\" para excluir a referência inteira ou "
              "vazio para excluir um percentil.");
    EXPECT_EQ(Dump(db_), before);

    auto percentiles = [&] {
      QStringList list;
      for (const QJsonValue& v : Rows(Ok(t.getPerc).toArray()[0]))
        if (v.toArray()[0] == "01") list << v.toArray()[1].toString();
      return list;
    };
    QStringList all = percentiles();
    ASSERT_TRUE(all.contains("050"));
    Ok(t.deleta, {"01", "050", ""});
    all.removeAll("050");
    EXPECT_EQ(percentiles(), all);
    Ok(t.deleta, {"01", "", "T"});
    EXPECT_TRUE(percentiles().isEmpty());
  }
  // Only the WHO references keep rows.
  const QJsonArray left = Rows(Ok("GetReferencia"));
  ASSERT_EQ(left.size(), 2);
  EXPECT_EQ(left[0].toArray()[0].toString(), "02");
  EXPECT_EQ(left[1].toArray()[0].toString(), "05");
}

TEST_P(ServerTest, GetPercentilOffersPercentilesWithoutRows) {
  auto codes = [&](const char* method, const QString& ref) {
    QStringList list;
    for (const QJsonValue& v : Rows(Ok(method, {ref}))) {
      list << v.toArray()[0].toString();
      EXPECT_EQ(v.toArray()[1].toString(),
                "Percentil " + QString::number(v.toArray()[0].toString().toInt()));
    }
    return list;
  };
  // The sample imports the published percentiles; 15 and 85 are left free
  // (85 is published for the NCHS 2000 table only).
  EXPECT_EQ(codes("GetPercentilIdPesAlt", "01"), (QStringList{"015", "085"}));
  EXPECT_EQ(codes("GetPercentilPesAlt", "01"), (QStringList{"015", "085"}));
  EXPECT_EQ(codes("GetPercentilPesAltNCHS", "01"), (QStringList{"015"}));
  EXPECT_EQ(codes("GetPercentilIdPesAlt", "04").size(), 11);
  EXPECT_EQ(FieldNames(Ok("GetPercentilPesAlt", {"04"})),
            (QStringList{"CDPERCENTIL:string:3", "NMPERCENTIL:string:30"}));
  // An empty code selects nothing (a page without a reference), unlike an unknown one.
  for (const char* method :
       {"GetPercentilIdPesAlt", "GetPercentilPesAlt", "GetPercentilPesAltNCHS"}) {
    EXPECT_TRUE(codes(method, QString()).isEmpty()) << method;
    EXPECT_EQ(FieldNames(Ok(method, {""})),
              (QStringList{"CDPERCENTIL:string:3", "NMPERCENTIL:string:30"}));
  }
}

TEST_P(ServerTest, CopiaCopiesOnePercentileOntoAFreeOne) {
  for (const TableCase& t : Tables()) {
    SCOPED_TRACE(t.copia);
    const srv::TableDef& def = *srv::AllTables()[size_t(&t - &Tables()[0])];
    auto rowsOf = [&](const QString& perc) {
      QJsonArray out;
      const int p = def.columnIndex("CDPERCENTIL");
      const int ref = def.columnIndex("CDREFEBIBL");
      for (const QJsonValue& v : Rows(Ok(t.getPerc).toArray()[1])) {
        QJsonArray a = v.toArray();
        if (a[p] == perc && a[ref] == "01") {
          a[p] = "*";
          out.append(a);
        }
      }
      return out;
    };
    const int audit = AuditCount(db_);
    Ok(t.copia, {"01", "015", "050"});
    const QJsonArray source = rowsOf("050");
    EXPECT_FALSE(source.isEmpty());
    EXPECT_EQ(rowsOf("015"), source);
    EXPECT_EQ(AuditCount(db_), audit + source.size());

    const std::string before = Dump(db_);
    EXPECT_TRUE(Call(t.copia, {"01", "015", "050"}).error().contains("já tem registros"));
    EXPECT_TRUE(Call(t.copia, {"04", "015", "050"}).error().contains("não tem registros"));
    EXPECT_EQ(Call(t.copia, {"01", "099", "050"}).error(), "Percentil '099' não cadastrado.");
    EXPECT_EQ(Call(t.copia, {"09", "085", "050"}).error(), "Referência '09' não cadastrada.");
    EXPECT_TRUE(Call(t.copia, {"01", "050", "050"}).error().contains("diferente"));
    EXPECT_EQ(Dump(db_), before);
  }
}

TEST_P(ServerTest, GetPapelTellsTheCallersRole) {
  EXPECT_EQ(Ok("GetPapel").toString(), "maintainer");
  const Response r = Client(port_, kReader).Call("GetPapel");
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  EXPECT_EQ(r.result().toString(), "reader");
  EXPECT_FALSE(Call("GetPapel", {"x"}).ok());
}

TEST_P(ServerTest, GetTabelaHandsOutWholeTablesToAReader) {
  Client reader(port_, kReader);
  const Response refs = reader.Call("GetTabela", {"refebibl"});
  ASSERT_TRUE(refs.ok()) << refs.error().toStdString();
  // Every reference, also those without rows, with its citation.
  EXPECT_EQ(FieldNames(refs.result()).mid(0, 3),
            (QStringList{"CDREFEBIBL:string:2", "NMREFEBIBL:string:60", "DSCITACAO:string:4000"}));
  ASSERT_EQ(Rows(refs.result()).size(), 5);
  EXPECT_EQ(Rows(refs.result())[3].toArray()[0].toString(), "04");
  EXPECT_FALSE(Rows(refs.result())[0].toArray()[2].toString().isEmpty());
  EXPECT_EQ(Rows(Ok("GetTabela", {"PERCENTIL"})).size(), 11);
  for (const TableCase& t : Tables()) {
    // The same rows as the screens' table answer, in key order.
    const QJsonValue whole = Ok("GetTabela", {t.table});
    const QJsonArray pair = Ok(t.getPerc).toArray();
    EXPECT_EQ(FieldNames(whole), FieldNames(pair[1])) << t.table;
    EXPECT_EQ(Rows(whole).size(), Rows(pair[1]).size()) << t.table;
  }
  const Response unknown = Call("GetTabela", {"AUDITORIA"});
  EXPECT_FALSE(unknown.ok());
  EXPECT_TRUE(unknown.error().contains("Tabela desconhecida")) << unknown.error().toStdString();
}

TEST_P(ServerTest, ReaderMayOnlyReadAndStrangersNothing) {
  Client reader(port_, kReader);
  EXPECT_TRUE(reader.Call("GetReferencia").ok());
  EXPECT_TRUE(reader.Call("GetPercAltura").ok());
  const std::string before = Dump(db_);
  for (const auto& [method, params] : std::vector<std::pair<QString, QJsonArray>>{
           {"SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("04", "050", 1, 3))})}},
           {"DeletaIdade", {"01", "", "T"}},
           {"CopiaPesAlt", {"01", "015", "050"}}}) {
    const Response r = reader.Call(method, params);
    EXPECT_EQ(r.status, 200);
    // The user reads the action, never the method's name.
    EXPECT_TRUE(r.error().startsWith("Você não tem permissão para alterar as tabelas"))
        << r.error().toStdString();
    EXPECT_FALSE(r.error().contains(method)) << r.error().toStdString();
  }
  for (const std::string& auth : {std::string(), std::string("Bearer wrong"),
                                  "Basic " + kMaintainer.toStdString(), std::string("Bearer ")}) {
    const Response r = client_->Raw(
        R"({"jsonrpc":"2.0","id":1,"method":"DeletaIdade","params":["01","","T"]})", auth);
    EXPECT_EQ(r.status, 401) << auth;
    EXPECT_FALSE(r.error().isEmpty());
  }
  EXPECT_EQ(Dump(db_), before);
}

// Every malformed or unacceptable request gets its own clear message and
// leaves the database exactly as it was.
TEST_P(ServerTest, BadInputIsRefusedClearlyAndChangesNothing) {
  const QJsonObject goodAge = Delta("PESALTIDADE", {Insert(AgeRow("04", "050", 5, 10))});
  auto withValue = [&](int column, const QJsonValue& v) {
    QJsonArray row = AgeRow("04", "050", 5, 10);
    row[column] = v;
    return QJsonObject(Delta("PESALTIDADE", {Insert(row)}));
  };
  auto body = [](const QString& method, const QJsonArray& params) {
    return QJsonDocument(
               QJsonObject{{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
  };
  auto ageDeltaText = [&](const char* valueText) {
    std::string b = body("SetIdPesAlt", {withValue(4, 1234567.0)});
    const auto at = b.find("1234567");
    return b.replace(at, 7, valueText);
  };
  struct Case {
    std::string name;
    std::string body;
    QString message;  // contained in the error message
  };
  const std::vector<Case> cases{
      {"not JSON", "{\"jsonrpc\":\"2.0\",", "não é um JSON válido"},
      {"empty body", "", "não é um JSON válido"},
      {"batch", "[]", "objeto JSON-RPC 2.0"},
      {"no version", R"({"id":1,"method":"GetReferencia","params":[]})", "protocolo JSON-RPC 2.0"},
      {"method not text", R"({"jsonrpc":"2.0","id":1,"method":5})", "protocolo JSON-RPC 2.0"},
      {"unknown method", body("DropTables", {}), "não conhece o método 'DropTables'"},
      {"params not a list", R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia","params":{}})",
       "lista posicional"},
      {"too many params", body("GetReferencia", {1}), "espera 0 parâmetro(s), mas recebeu 1"},
      {"too few params", body("GetValidaIdade", {"01", "050", 1}),
       "espera 4 parâmetro(s), mas recebeu 3"},
      {"number for a code", body("DeletaIdade", {1, "050", ""}), "deve ser um texto"},
      {"text for a number", body("GetValidaIdade", {"01", "050", "1", 0}), "deve ser um número"},
      {"delta not an object", body("SetIdPesAlt", {"x"}), "pacote de alterações"},
      {"delta without changes", body("SetIdPesAlt", {QJsonObject{{"fields", QJsonArray{}}}}),
       "malformado"},
      {"delta of another table", body("SetPesAlt", {goodAge}), "não pertence à tabela Peso/Altura"},
      {"age delta to NCHS", body("SetPesAltNCHS", {goodAge}),
       "não pertence à tabela Peso/Altura (NCHS 2000)"},
      {"unknown op",
       body("SetIdPesAlt", {QJsonObject{{"fields", goodAge["fields"]},
                                        {"changes", QJsonArray{QJsonObject{{"op", "merge"}}}}}}),
       "Operação desconhecida"},
      {"short row",
       body("SetIdPesAlt", {Delta("PESALTIDADE", {Insert(QJsonArray{"050", "04", 1, 1})})}),
       "malformada"},
      {"NaN", ageDeltaText("NaN"), "NaN, infinito"},
      {"infinity", ageDeltaText("Infinity"), "NaN, infinito"},
      {"huge beyond double", ageDeltaText("1e400"), "NaN, infinito"},
      {"huge", body("SetIdPesAlt", {withValue(4, 1e300)}), "no máximo 3 dígitos inteiros"},
      {"four integer digits", body("SetIdPesAlt", {withValue(4, 1000.0)}),
       "no máximo 3 dígitos inteiros"},
      {"negative", body("SetIdPesAlt", {withValue(4, -1.5)}), "não aceita valores negativos"},
      {"month 12 in a delta", body("SetIdPesAlt", {withValue(2, 12)}), "entre 0 e 11"},
      {"month -1 in a delta", body("SetIdPesAlt", {withValue(2, -1)}), "entre 0 e 11"},
      {"month 12 asked", body("GetValidaIdade", {"01", "050", 1, 12}), "entre 0 e 11"},
      {"month -1 asked", body("GetValidaIdade", {"01", "050", 1, -1}), "entre 0 e 11"},
      {"fractional month", body("GetValidaIdade", {"01", "050", 1, 0.5}), "entre 0 e 11"},
      {"null key", body("SetIdPesAlt", {withValue(3, QJsonValue::Null)}), "Informe o campo Ano"},
      {"unknown reference", body("SetIdPesAlt", {withValue(1, "77")}),
       "Referência '77' não cadastrada."},
      {"unknown percentile", body("SetIdPesAlt", {withValue(0, "051")}),
       "Percentil '051' não cadastrado."},
      {"height not a number", body("GetValidaAltura", {"01", "050", "abc"}),
       "A altura 'abc' não é um número válido."},
      {"height with two commas", body("GetValidaAlturaNCHS", {"01", "050", "1,1,1"}),
       "não é um número válido"},
      {"height empty", body("GetValidaAltura", {"01", "050", ""}), "não é um número válido"},
      {"deleta flag", body("DeletaAltura", {"01", "050", "F"}), "Indicador de exclusão inválido"},
  };
  const std::string before = Dump(db_);
  for (const Case& c : cases) {
    const Response r = client_->Raw(c.body, "Bearer " + kMaintainer.toStdString());
    EXPECT_EQ(r.status, 200) << c.name;
    EXPECT_FALSE(r.ok()) << c.name;
    EXPECT_TRUE(r.error().contains(c.message))
        << c.name << ": got \"" << r.error().toStdString() << "\"";
  }
  EXPECT_EQ(Dump(db_), before);
}

// Strings that look like SQL are only ever values: in every string argument
// of every method they are refused as codes, never executed.
TEST_P(ServerTest, SqlLookingStringsAreJustBadValues) {
  const QStringList attacks{
      "'; DROP TABLE PESALTIDADE; --",    "01' OR '1'='1", "\" OR 1=1 --", "0'", "%",
      "' UNION SELECT * FROM REFEBIBL --"};
  const std::string before = Dump(db_);
  for (const QString& s : attacks) {
    SCOPED_TRACE(s.toStdString());
    for (const TableCase& t : Tables()) {
      QJsonArray valida = t.validaParams("01", "050", 12);
      for (int i : {0, 1}) {
        QJsonArray p = valida;
        p[i] = s;
        EXPECT_FALSE(Call(t.valida, p).ok());
      }
      if (t.table != std::string("PESALTIDADE")) {
        QJsonArray p = valida;
        p[2] = s;
        EXPECT_TRUE(Call(t.valida, p).error().contains("não é um número válido"));
      }
      for (int i : {0, 1, 2}) {
        QJsonArray d{"01", "050", ""}, c{"01", "015", "050"};
        d[i] = s;
        c[i] = s;
        EXPECT_FALSE(Call(t.deleta, d).ok());
        EXPECT_FALSE(Call(t.copia, c).ok());
      }
      EXPECT_FALSE(Call(t.percentil, {s}).ok());
      // Inside a delta: both code columns.
      const srv::TableDef& def = *srv::AllTables()[size_t(&t - &Tables()[0])];
      for (const char* col : {"CDREFEBIBL", "CDPERCENTIL"}) {
        QJsonArray row = t.row("04", "050", 4, 3);
        row[def.columnIndex(col)] = s;
        EXPECT_FALSE(Call(t.set, {Delta(t.table, {Insert(row)})}).ok());
      }
    }
  }
  EXPECT_EQ(Dump(db_), before);
  EXPECT_EQ(Rows(Ok("GetReferencia")).size(), 3);
}

TEST_P(ServerTest, BodyOverTheLimitIsRefused) {
  const std::string before = Dump(db_);
  std::string big =
      R"({"jsonrpc":"2.0","id":1,"method":"DeletaIdade","params":["01","","T"],"pad":")";
  big.append(16u * 1024 * 1024, 'x');
  big += "\"}";
  const Response r = client_->Raw(big, "Bearer " + kMaintainer.toStdString());
  EXPECT_EQ(r.status, 413);
  EXPECT_TRUE(r.error().contains("16 MiB")) << r.error().toStdString();
  EXPECT_EQ(Dump(db_), before);
  // The server is still there for the next call.
  EXPECT_TRUE(Client(port_, kMaintainer).Call("GetReferencia").ok());
}

// Several instances share one database: a cached answer of one instance must
// see what another instance wrote.
TEST_P(ServerTest, InstancesOnOneDatabaseSeeEachOthersChanges) {
  srv::AppServer other(Options(db_));
  Client otherClient(other.Start(), kMaintainer);
  // A changed value in one (reference, percentile) part of a cached answer.
  auto weightAt45 = [&](const QJsonValue& pair) {
    for (const QJsonValue& v : Rows(pair.toArray()[1]))
      if (v.toArray()[0].toDouble() == 45 && v.toArray()[2] == "050") return v.toArray();
    return QJsonArray();
  };
  const QJsonArray old45 = weightAt45(Ok("GetPercAltura"));
  ASSERT_FALSE(old45.isEmpty());
  QJsonArray new45 = old45;
  new45[1] = 2.5;
  ASSERT_TRUE(otherClient.Call("SetPesAlt", {Delta("PESOALTU", {Update(old45, new45)})}).ok());
  EXPECT_EQ(weightAt45(Ok("GetPercAltura")), new45);

  const int before = int(Rows(Ok("GetPercAltura").toArray()[1]).size());
  ASSERT_TRUE(
      otherClient.Call("SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("04", "050", 1, 3))})})
          .ok());
  EXPECT_EQ(Rows(Ok("GetPercAltura").toArray()[1]).size(), before + 1);
  ASSERT_TRUE(otherClient.Call("DeletaAltura", {"04", "050", ""}).ok());
  EXPECT_EQ(Rows(Ok("GetPercAltura").toArray()[1]).size(), before);
  // Every reference with height rows deleted: the cached answer empties.
  for (const char* ref : {"01", "02", "05"})
    ASSERT_TRUE(otherClient.Call("DeletaAltura", {ref, "", "T"}).ok()) << ref;
  EXPECT_TRUE(Rows(Ok("GetPercAltura").toArray()[1]).isEmpty());
  EXPECT_TRUE(Rows(Ok("GetPercAltura").toArray()[0]).isEmpty());
  // Percentile names are kept by another screen: a renamed one shows at once.
  srv::OpenDb(db_)->run("UPDATE PERCENTIL SET NMPERCENTIL = 'Mediana' WHERE CDPERCENTIL = '050'",
                        {});
  bool renamed = false;
  for (const QJsonValue& v : Rows(Ok("GetPercIdade").toArray()[0]))
    if (v.toArray()[1] == "050") renamed = v.toArray()[2] == "Mediana";
  EXPECT_TRUE(renamed);
}

// Saves touching every part of a reference at once, made through a second
// instance while this one rebuilds the parts on several connections: each
// answer shows all of a save or none of it.
TEST_P(ServerTest, AnswersRebuiltDuringSavesShowWholeSaves) {
  srv::AppServer other(Options(db_));
  Client writer(other.Start(), kMaintainer);
  // The one-year row of every percentile of reference 01, by percentile.
  auto yearRows = [](const QJsonValue& pair) {
    std::map<QString, QJsonArray> rows;
    for (const QJsonValue& v : Rows(pair.toArray()[1]))
      if (v.toArray()[1] == "01" && v.toArray()[3].toDouble() == 1 &&
          v.toArray()[2].toDouble() == 0)
        rows[v.toArray()[0].toString()] = v.toArray();
    return rows;
  };
  std::map<QString, QJsonArray> stored = yearRows(Ok("GetPercIdade"));
  ASSERT_GE(stored.size(), 4u) << "too few parts to be built on several connections";
  const qsizetype rowCount = Rows(Ok("GetPercIdade").toArray()[1]).size();
  // Save number `round` gives every part the same weight.
  auto save = [&](int round) {
    QJsonArray changes;
    std::map<QString, QJsonArray> next = stored;
    for (auto& [perc, row] : next) {
      row[4] = 50.0 + round;
      changes.append(Update(stored[perc], row));
    }
    const Response r = writer.Call("SetIdPesAlt", {Delta("PESALTIDADE", changes)});
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    stored = next;
  };
  save(0);

  std::atomic<bool> done{false};
  int answers = 0;
  std::thread reader([&] {
    while (!done) {
      const Response r = Call("GetPercIdade");
      ASSERT_TRUE(r.ok()) << r.error().toStdString();
      ASSERT_EQ(Rows(r.result().toArray()[1]).size(), rowCount);
      std::set<double> weights;
      for (const auto& [perc, row] : yearRows(r.result())) weights.insert(row[4].toDouble());
      ASSERT_EQ(weights.size(), 1u) << "an answer mixes two saves";
      ++answers;
    }
  });
  for (int round = 1; round <= 20; ++round) save(round);
  done = true;
  reader.join();
  EXPECT_GT(answers, 0);
  EXPECT_EQ(yearRows(Ok("GetPercIdade")), stored);
}

// A fresh instance builds each table answer in one pass over the table; one
// with a few changed parts rebuilds those part by part: the answers agree.
TEST_P(ServerTest, AnswersBuiltInOnePassOrPartByPartAgree) {
  for (const char* method : {"GetPercIdade", "GetPercAltura"}) {
    SCOPED_TRACE(method);
    const QJsonValue warm = Ok(method);
    {
      auto db = srv::OpenDb(db_);
      srv::Transaction tx(*db, true);
      for (const char* table : {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"})
        srv::BumpChangeCounter(*db, table, "01", "050");
      tx.commit();
    }
    srv::AppServer fresh(Options(db_));
    const QJsonValue whole = Client(fresh.Start(), kMaintainer).Call(method).result();
    ASSERT_GT(Rows(whole.toArray()[1]).size(), 0);
    EXPECT_EQ(whole, warm);
    EXPECT_EQ(Ok(method), warm);
  }
}

TEST_P(ServerTest, SchemaIsVersionedAndMigratingTwiceChangesNothing) {
  auto db = srv::OpenDb(db_);
  const auto versions = srv::QueryInt(*db, "SELECT COUNT(*) FROM SCHEMA_VERSION", {}, 0);
  EXPECT_GE(versions, 1);
  const std::string before = Dump(db_);
  srv::AppServer again(Options(db_));
  again.Start();
  EXPECT_EQ(srv::QueryInt(*db, "SELECT COUNT(*) FROM SCHEMA_VERSION", {}, 0), versions);
  EXPECT_EQ(Dump(db_), before);
  if (GetParam() == Engine::Postgres) {
    // The host's local queries use NVL in their default dialect, with the
    // parameter's type left to the server.
    const std::string sql =
        "SELECT CDREFEBIBL, NMREFEBIBL FROM REFEBIBL WHERE CDREFEBIBL = NVL(?, CDREFEBIBL) ORDER "
        "BY CDREFEBIBL";
    for (const auto& [param, expected] : std::vector<std::pair<srv::SqlParam, int>>{
             {std::monostate{}, 5}, {std::string("01"), 1}, {std::string("99"), 0}}) {
      int rows = 0;
      db->run(sql, {param}, [&](const srv::SqlRow&) { ++rows; });
      EXPECT_EQ(rows, expected);
    }
  }
}

TEST_P(ServerTest, ServersStartingTogetherOnAnEmptyDatabaseMigrateItOnce) {
  const QString empty = Databases::Instance().Empty(GetParam());
  std::vector<std::unique_ptr<srv::AppServer>> servers;
  for (int i = 0; i < 3; ++i) servers.push_back(std::make_unique<srv::AppServer>(Options(empty)));
  std::vector<std::thread> starting;
  std::atomic<int> started{0};
  for (auto& s : servers)
    starting.emplace_back([&] {
      try {
        if (s->Start() > 0) ++started;
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
    });
  for (auto& t : starting) t.join();
  EXPECT_EQ(started, 3);
  auto db = srv::OpenDb(empty);
  // Each version once (versions need not be consecutive).
  EXPECT_EQ(srv::QueryInt(*db, "SELECT COUNT(*) FROM SCHEMA_VERSION", {}, 0),
            srv::QueryInt(*db, "SELECT COUNT(DISTINCT NRVERSAO) FROM SCHEMA_VERSION", {}, 0));
  EXPECT_EQ(srv::QueryInt(*db, "SELECT MAX(NRVERSAO) FROM SCHEMA_VERSION", {}, 0),
            srv::SchemaVersion());
  EXPECT_TRUE(
      Rows(Client(servers[0]->Port(), kMaintainer).Call("GetReferencia").result()).isEmpty());
}

TEST_P(ServerTest, StartFailsClearlyOnABadDatabaseOrATakenPort) {
  srv::ServerOptions o = Options(GetParam() == Engine::Sqlite
                                     ? QStringLiteral("/nonexistent/dir/x.db")
                                     : QStringLiteral("postgresql://nobody@127.0.0.1:1/none"));
  srv::AppServer bad(o);
  try {
    bad.Start();
    ADD_FAILURE() << "started on a database that cannot be opened";
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(std::string(e.what()).find("Não foi possível") != std::string::npos) << e.what();
  }
  srv::ServerOptions taken = Options(db_);
  taken.port = port_;
  srv::AppServer second(taken);
  EXPECT_THROW(second.Start(), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

}  // namespace
