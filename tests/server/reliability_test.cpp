// The server under races, hostile requests and idle sockets: real HTTP
// against real in-process servers, on SQLite and on PostgreSQL.

#include "own_cluster.h"
#include "raw_socket.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace srvtest;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class ReliabilityTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
    Start(Options(db_));
  }
  void Start(srv::ServerOptions options) {
    server_.reset();
    server_ = std::make_unique<srv::AppServer>(std::move(options));
    port_ = server_->Start();
  }

  QString db_;
  std::unique_ptr<srv::AppServer> server_;
  int port_ = 0;
};

const QStringList kPercentiles{"003", "005", "010", "015", "025", "050",
                               "075", "085", "090", "095", "097"};

QJsonArray HeightRow(const QString& ref, const QString& perc, int k) {
  return {40.5 + k, 10.0 + k, perc, ref, 11.0 + k};
}

// Heights of reference 02 in a GetPercAltura answer.
std::set<double> ServedHeights(Client& client) {
  const Response r = client.Call("GetPercAltura");
  EXPECT_TRUE(r.ok()) << r.error().toStdString();
  std::set<double> heights;
  for (const QJsonValue v : Rows(r.result().toArray()[1]))
    if (v.toArray()[3] == "03") heights.insert(v.toArray()[0].toDouble());
  return heights;
}

// Deletes racing inserts on two instances over one database, the instances'
// caches kept warm meanwhile: afterwards every acknowledged row is either
// stored and served by both instances, or deleted with its audit row.
TEST_P(ReliabilityTest, DeletesRacingInsertsAuditAndInvalidateEveryRow) {
  srv::AppServer other(Options(db_));
  const int ports[2] = {port_, other.Start()};
  constexpr int kRows = 360;
  std::atomic<int> next{0};
  std::atomic<int> inserting{2};
  std::mutex m;
  std::set<double> acknowledged;
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&, w] {
      Client c(ports[w], kMaintainer);
      for (int k; (k = next++) < kRows;) {
        const QJsonArray row = HeightRow("03", kPercentiles[k % kPercentiles.size()], k);
        const Response r = c.Call("SetPesAlt", {Delta("PESOALTU", {Insert(row)})});
        ASSERT_TRUE(r.ok()) << r.error().toStdString();
        std::lock_guard lock(m);
        acknowledged.insert(row[0].toDouble());
      }
      --inserting;
    });
  }
  int deletes = 0;
  threads.emplace_back([&] {
    Client c[2] = {Client(ports[0], kMaintainer), Client(ports[1], kMaintainer)};
    for (int i = 0; inserting > 0; ++i) {
      // The whole reference, or one percentile of it.
      const QJsonArray params =
          i % 2 ? QJsonArray{"03", "", "T"} : QJsonArray{"03", kPercentiles[(i / 2) % 11], ""};
      const Response r = c[i % 2].Call("DeletaAltura", params);
      ASSERT_TRUE(r.ok()) << r.error().toStdString();
      ++deletes;
    }
  });
  threads.emplace_back([&] {
    Client c[2] = {Client(ports[0], kReader), Client(ports[1], kReader)};
    for (int i = 0; inserting > 0; ++i) ServedHeights(c[i % 2]);
  });
  for (auto& t : threads) t.join();
  ASSERT_EQ(int(acknowledged.size()), kRows);
  EXPECT_GT(deletes, 0);

  std::set<double> stored, deleted, insertedTwice;
  auto db = srv::OpenDb(db_);
  db->run("SELECT VRALTURA FROM PESOALTU WHERE CDREFEBIBL = '03'", {},
          [&](const srv::SqlRow& r) { stored.insert(r.real(0)); });
  db->run("SELECT DSANTERIOR FROM AUDITORIA WHERE NMTABELA = 'PESOALTU' AND DSNOVO IS NULL", {},
          [&](const srv::SqlRow& r) {
            const QJsonObject o =
                QJsonDocument::fromJson(QByteArray::fromStdString(std::string(r.text(0)))).object();
            if (o.value("CDREFEBIBL") == "03")
              if (!deleted.insert(o.value("VRALTURA").toDouble()).second)
                insertedTwice.insert(o.value("VRALTURA").toDouble());
          });
  EXPECT_TRUE(insertedTwice.empty()) << "a row was audited as deleted twice";
  int lost = 0;
  for (double h : acknowledged)
    if (stored.count(h) == deleted.count(h)) ++lost;
  EXPECT_EQ(lost, 0) << "rows deleted without audit (or stored and audited as deleted)";
  Client a(ports[0], kReader), b(ports[1], kReader);
  EXPECT_EQ(ServedHeights(a), stored);
  EXPECT_EQ(ServedHeights(b), stored);
}

// A member named twice, anywhere in the body, is refused: the parser would
// keep the last one, which is not what the client meant.
TEST_P(ReliabilityTest, RepeatedMembersAreRefusedAndChangeNothing) {
  const std::string before = Dump(db_);
  const std::string delta =
      "{\"fields\":[{\"name\":\"VRALTURA\",\"type\":\"float\"},"
      "{\"name\":\"CDPERCENTIL\",\"type\":\"string\",\"size\":3},"
      "{\"name\":\"CDREFEBIBL\",\"type\":\"string\",\"size\":2}],";
  const struct {
    const char* name;
    std::string body;
    QString repeated;
  } cases[] = {
      {"method at the top",
       R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia","params":[],"method":"DeletaIdade"})",
       "method"},
      {"escaped twin of a name",
       R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia","\u006dethod":"DeletaIdade"})",
       "method"},
      {"inside a delta",
       R"({"jsonrpc":"2.0","id":1,"method":"SetPesAlt","params":[)" + delta +
           R"("changes":[],"changes":[{"op":"delete","old":[45,"050","01"]}]}]})",
       "changes"},
      {"inside one change",
       R"({"jsonrpc":"2.0","id":1,"method":"SetPesAlt","params":[)" + delta +
           R"("changes":[{"op":"insert","op":"delete","old":[45,"050","01"]}]}]})",
       "op"},
      {"accented name",
       R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia","ação":1,"a\u00e7ão":2})", "ação"},
  };
  Client client(port_, kMaintainer);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Response r = client.Raw(c.body, "Bearer " + kMaintainer.toStdString());
    EXPECT_EQ(r.body.value("error").toObject().value("code").toInt(), -32600);
    EXPECT_TRUE(r.error().contains("repete o membro \"" + c.repeated + "\""))
        << r.error().toStdString();
  }
  EXPECT_EQ(Dump(db_), before);
  // Equal names in different objects are fine.
  const Response ok = client.Raw(
      R"({"jsonrpc":"2.0","id":1,"method":"SetPesAlt","params":[)" + delta +
          R"("changes":[{"op":"insert","new":[41,"050","03"]},{"op":"insert","new":[42,"050","03"]}]}]})",
      "Bearer " + kMaintainer.toStdString());
  EXPECT_TRUE(ok.ok()) << ok.error().toStdString();
}

// Codes with control characters are refused on both engines (PostgreSQL
// would store them cut at a NUL), and the message shows the whole code.
TEST_P(ReliabilityTest, ControlCharactersInCodesAreRefusedWithTheWholeMessage) {
  const std::string before = Dump(db_);
  const QString nulRef = QString("0") + QChar(0);
  const QString nulPerc = QString("05") + QChar(0);
  QJsonArray ageRow{nulPerc, "03", 1, 1};
  for (int i = 0; i < 18; ++i) ageRow.append(10 + i);
  const struct {
    const char* method;
    QJsonArray params;
    const char* shown;
  } cases[] = {
      {"SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow(nulRef, "050", 1))})}, "0\\u0000"},
      {"SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("03", nulPerc, 1))})}, "05\\u0000"},
      {"SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("03", "\t50", 1))})}, "\\u0009"},
      {"SetIdPesAlt", {Delta("PESALTIDADE", {Insert(ageRow)})}, "05\\u0000"},
      {"SetPesAlt", {Delta("PESOALTU", {Remove(HeightRow("01", nulPerc, 5))})}, "05\\u0000"},
      {"SetPesAlt",
       {Delta("PESOALTU", {Update(HeightRow(nulRef, "050", 5), HeightRow("01", "050", 5))})},
       "0\\u0000"},
      {"GetValidaAltura", {"01", nulPerc, "45"}, "05\\u0000"},
      {"DeletaAltura", {nulRef, "", "T"}, "0\\u0000"},
      {"DeletaIdade", {"01", nulPerc, ""}, "05\\u0000"},
      {"CopiaPesAlt", {"01", QString("0") + QChar(0x7f) + "1", "050"}, "0\\u007f1"},
  };
  Client client(port_, kMaintainer);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    const Response r = client.Call(c.method, c.params);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains("caractere de controle")) << r.error().toStdString();
    EXPECT_TRUE(r.error().contains(c.shown)) << r.error().toStdString();
    EXPECT_TRUE(r.error().endsWith("letras e algarismos.")) << r.error().toStdString();
  }
  EXPECT_EQ(Dump(db_), before);
}

// Other HTTP methods get 405 like GET; a length that is not a number gets
// 400 at once and the connection is closed.
TEST_P(ReliabilityTest, WrongHttpMethodsAndLengthsAreAnsweredAtOnce) {
  const struct {
    const char* request;
    int status;
    bool closes;
  } cases[] = {
      {"GET /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\n\r\n", 405, false},
      // Its body is never read: the connection ends with the answer.
      {"PUT /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}", 405, true},
      {"DELETE /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\n\r\n", 405, false},
      {"PATCH /x HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", 405, false},
      {"POST /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n", 400, true},
      {"POST /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\nContent-Length: 1x\r\n\r\n", 400, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request);
    RawSocket s(port_);
    ASSERT_TRUE(s.connected());
    const auto started = Clock::now();
    ASSERT_TRUE(s.Send(c.request));
    const std::string answer = s.Receive(c.closes ? 1000 : 300);
    EXPECT_EQ(StatusOf(answer), c.status) << answer;
    EXPECT_LT(MsSince(started), 1000.0);
    EXPECT_EQ(s.closed(), c.closes);
    if (c.status == 405) {
      EXPECT_NE(answer.find("Use POST"), std::string::npos) << answer;
    }
  }
  EXPECT_TRUE(Client(port_, kReader).Call("GetReferencia").ok());
}

// A refused token ends the connection: a client without credentials keeps
// no thread of the server.
TEST_P(ReliabilityTest, RefusedTokenClosesTheConnection) {
  for (const char* auth : {"", "Authorization: Bearer wrong\r\n"}) {
    SCOPED_TRACE(auth);
    RawSocket s(port_);
    ASSERT_TRUE(s.connected());
    const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia"})";
    ASSERT_TRUE(s.Send("POST /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\n" + std::string(auth) +
                       "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body));
    const std::string answer = s.Receive(1000);
    EXPECT_EQ(StatusOf(answer), 401) << answer;
    EXPECT_TRUE(s.closed());
  }
}

// Silent connections from one address hold no thread the others need: a
// call from another address answers at once; beyond the cap per address a
// newcomer takes the place of the longest silent one, and idle ones are
// closed after the idle time.
TEST_P(ReliabilityTest, SilentConnectionsDoNotStallOtherClients) {
  srv::ServerOptions o = Options(db_);
  o.idleSeconds = 2;
  o.maxPerPeer = 32;
  Start(o);
  for (const int count : {8, 64}) {
    SCOPED_TRACE(count);
    std::vector<std::unique_ptr<RawSocket>> silent;
    for (int i = 0; i < count; ++i) {
      silent.push_back(std::make_unique<RawSocket>(port_, "127.0.0.2"));
      ASSERT_TRUE(silent.back()->connected());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Client client(port_, kReader);
    const auto started = Clock::now();
    const Response r = client.Call("GetReferencia");
    const double ms = MsSince(started);
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_LT(ms, 1000.0) << "a call behind " << count << " silent connections";
    std::printf("[ measure ] a call behind %d silent connections answered in %.1f ms\n", count, ms);
    int refused = 0, closedWhenIdle = 0;
    for (auto& s : silent) {
      const std::string answer = s->Receive(o.idleSeconds * 1000 + 1500);
      if (StatusOf(answer) == 503) ++refused;
      if (answer.empty() && s->closed()) ++closedWhenIdle;
    }
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(closedWhenIdle, count);
  }
}

int ThreadCount() {
  return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Threads started for a burst of connections end once the burst is over.
TEST_P(ReliabilityTest, ThreadsStartedForABurstEndAfterIt) {
  srv::ServerOptions o = Options(db_);
  o.threads = 2;
  o.lingerSeconds = 1;
  Start(o);
  // The listener makes its pool (ready threads and the watcher) once it
  // runs: a first call makes sure they are counted.
  ASSERT_TRUE(Client(port_, kReader).Call("GetReferencia").ok());
  const int before = ThreadCount();
  {
    std::vector<std::unique_ptr<RawSocket>> burst;
    burst.reserve(24);
    for (int i = 0; i < 24; ++i) burst.push_back(std::make_unique<RawSocket>(port_, "127.0.0.2"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GE(ThreadCount(), before + 20);
  }
  int after = ThreadCount();
  for (int i = 0; i < 50 && after > before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    after = ThreadCount();
  }
  EXPECT_LE(after, before);
  EXPECT_TRUE(Client(port_, kReader).Call("GetReferencia").ok());
}

// The server closes a connection left idle; the client's next call opens a
// new one without the user noticing.
TEST_P(ReliabilityTest, ClientsIdleLongerThanTheIdleTimeCarryOn) {
  srv::ServerOptions o = Options(db_);
  o.idleSeconds = 1;
  Start(o);
  Client client(port_, kReader);
  for (int i = 0; i < 3; ++i) {
    const Response r = client.Call("GetReferencia");
    EXPECT_TRUE(r.ok()) << i << ": " << r.error().toStdString();
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  }
}

TEST_P(ReliabilityTest, HealthChecksTheDatabase) {
  {
    RawSocket s(port_);
    ASSERT_TRUE(s.Send("GET /health HTTP/1.1\r\nHost: x\r\n\r\n"));
    const std::string answer = s.Receive(500);
    EXPECT_EQ(StatusOf(answer), 200) << answer;
    EXPECT_NE(answer.find(R"({"status":"ok"})"), std::string::npos) << answer;
  }
  // The database goes away under the running server (a SQLite file open
  // in the server cannot be taken away from it).
  if (GetParam() == Engine::Sqlite) return;
  const QString name = db_.mid(db_.lastIndexOf('/') + 1);
  srv::OpenDb(PgAdminUrl())->script("DROP DATABASE " + name.toStdString() + " WITH (FORCE)");
  RawSocket s(port_);
  ASSERT_TRUE(s.Send("GET /health HTTP/1.1\r\nHost: x\r\n\r\n"));
  const std::string answer = s.Receive(1000);
  EXPECT_EQ(StatusOf(answer), 503) << answer;
  EXPECT_NE(answer.find("O banco de dados não responde"), std::string::npos) << answer;
}

// After PostgreSQL restarts, every pooled connection is dead: the next calls
// still succeed. Under a burst of cold answers the instance never holds more
// database connections than its bound, the rebuild's helpers included.
TEST(PostgresRestart, CallsSucceedAfterARestartWithinTheConnectionBound) {
  OwnCluster pg;
  if (const QString why = pg.Start(); !why.isEmpty())
    GTEST_SKIP() << "no PostgreSQL cluster of its own: " << why.toStdString();
  srv::SeedSampleDatabase(pg.url, CdcDir());
  srv::ServerOptions o = Options(pg.url);
  o.threads = 8;
  o.dbConnections = 4;
  srv::AppServer server(o);
  const int port = server.Start();

  std::atomic<bool> done{false};
  std::int64_t most = 0;
  std::thread sampler([&] {
    auto admin = srv::OpenDb(pg.url);
    while (!done)
      most = std::max(most, srv::QueryInt(*admin,
                                          "SELECT COUNT(*) FROM pg_stat_activity WHERE datname = "
                                          "'trp' AND pid <> pg_backend_pid()",
                                          {}, 0));
  });
  std::vector<std::thread> clients;
  clients.reserve(8);
  for (int i = 0; i < 8; ++i)
    clients.emplace_back([&, i] {
      Client c(port, kReader);
      for (const char* m : {"GetPercIdade", "GetPercAltura", "GetPercAlturaNCHS"}) {
        const Response r = c.Call(m);
        EXPECT_TRUE(r.ok()) << i << " " << m << ": " << r.error().toStdString();
      }
    });
  for (auto& t : clients) t.join();
  done = true;
  sampler.join();
  EXPECT_GE(most, 1);
  EXPECT_LE(most, o.dbConnections) << "database connections held by one instance";
  std::printf("[ measure ] at most %lld database connections (bound %d)\n", (long long)most,
              o.dbConnections);

  // After each restart the first call finds only dead connections: once a
  // change, once a read.
  Client reader(port, kReader), writer(port, kMaintainer);
  auto db = srv::OpenDb(pg.url);
  const auto audited = srv::QueryInt(*db, "SELECT COUNT(*) FROM AUDITORIA", {}, 0);
  db.reset();
  for (int k = 1; k <= 2; ++k) {
    SCOPED_TRACE(k == 1 ? "a change first" : "a read first");
    ASSERT_TRUE(pg.Restart());
    auto write = [&] {
      const Response w =
          writer.Call("SetPesAlt", {Delta("PESOALTU", {Insert(HeightRow("03", "050", k))})});
      EXPECT_TRUE(w.ok()) << w.error().toStdString();
    };
    if (k == 1) write();
    for (const char* m : {"GetPercAltura", "GetReferencia", "GetValidaAltura", "GetPercIdade"}) {
      SCOPED_TRACE(m);
      const Response r = std::string_view(m) == "GetValidaAltura"
                             ? reader.Call(m, {"01", "050", "45"})
                             : reader.Call(m);
      EXPECT_TRUE(r.ok()) << r.error().toStdString();
    }
    if (k == 2) write();
  }
  // Each change was made once.
  db = srv::OpenDb(pg.url);
  EXPECT_EQ(srv::QueryInt(*db, "SELECT COUNT(*) FROM PESOALTU WHERE CDREFEBIBL = '03'", {}, 0), 2);
  EXPECT_EQ(srv::QueryInt(*db, "SELECT COUNT(*) FROM AUDITORIA", {}, 0), audited + 2);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Engines, ReliabilityTest,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return EngineName(info.param); });
