// The server connection against the real application server (in-process,
// over a seeded SQLite file), a dead port and a server that never answers.

#include "framework/data/errors.h"
#include "framework/data/packet.h"
#include "framework/net/checkresult.h"
#include "framework/net/netconnection.h"
#include "framework/ui/host_services.h"
#include "framework/ui/scripted_dialogs.h"
#include "server/admin.h"
#include "server/app_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Sockets and the server's Qt parts want an application object.
class QtApp : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "net_connection";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};
const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

const QString kServerName = QStringLiteral("Qel53600.rdmTabRelPeso");
const QString kMaintainer = QStringLiteral("tok-manutencao-1");
const QString kReader = QStringLiteral("tok-leitura-2");

class ServerConnection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    const QString db = dir_->filePath("tabrelpeso.db");
    srv::SeedSampleDatabase(db, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
    srv::ServerOptions options;
    options.port = 0;
    options.database = db;
    options.threads = 2;
    options.logLevel = QStringLiteral("quiet");
    options.tokens = {{"ana", "maintainer", kMaintainer}, {"bia", "reader", kReader}};
    server_ = new srv::AppServer(options);
    port_ = server_->Start();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  void TearDown() override { fw::Host::Instance().Reset(); }

  // A connection configured the way the screens do it: host and port set by
  // the before-connect handler.
  std::unique_ptr<fw::TNetConnection> Connection(const QString& token = kMaintainer) {
    auto net = std::make_unique<fw::TNetConnection>("netTabRelPeso");
    net->SetServerName(kServerName);
    net->SetToken(token);
    net->BeforeConnect = [](fw::TNetConnection& c) {
      c.SetHost(QStringLiteral("127.0.0.1"));
      c.SetPort(port_);
    };
    return net;
  }

  static inline QTemporaryDir* dir_ = nullptr;
  static inline srv::AppServer* server_ = nullptr;
  static inline int port_ = 0;
};

TEST_F(ServerConnection, ConnectsAfterBeforeConnectAndCallsGetReferencia) {
  auto net = Connection();
  EXPECT_EQ(net->objectName(), "netTabRelPeso");
  EXPECT_EQ(net->ServerName(), "Qel53600.rdmTabRelPeso");
  int changes = 0;
  QObject::connect(net.get(), &fw::TNetConnection::connectedChanged, [&](bool) { ++changes; });
  net->SetConnected(true);
  EXPECT_TRUE(net->Connected());
  EXPECT_EQ(net->Port(), port_);
  EXPECT_EQ(changes, 1);

  const fw::ServerResult result = net->Call("GetReferencia");
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  const auto packet = result.payload.value<fw::DataPacket>();
  EXPECT_GE(packet.fieldIndex(u"CDREFEBIBL"), 0);
  EXPECT_GE(packet.fieldIndex(u"NMREFEBIBL"), 0);
  ASSERT_GT(packet.rowCount(), 0);
  EXPECT_EQ(packet.value(0, packet.fieldIndex(u"CDREFEBIBL")).toString(), "01");

  net->SetConnected(false);
  EXPECT_FALSE(net->Connected());
  EXPECT_EQ(changes, 2);
}

TEST_F(ServerConnection, PairComesBackAsTwoPackets) {
  auto net = Connection();
  const struct {
    const char* method;
    const char* keyColumn;
  } pairs[] = {{"GetPercIdade", "NRIDADEINI"},
               {"GetPercAltura", "VRALTURA"},
               {"GetPercAlturaNCHS", "VRALTURAN2"}};
  for (const auto& p : pairs) {
    const fw::ServerResult result = net->Call(p.method);  // connects on first use
    ASSERT_TRUE(result.ok) << p.method << ": " << result.error.toStdString();
    const QVariantList pair = result.payload.toList();
    ASSERT_EQ(pair.size(), 2) << p.method;
    const auto percentiles = pair[0].value<fw::DataPacket>();
    const auto rows = pair[1].value<fw::DataPacket>();
    EXPECT_GE(percentiles.fieldIndex(u"CDPERCENTIL"), 0) << p.method;
    EXPECT_GE(percentiles.fieldIndex(u"NMPERCENTIL"), 0) << p.method;
    EXPECT_GT(percentiles.rowCount(), 0) << p.method;
    EXPECT_GE(rows.fieldIndex(QString::fromLatin1(p.keyColumn)), 0) << p.method;
    EXPECT_GT(rows.rowCount(), percentiles.rowCount()) << p.method;
  }
  EXPECT_TRUE(net->Connected());
}

TEST_F(ServerConnection, ArgumentsReachTheServer) {
  auto net = Connection();
  // An age of the sample (2 years, 0 months, P50 of reference 01) exists...
  fw::ServerResult taken =
      net->Call("GetValidaIdade", {QStringLiteral("01"), QStringLiteral("050"), 2.0, 0.0});
  ASSERT_TRUE(taken.ok) << taken.error.toStdString();
  EXPECT_EQ(taken.payload.value<fw::DataPacket>().rowCount(), 1);
  // ...and one of 900 years does not.
  fw::ServerResult free =
      net->Call("GetValidaIdade", {QStringLiteral("01"), QStringLiteral("050"), 900.0, 0.0});
  ASSERT_TRUE(free.ok) << free.error.toStdString();
  EXPECT_EQ(free.payload.value<fw::DataPacket>().rowCount(), 0);
}

TEST_F(ServerConnection, FailingCallsBringTheServersMessage) {
  auto net = Connection();
  const struct {
    QString method;
    QVariantList args;
    QString token;
  } failures[] = {
      {"MetodoQueNaoExiste", {}, kMaintainer},
      {"GetValidaIdade", {QStringLiteral("01")}, kMaintainer},  // too few arguments
      {"DeletaIdade", {QStringLiteral("01"), QStringLiteral("050"), QString()}, kReader},
  };
  for (const auto& f : failures) {
    auto c = Connection(f.token);
    const fw::ServerResult r = c->Call(f.method, f.args);
    EXPECT_FALSE(r.ok) << f.method.toStdString();
    EXPECT_FALSE(r.error.isEmpty()) << f.method.toStdString();
    EXPECT_FALSE(r.error.startsWith(QStringLiteral("Resposta inválida"))) << r.error.toStdString();
    EXPECT_TRUE(c->Connected()) << "a refused call does not drop the connection";
  }
  // The connection still works after a refusal.
  EXPECT_TRUE(net->Call("GetReferencia").ok);
}

TEST_F(ServerConnection, WrongOrMissingTokenIsRefused) {
  for (const QString& token : {QStringLiteral("credencial-errada"), QString()}) {
    auto net = Connection(token);
    const fw::ServerResult r = net->Call("GetReferencia");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error,
              QStringLiteral("Acesso negado pelo servidor de aplicação: credencial inválida."));
  }
}

TEST_F(ServerConnection, TakesTheHostsTokenWhenItHasNone) {
  fw::Host::Instance().SetToken(kReader);
  auto net = Connection(QString());
  net->SetConnected(true);
  EXPECT_EQ(net->Token(), kReader);
  EXPECT_TRUE(net->Call("GetReferencia").ok);
}

TEST_F(ServerConnection, CheckResultServGivesThePayloadOrShowsAndAborts) {
  fw::ScriptedDialogs dialogs;
  fw::ScopedDialogs use(dialogs);
  auto net = Connection();

  const QVariant payload = fw::CheckResultServ(net->Call("GetReferencia"), true, 0);
  EXPECT_GT(payload.value<fw::DataPacket>().rowCount(), 0);
  EXPECT_TRUE(dialogs.Messages().isEmpty());

  const fw::ServerResult failed = net->Call("MetodoQueNaoExiste");
  EXPECT_THROW(fw::CheckResultServ(failed, true, 0), fw::EAbort);
  ASSERT_EQ(dialogs.Messages().size(), 1);
  EXPECT_EQ(dialogs.LastMessage().text, failed.error);
  EXPECT_EQ(dialogs.LastMessage().type, fw::MsgType::Error);

  EXPECT_FALSE(fw::CheckResultServ(failed, false, 0).isValid());
  EXPECT_EQ(dialogs.Messages().size(), 2);
}

TEST_F(ServerConnection, CallsGetThroughAfterTheServerRestarts) {
  QTemporaryDir dir;
  const QString db = dir.filePath("reinicio.db");
  srv::ServerOptions options;
  options.port = 0;
  options.database = db;
  options.threads = 1;
  options.logLevel = QStringLiteral("quiet");
  options.tokens = {{"ana", "maintainer", kMaintainer}};
  auto server = std::make_unique<srv::AppServer>(options);
  const int port = server->Start();

  fw::TNetConnection net("netTabRelPeso");
  net.SetServerName(kServerName);
  net.SetToken(kMaintainer);
  net.SetHost(QStringLiteral("127.0.0.1"));
  net.SetPort(port);
  ASSERT_TRUE(net.Call("GetReferencia").ok);

  // The server goes away and comes back on the same port: the kept-alive
  // socket is dead, and the next call must still get through.
  server.reset();
  options.port = port;
  server = std::make_unique<srv::AppServer>(options);
  ASSERT_EQ(server->Start(), port);
  QThread::msleep(100);
  const fw::ServerResult r = net.Call("GetReferencia");
  EXPECT_TRUE(r.ok) << r.error.toStdString();
}

// A port where nobody listens: taken from the system, then released.
int DeadPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  const int port = probe.serverPort();
  probe.close();
  return port;
}

TEST(DeadServer, ConnectingNamesHostAndPort) {
  const int port = DeadPort();
  fw::TNetConnection net("netTabRelPeso");
  net.SetServerName(kServerName);
  net.SetToken(kMaintainer);
  net.BeforeConnect = [port](fw::TNetConnection& c) {
    c.SetHost(QStringLiteral("127.0.0.1"));
    c.SetPort(port);
  };
  const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
  QElapsedTimer clock;
  clock.start();
  try {
    net.SetConnected(true);
    ADD_FAILURE() << "connected to a dead port";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().startsWith(
        QStringLiteral("Não foi possível conectar ao servidor de aplicação em ")))
        << e.message().toStdString();
    EXPECT_TRUE(e.message().contains(address)) << e.message().toStdString();
  }
  EXPECT_FALSE(net.Connected());

  const fw::ServerResult r = net.Call("GetReferencia");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.error.contains(address)) << r.error.toStdString();
  // Bounded by the connect time-out, not by the system's minutes-long default.
  EXPECT_LT(clock.elapsed(), 2 * net.ConnectTimeoutMs() + 2000);
}

TEST(DeadServer, ServerThatNeverAnswersTimesOut) {
  // The kernel accepts the connection; nobody ever reads or writes.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  fw::TNetConnection net("netTabRelPeso");
  net.SetServerName(kServerName);
  net.SetToken(kMaintainer);
  net.SetHost(QStringLiteral("127.0.0.1"));
  net.SetPort(silent.serverPort());
  net.SetReadTimeoutMs(300);
  try {
    net.SetConnected(true);
    ADD_FAILURE() << "connected to a server that never answers";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("não respondeu a tempo")))
        << e.message().toStdString();
    EXPECT_TRUE(e.message().contains(net.Address()));
  }
}

TEST(DeadServer, MissingNameOrAddressIsRefusedBeforeTrying) {
  fw::TNetConnection unnamed("netSemNome");
  unnamed.SetHost(QStringLiteral("127.0.0.1"));
  unnamed.SetPort(DeadPort());
  try {
    unnamed.SetConnected(true);
    ADD_FAILURE() << "connected without a server name";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains("netSemNome")) << e.message().toStdString();
    EXPECT_TRUE(e.message().contains("ServerName")) << e.message().toStdString();
  }

  fw::TNetConnection net("netTabRelPeso");
  net.SetServerName(kServerName);
  net.BeforeConnect = [](fw::TNetConnection& c) {
    c.SetHost(QString());
    c.SetPort(0);
  };
  EXPECT_THROW(net.SetConnected(true), fw::Error);
  EXPECT_FALSE(net.Connected());
  EXPECT_FALSE(net.Call("GetReferencia").ok);
}

}  // namespace
