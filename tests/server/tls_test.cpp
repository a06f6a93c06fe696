// TLS between the workstations and tabrelpeso-server: the host's connection
// verifies the server's certificate against the hospital's authority, refuses
// one it cannot verify, and the server takes nothing in clear.

#include "framework/net/netconnection.h"
#include "peer_support.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace srvtest;

namespace {

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QProcess make;
    make.start("bash", {QStringLiteral(TRP_SOURCE_DIR) + "/scripts/make-test-certs", dir_.path()});
    ASSERT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0)
        << make.readAllStandardError().toStdString();
    server_ = std::make_unique<ServerProcess>(
        Databases::Instance().Fresh(Engine::Sqlite), WriteTokensFile(dir_.path()),
        QStringList{"--tls-cert", Cert("server.pem"), "--tls-key", Cert("server.key")});
    ASSERT_GT(server_->port(), 0) << server_->process().readAllStandardError().toStdString();
  }
  QString Cert(const char* name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  std::unique_ptr<ServerProcess> server_;
};

TEST_F(TlsTest, TheHostCallsOverHttpsOnlyWithAVerifiedCertificate) {
  const struct {
    const char* host;
    QString caFile;
    bool ok;
    const char* message;
  } cases[] = {
      {"https://127.0.0.1", Cert("ca.pem"), true, ""},
      {"https://localhost", Cert("ca.pem"), true, ""},
      // The system's authorities do not know the hospital's.
      {"https://127.0.0.1", "", false, "certificado do servidor de aplicação"},
      {"http://127.0.0.1", Cert("ca.pem"), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " " + c.caFile.toStdString());
    fw::TNetConnection net(QStringLiteral("netTls"));
    net.SetServerName(QStringLiteral("Qel53600.rdmTabRelPeso"));
    net.SetHost(QString::fromLatin1(c.host));
    net.SetPort(server_->port());
    net.SetCaFile(c.caFile);
    net.SetToken(kReader);
    net.SetConnectTimeoutMs(2000);
    net.SetReadTimeoutMs(5000);
    const fw::ServerResult r = net.Call(QStringLiteral("GetReferencia"));
    EXPECT_EQ(r.ok, c.ok) << r.error.toStdString();
    EXPECT_EQ(r.error.isEmpty(), c.ok);
    EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.message))) << r.error.toStdString();
  }
}

// While idle connections keep arriving from its address, a workstation's
// handshake started late is neither cut nor kept waiting: shedding takes
// those that sent nothing.
TEST_F(TlsTest, AHandshakeStartedLateIsNotCutByIdleArrivals) {
  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<RawSocket>> idle;
  std::thread arrivals([&] {
    for (int i = 0; i < 500 && !stop; ++i) {
      idle.push_back(std::make_unique<RawSocket>(server_->port()));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int served = 0;
  for (int i = 0; i < 3; ++i) {
    fw::TNetConnection net(QStringLiteral("netTls"));
    net.SetServerName(QStringLiteral("Qel53600.rdmTabRelPeso"));
    net.SetHost(QStringLiteral("https://127.0.0.1"));
    net.SetPort(server_->port());
    net.SetCaFile(Cert("ca.pem"));
    net.SetToken(kReader);
    net.SetConnectTimeoutMs(5000);
    net.SetReadTimeoutMs(5000);
    const auto started = std::chrono::steady_clock::now();
    const fw::ServerResult r = net.Call(QStringLiteral("GetReferencia"));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_LT(ms, 1000);
    served += r.ok && ms < 1000;
  }
  stop = true;
  arrivals.join();
  EXPECT_EQ(served, 3);
}

// A workstation that speaks plain HTTP to a TLS server gets no answer: the
// server never reads a request (nor its token) outside TLS.
TEST_F(TlsTest, PlainHttpIsRefused) {
  RawSocket s(server_->port());
  const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia"})";
  s.Send("POST /Qel53600.rdmTabRelPeso HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
         kReader.toStdString() + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         body);
  const std::string answer = s.Receive(3000);
  EXPECT_TRUE(s.closed());
  EXPECT_EQ(answer.find("HTTP/1.1"), std::string::npos) << answer;
  EXPECT_EQ(answer.find("GetReferencia"), std::string::npos) << answer;
  const QString log = server_->StopAndLog();
  EXPECT_FALSE(log.contains("GetReferencia")) << log.toStdString();
}

TEST(TlsOptions, MissingOrMismatchedFilesStopTheServerWithAMessage) {
  QTemporaryDir dir;
  QProcess make;
  make.start("bash", {QStringLiteral(TRP_SOURCE_DIR) + "/scripts/make-test-certs", dir.path()});
  ASSERT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0);
  const QString db = Databases::Instance().Fresh(Engine::Sqlite);
  const struct {
    QStringList args;
    const char* message;
  } cases[] = {
      {{"--tls-cert", dir.filePath("nada.pem"), "--tls-key", dir.filePath("server.key")},
       "certificado não pôde ser lido"},
      {{"--tls-cert", dir.filePath("server.pem"), "--tls-key", dir.filePath("ca.key")},
       "não corresponde ao certificado"},
      {{"--tls-cert", dir.filePath("server.pem"), "--tls-key", dir.filePath("server.pem")},
       "chave privada"},
      {{"--tls-cert", dir.filePath("server.pem")}, "devem ser dados juntos"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ServerProcess server(db, WriteTokensFile(dir.path()), c.args);
    EXPECT_EQ(server.port(), 0);
    server.process().waitForFinished(10000);
    EXPECT_NE(server.process().exitCode(), 0);
    const QString err = QString::fromUtf8(server.process().readAllStandardError());
    EXPECT_TRUE(err.contains(QString::fromUtf8(c.message))) << err.toStdString();
  }
}

}  // namespace
