// The server against hostile or unlucky peers, as a real process: no secret
// in any answer, bounded memory before the token, deadlines for slow peers.

#include "peer_support.h"
#include "server/service.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace srvtest;

namespace {

QString AdminBin() {
  const QString dir = qEnvironmentVariable("TRP_BUILD_DIR");
  return dir.isEmpty() ? QStringLiteral(TRP_ADMIN_EXE)
                       : dir + QStringLiteral("/bin/tabrelpeso-admin");
}

// What a test of an address form needs: the address with its planted
// passwords, and an environment password when the form uses one.
struct AddressForm {
  const char* name;
  QString address;
  std::vector<std::string> secrets;
  std::string envPassword;  // PGPASSWORD for the server and the tool
};

// Every form of address libpq reads, each with a password where that form
// puts one. The cluster trusts local users: passwords are carried, not checked.
std::vector<AddressForm> AddressForms(const QString& db) {
  const QUrl url(db);
  const QString host = url.host(), port = QString::number(url.port()), name = url.path().mid(1);
  const QString base = "postgresql://trp:%1@" + host + ":" + port + "/" + name;
  const QString noPass = "postgresql://trp@" + host + ":" + port + "/" + name;
  return {
      {"user part and parameter",
       base.arg("Plantada-A1") + "?password=Plantada-A2",
       {"Plantada-A1", "Plantada-A2"},
       ""},
      {"percent-encoded keys",
       noPass + "?passwor%64=Plantada-B1&%73slpassword=Plantada-B2",
       {"Plantada-B1", "Plantada-B2"},
       ""},
      {"percent-encoded / and @ in the password",
       base.arg("Plantada-C1%2Fx%40y"),
       {"Plantada-C1"},
       ""},
      {"keyword/value",
       "host=" + host + " port=" + port + " dbname=" + name +
           " user=trp password='Plantada-D1 x' sslpassword=Plantada-D2",
       {"Plantada-D1", "Plantada-D2"},
       ""},
      {"PGPASSWORD", noPass, {"Plantada-E1"}, "Plantada-E1"},
  };
}

// The password of the database never leaves the server in any form of its
// address: not in /health, not in a failed call's message, not in its log,
// not when it cannot start, not in the admin tool's messages.
TEST(Secrets, NoFormOfAddressShowsItsPassword) {
  if (PgAdminUrl().isEmpty())
    GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
  const size_t forms = AddressForms("postgresql://trp@127.0.0.1:1/x").size();
  for (size_t i = 0; i < forms; ++i) {
    const QString db = Databases::Instance().Fresh(Engine::Postgres);
    const AddressForm planted = AddressForms(db)[i];
    SCOPED_TRACE(planted.name);
    if (!planted.envPassword.empty()) qputenv("PGPASSWORD", planted.envPassword.c_str());
    QTemporaryDir dir;
    std::vector<std::string> answers;
    {
      ServerProcess server(planted.address, WriteTokensFile(dir.path()), {"--log", "info"});
      ASSERT_GT(server.port(), 0) << server.process().readAllStandardError().toStdString();
      ASSERT_TRUE(Client(server.port(), kReader).Call("GetReferencia").ok());
      const QString name = db.mid(db.lastIndexOf('/') + 1);
      srv::OpenDb(PgAdminUrl())->script("DROP DATABASE " + name.toStdString() + " WITH (FORCE)");
      RawSocket s(server.port());
      s.Send("GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
      answers.push_back(s.Receive(2000));
      EXPECT_EQ(StatusOf(answers.back()), 503) << answers.back();
      Client maintainer(server.port(), kMaintainer), reader(server.port(), kReader);
      const Response failed[] = {
          reader.Call("GetPercAltura"), reader.Call("GetReferencia"),
          maintainer.Call("SetPesAlt",
                          {Delta("PESOALTU", {Insert({45.5, 10.0, "050", "03", 11.0})})})};
      for (const Response& r : failed) {
        EXPECT_FALSE(r.ok());
        EXPECT_FALSE(r.error().isEmpty()) << r.status << " " << &r - failed;
        answers.push_back(r.error().toStdString());
      }
      answers.push_back(server.StopAndLog().toStdString());
    }
    // Nor when it cannot start on that database, nor in the admin tool.
    ServerProcess again(planted.address, WriteTokensFile(dir.path()));
    EXPECT_EQ(again.port(), 0);
    again.process().waitForFinished(10000);
    answers.push_back(again.process().readAllStandardError().toStdString());
    EXPECT_NE(answers.back().find("127.0.0.1"), std::string::npos) << answers.back();
    const ToolRun tool = RunTool(AdminBin(), {"reference", "list", "--db", planted.address});
    EXPECT_EQ(tool.exitCode, 1);
    answers.push_back((tool.out + tool.err).toStdString());
    qunsetenv("PGPASSWORD");
    for (const std::string& answer : answers)
      for (const std::string& secret : planted.secrets)
        EXPECT_EQ(answer.find(secret), std::string::npos) << answer;
  }
}

// A raw '/' or '@' in a password makes libpq take part of it for the host or
// the database: such an address is refused naming none of its parts.
TEST(Secrets, AnAmbiguousAddressIsRefusedWithoutItsParts) {
  QTemporaryDir dir;
  for (const char* address : {"postgresql://trp:Plantada-F1/x@127.0.0.1:1/banco",
                              "postgresql://trp:Plantada-F1@x@127.0.0.1:1/banco",
                              "postgresql://trp@127.0.0.1:1/banco?password=Plantada-F1&x",
                              "host=127.0.0.1 port=1 password=Plantada-F1 x"}) {
    SCOPED_TRACE(address);
    ServerProcess server(address, WriteTokensFile(dir.path()));
    EXPECT_EQ(server.port(), 0);
    server.process().waitForFinished(10000);
    const ToolRun tool = RunTool(AdminBin(), {"reference", "list", "--db", address});
    EXPECT_EQ(tool.exitCode, 1);
    for (const std::string& said :
         {server.process().readAllStandardError().toStdString(), tool.err.toStdString()}) {
      EXPECT_NE(said.find("PostgreSQL"), std::string::npos) << said;
      EXPECT_EQ(said.find("Plantada"), std::string::npos) << said;
    }
  }
}

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const std::string kPost = "POST /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\n";
const std::string kCall = R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia"})";

std::string Bearer(const QString& token) {
  return "Authorization: Bearer " + token.toStdString() + "\r\n";
}

// The highest resident memory of the server while `work` runs.
template <class Work>
double PeakRssDuring(const ServerProcess& server, Work work) {
  std::atomic<bool> done{false};
  double peak = server.RssMib();
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak, server.RssMib());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  work();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  done = true;
  sampler.join();
  return peak;
}

class HardeningTest : public ::testing::Test {
 protected:
  void Start(const QStringList& extra = {}) {
    server_ = std::make_unique<ServerProcess>(Databases::Instance().Fresh(Engine::Sqlite),
                                              WriteTokensFile(dir_.path()), extra);
    ASSERT_GT(server_->port(), 0) << server_->process().readAllStandardError().toStdString();
    port_ = server_->port();
  }
  QTemporaryDir dir_;
  std::unique_ptr<ServerProcess> server_;
  int port_ = 0;
};

// A refused request ends its connection: what follows on it is never taken
// for a request of its own.
TEST_F(HardeningTest, ABadRequestEndsTheConnection) {
  Start();
  const std::string call = kPost + Bearer(kReader) +
                           "Content-Length: " + std::to_string(kCall.size()) + "\r\n\r\n" + kCall;
  for (const std::string& bad : std::vector<std::string>{
           "BROKEN LINE\r\n\r\n", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 1x\r\n\r\n",
           kPost + "Transfer-Encoding: chunked\r\n" + Bearer(kReader) + "\r\nzz\r\n"}) {
    SCOPED_TRACE(bad);
    RawSocket s(port_);
    s.Send(bad + call);
    const std::string answer = s.Receive(2000);
    EXPECT_EQ(StatusOf(answer), 400) << answer;
    EXPECT_TRUE(s.closed());
    EXPECT_EQ(answer.find("HTTP/1.1 200"), std::string::npos) << answer;
  }
}

// A declared length beyond the limit is answered before any of it is sent.
TEST_F(HardeningTest, AnAbsurdLengthIsRefusedAtOnce) {
  Start();
  for (const char* length : {"1099511627776", "17825792", "99999999999999999999999999"}) {
    for (const QString& token : {kMaintainer, QString("wrong")}) {
      SCOPED_TRACE(std::string(length) + " " + token.toStdString());
      RawSocket s(port_);
      const auto started = Clock::now();
      s.Send(kPost + Bearer(token) + "Content-Length: " + length + "\r\n\r\n{");
      const std::string answer = s.Receive(500);
      EXPECT_LT(MsSince(started), 1000.0);
      EXPECT_EQ(StatusOf(answer), 413) << answer;
      s.Receive(2000);
      EXPECT_NE(answer.find("16 MiB"), std::string::npos) << answer;
      EXPECT_TRUE(s.closed());
    }
  }
  EXPECT_TRUE(Client(port_, kReader).Call("GetReferencia").ok());
}

// Floods without a length: the server reads no more than its limits and
// its memory stays bounded while they run.
TEST_F(HardeningTest, FloodsBeforeTheTokenKeepMemoryBounded) {
  Start();
  const std::string mib(1 << 20, 'a');
  const std::string chunk = "100000\r\n" + mib + "\r\n";
  std::string headerLines;
  for (int i = 0; i < 1024; ++i) headerLines += "X-Pad: " + std::string(1016, 'b') + "\r\n";
  const struct {
    const char* name;
    std::string head;
    const std::string& repeated;
    int status;
  } floods[] = {
      {"chunked body, valid token", kPost + Bearer(kReader) + "Transfer-Encoding: chunked\r\n\r\n",
       chunk, 413},
      {"chunked body, no token", kPost + "Transfer-Encoding: chunked\r\n\r\n", chunk, 401},
      {"header lines", kPost, headerLines, 431},
  };
  const double before = server_->RssMib();
  for (const auto& f : floods) {
    SCOPED_TRACE(f.name);
    RawSocket s(port_);
    size_t sent = 0;
    std::string answer;
    const double peak = PeakRssDuring(*server_, [&] {
      bool open = s.Send(f.head);
      // 200 MiB, or until the server stops taking them.
      for (int i = 0; open && i < 200; ++i) {
        open = s.Send(f.repeated, 3000);
        if (open) sent += f.repeated.size();
      }
      answer = s.Receive(2000);
    });
    std::printf("[ measure ] %s: %.0f MiB sent, server RSS %.1f MiB at most (%.1f before)\n",
                f.name, double(sent) / (1 << 20), peak, before);
    EXPECT_EQ(StatusOf(answer), f.status) << answer.substr(0, 300);
    EXPECT_LT(peak, before + 64) << f.name;
    EXPECT_LT(sent, size_t{40} << 20);
  }
  EXPECT_TRUE(Client(port_, kReader).Call("GetReferencia").ok());
}

// Resident memory once it settles: the lowest of a few samples over `ms`.
double SettledRssMib(const ServerProcess& server, int ms) {
  double low = server.RssMib();
  for (int waited = 0; waited < ms; waited += 100) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    low = std::min(low, server.RssMib());
  }
  return low;
}

// Large bodies with a valid token: each is parsed into a tree several times
// its size, so many at once must not multiply the server's memory. A body
// the budget cannot take now is answered at once ("servidor ocupado"), and
// the memory goes back to the system once they are done.
TEST_F(HardeningTest, LargeBodiesAtOnceKeepMemoryBoundedAndGiveItBack) {
  Start();
  constexpr int kAtOnce = 8;
  const std::string prefix = R"({"jsonrpc":"2.0","id":7,"method":"GetReferencia","params":[[)";
  std::string numbers;
  while (numbers.size() + prefix.size() + 8 < size_t{16} << 20) numbers += "0,";
  const std::string body = prefix + numbers + "0]]}";
  const std::string request = kPost + Bearer(kReader) + "Connection: close\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
  const double idle = SettledRssMib(*server_, 500);
  double peak = 0;
  // From one address (a workstation, the balancer), then from eight.
  for (const int addresses : {1, kAtOnce}) {
    std::vector<std::string> answers(kAtOnce);
    const double round = PeakRssDuring(*server_, [&] {
      std::vector<std::thread> peers;
      for (int i = 0; i < kAtOnce; ++i)
        peers.emplace_back([&, i] {
          const std::string from = "127.0.0." + std::to_string(1 + i % addresses);
          RawSocket s(port_, from.c_str());
          s.Send(request, 20000);
          answers[size_t(i)] = s.Receive(60000);
        });
      for (std::thread& t : peers) t.join();
    });
    peak = std::max(peak, round);
    int served = 0;
    for (const std::string& answer : answers) {
      if (StatusOf(answer) == 200) {
        ++served;
        EXPECT_NE(answer.find("\"id\":7"), std::string::npos) << answer.substr(0, 300);
      } else {
        EXPECT_EQ(StatusOf(answer), 503) << answer.substr(0, 300);
        EXPECT_NE(answer.find("Servidor ocupado, tente de novo"), std::string::npos) << answer;
      }
    }
    std::printf(
        "[ measure ] %d bodies of %.0f MiB at once from %d address(es): %d served, the "
        "others refused at once; server RSS %.1f MiB at most\n",
        kAtOnce, double(body.size()) / (1 << 20), addresses, served, round);
    EXPECT_GE(served, 1);
  }
  // Smaller bodies, one after another, as a workstation sends them.
  const std::string half = prefix + numbers.substr(0, 6 << 20) + "0]]}";
  for (int i = 0; i < 4; ++i) {
    RawSocket s(port_);
    s.Send(kPost + Bearer(kReader) + "Connection: close\r\nContent-Length: " +
               std::to_string(half.size()) + "\r\n\r\n" + half,
           20000);
    EXPECT_EQ(StatusOf(s.Receive(60000)), 200);
  }
  const auto settling = Clock::now();
  double after = server_->RssMib();
  while (after > idle + 50 && MsSince(settling) < 10000) after = SettledRssMib(*server_, 500);
  std::printf(
      "[ measure ] large bodies: server RSS %.1f MiB at most, %.1f idle before, %.1f after "
      "%.1f s\n",
      peak, idle, after, MsSince(settling) / 1000);
  // Under the address sanitizer freed memory is held back on purpose, so
  // the figures say nothing there.
#ifndef __SANITIZE_ADDRESS__
  EXPECT_LT(peak, idle + 200);
  EXPECT_LT(after, idle + 50);
#endif
  EXPECT_TRUE(Client(port_, kReader).Call("GetReferencia").ok());
}

// The longest of `calls` GetReferencia calls, each on a fresh connection
// (a newcomer must get in too), in ms; 1e9 when one fails.
double SlowestCall(int port, int calls) {
  double slowest = 0;
  for (int i = 0; i < calls; ++i) {
    const auto started = Clock::now();
    const Response r = Client(port, kReader).Call("GetReferencia");
    slowest = std::max(slowest, r.ok() ? MsSince(started) : 1e9);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return slowest;
}

// Peers that declare a body and then trickle bytes: one beyond the limit is
// answered 413 and closed at once, with or without a token, and one the
// budgets cannot take now is answered 503 at once; neither holds a thread,
// so a call beside them is served within a second.
TEST_F(HardeningTest, DeclaredBodiesThatWillNotBeAdmittedAreAnsweredAtOnce) {
  Start();
  constexpr int kPeers = 300;
  const struct {
    const char* name;
    std::string length;
    bool token;
    int status;
  } cases[] = {
      {"1 TB with a token", "1099511627776", true, 413},
      {"1 TB without a token", "1099511627776", false, 413},
      {"16 MiB each, beyond the budgets", std::to_string(16 << 20), true, 503},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<RawSocket>> peers;
    std::vector<std::string> answers;
    for (int i = 0; i < kPeers; ++i) {
      // From ten addresses, under the cap per address.
      const std::string from = "127.0.0." + std::to_string(2 + i % 10);
      peers.push_back(std::make_unique<RawSocket>(port_, from.c_str()));
      peers.back()->Send(kPost + (c.token ? Bearer(kReader) : "") + "Content-Length: " + c.length +
                         "\r\n\r\n{");
    }
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
      while (!stop) {
        for (auto& p : peers) p->Send("0", 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    const double slowest = SlowestCall(port_, 5);
    stop = true;
    trickle.join();
    std::printf("[ measure ] %s, %d peers trickling: slowest call beside them %.1f ms\n", c.name,
                kPeers, slowest);
    EXPECT_LT(slowest, 1000.0);
    // The first peers were admitted (budget) or answered; the later ones
    // got their answer and were closed.
    int answered = 0;
    for (int i = kPeers - 20; i < kPeers; ++i) {
      const std::string answer = peers[size_t(i)]->Receive(1000);
      if (StatusOf(answer) == c.status && peers[size_t(i)]->closed()) ++answered;
    }
    EXPECT_EQ(answered, 20);
  }
}

// Shedding under pressure takes connections that sent nothing: while idle
// connections keep arriving from its address, a request whose head takes
// 3 s is answered, not cut.
TEST_F(HardeningTest, SheddingSparesARequestThatIsStillArriving) {
  Start();
  const std::string call = kPost + Bearer(kReader) +
                           "Content-Length: " + std::to_string(kCall.size()) + "\r\n\r\n" + kCall;
  RawSocket slow(port_);
  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<RawSocket>> idle;
  std::thread arrivals([&] {
    for (int i = 0; i < 500 && !stop; ++i) {
      idle.push_back(std::make_unique<RawSocket>(port_));
      std::this_thread::sleep_for(std::chrono::milliseconds(6));
    }
  });
  // About 3 s for the whole request, in 30 pieces.
  const size_t piece = call.size() / 30 + 1;
  for (size_t at = 0; at < call.size(); at += piece) {
    EXPECT_TRUE(slow.Send(call.substr(at, piece))) << at;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const std::string answer = slow.Receive(3000);
  stop = true;
  arrivals.join();
  EXPECT_EQ(StatusOf(answer), 200) << answer;
  EXPECT_NE(answer.find("\"result\""), std::string::npos) << answer;
  EXPECT_LT(SlowestCall(port_, 3), 1000.0);
}

// Readers cannot take the connections of the calls that change data: a code
// named 400 times is assessed once, and more than the cap of distinct codes
// is refused; a maintainer's saves beside eight such readers are served
// within a second each.
TEST_F(HardeningTest, ReadersCannotStarveTheCallsThatChangeData) {
  // Thousands of calls: a line each on a pipe nobody reads would stall the server.
  Start({"--log", "warn"});
  QStringList repeated;
  for (int i = 0; i < 400; ++i) repeated << "01";
  const QJsonArray heavy{"F",          1522, QJsonValue(), QJsonValue(),      17,
                         QJsonValue(), "",   QJsonValue(), repeated.join(',')};
  const Response once = Client(port_, kReader).Call("AvaliaMedida", heavy);
  ASSERT_TRUE(once.ok()) << once.error().toStdString();
  for (const QJsonValue& row : Rows(once.result())) EXPECT_EQ(row.toArray().at(0).toString(), "01");
  QStringList distinct;
  for (int i = 0; i < 21; ++i) distinct << QString::number(10 + i);
  QJsonArray tooMany = heavy;
  tooMany[8] = distinct.join(',');
  const Response refused = Client(port_, kReader).Call("AvaliaMedida", tooMany);
  EXPECT_EQ(refused.body["error"].toObject()["code"].toInt(), -32602);
  EXPECT_TRUE(refused.error().contains("no máximo 20")) << refused.error().toStdString();

  std::atomic<bool> stop{false};
  std::atomic<int> readerFailures{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 8; ++i)
    readers.emplace_back([&] {
      Client reader(port_, kReader);
      while (!stop)
        if (!reader.Call("AvaliaMedida", heavy).ok()) ++readerFailures;
    });
  Client maintainer(port_, kMaintainer);
  double slowest = 0;
  for (int i = 0; i < 8; ++i) {
    const auto started = Clock::now();
    const Response r =
        maintainer.Call("IncluiReferencia", {QString("Z%1").arg(i), QString("Teste %1").arg(i),
                                             QJsonValue(), QJsonValue(), QJsonValue()});
    slowest = std::max(slowest, MsSince(started));
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  stop = true;
  for (std::thread& t : readers) t.join();
  std::printf(
      "[ measure ] beside 8 readers assessing a code named 400 times: slowest save %.1f ms\n",
      slowest);
  EXPECT_LT(slowest, 1000.0);
  EXPECT_EQ(readerFailures, 0);
}

// The pool keeps a share for the calls that change data, and a reading call
// that finds no connection within the wait gives up as overloaded.
TEST(DbPoolShare, ReadsLeaveConnectionsForWritesAndGiveUpAtTheirDeadline) {
  srv::DbPool pool(Databases::Instance().Fresh(Engine::Sqlite), 4, 300);
  std::vector<std::unique_ptr<srv::DbPool::Lease>> reads;
  {
    const srv::DbPool::ReadingCall reading;
    for (int i = 0; i < 3; ++i) reads.push_back(pool.tryAcquire());
    for (const auto& lease : reads) ASSERT_NE(lease, nullptr);
    EXPECT_EQ(pool.tryAcquire(), nullptr);
    const auto started = Clock::now();
    try {
      pool.acquire();
      ADD_FAILURE() << "a fourth read took the connection kept for writes";
    } catch (const srv::DbError& e) {
      EXPECT_EQ(e.kind(), srv::DbError::Kind::Overloaded);
    }
    EXPECT_LT(MsSince(started), 1000.0);
  }
  srv::DbPool::Lease write = pool.acquire();
  EXPECT_EQ(srv::QueryInt(*write, "SELECT 1", {}, 0), 1);
}

// A request that trickles in is cut at the deadline; 500 of them beside a
// workstation (behind the same address, as with a NAT) do not make its call
// wait, whatever the cap per address.
TEST_F(HardeningTest, SlowPeersAreCutAndNeverLockTheOthersOut) {
  constexpr int kSlow = 500;
  for (const char* perPeer : {"32", "512"}) {
    SCOPED_TRACE(perPeer);
    Start({"--request-timeout", "3", "--max-per-peer", perPeer});
    {
      RawSocket one(port_);
      const auto started = Clock::now();
      std::string answer;
      for (const char c : kPost + Bearer(kReader)) {
        if (!one.Send(std::string(1, c))) break;
        answer += one.Receive(100);
        if (one.closed()) break;
      }
      answer += one.Receive(2000);
      EXPECT_EQ(StatusOf(answer), 408) << answer;
      EXPECT_TRUE(one.closed());
      EXPECT_LT(MsSince(started), 4500.0);
    }
    std::vector<std::unique_ptr<RawSocket>> slow;
    for (int i = 0; i < kSlow; ++i) slow.push_back(std::make_unique<RawSocket>(port_));
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
      for (size_t at = 0; !stop; ++at) {
        for (auto& s : slow) s->Send(std::string(1, kPost[at % kPost.size()]), 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    double ms = 0;
    const double peak = PeakRssDuring(*server_, [&] {
      Client client(port_, kReader);
      const auto started = Clock::now();
      const Response r = client.Call("GetReferencia");
      ms = MsSince(started);
      EXPECT_TRUE(r.ok()) << r.status << " " << r.error().toStdString();
    });
    stop = true;
    trickle.join();
    std::printf(
        "[ measure ] max-per-peer %s: a call beside %d trickling connections waited "
        "%.1f ms; server RSS %.1f MiB at most\n",
        perPeer, kSlow, ms, peak);
    EXPECT_LT(ms, 1000.0);
  }
}

}  // namespace
