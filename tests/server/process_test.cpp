// The tabrelpeso-server executable: options, start on a free port, clean stop
// on SIGTERM, and no acknowledged change lost (nor half applied) when the
// process is killed in the middle of a stream of posts.

#include "support.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <atomic>
#include <fstream>
#include <thread>

using namespace srvtest;

namespace {

QString Bin(const char* name) {
  const QString dir = qEnvironmentVariable("TRP_BUILD_DIR");
  return dir.isEmpty()
             ? QFileInfo(QStringLiteral(TRP_SERVER_EXE)).path() + "/" + QLatin1String(name)
             : dir + QStringLiteral("/bin/") + QLatin1String(name);
}

class ServerProcess {
 public:
  ServerProcess(const QString& database, const QString& tokensFile) {
    proc_.start(Bin("tabrelpeso-server"), {"--listen", "127.0.0.1:0", "--db", database, "--tokens",
                                           tokensFile, "--threads", "4"});
    if (!proc_.waitForStarted(10000)) return;
    while (port_ == 0 && proc_.waitForReadyRead(20000)) {
      const QByteArray line = proc_.readLine().trimmed();
      if (line.startsWith("listening on 127.0.0.1:")) port_ = line.mid(23).toInt();
    }
  }
  ~ServerProcess() {
    if (proc_.state() != QProcess::NotRunning) {
      proc_.kill();
      proc_.waitForFinished(5000);
    }
  }
  int port() const { return port_; }
  QProcess& process() { return proc_; }

 private:
  QProcess proc_;
  int port_ = 0;
};

class ProcessTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
    tokens_ = dir_.filePath("tokens");
    std::ofstream(tokens_.toStdString()) << "# equipe de nutrição\n"
                                         << "maria maintainer " << kMaintainer.toStdString() << "\n"
                                         << "joao reader " << kReader.toStdString() << "\n";
  }
  QTemporaryDir dir_;
  QString db_;
  QString tokens_;
};

QJsonArray AgeRow(int k) {
  QJsonArray r{"050", "04", k % 12, k / 12};
  for (int i = 0; i < 18; ++i) r.append(k + i * 0.25);
  return r;
}

TEST_P(ProcessTest, StartsOnAFreePortAnswersAndStopsOnSigterm) {
  ServerProcess server(db_, tokens_);
  ASSERT_GT(server.port(), 0) << server.process().readAllStandardError().toStdString();
  Client client(server.port(), kMaintainer);
  EXPECT_TRUE(client.Call("GetReferencia").ok());
  client.SetToken(kReader);
  EXPECT_TRUE(client.Call("GetPercAltura").ok());
  EXPECT_FALSE(client.Call("DeletaIdade", {"01", "050", ""}).ok());
  server.process().terminate();
  ASSERT_TRUE(server.process().waitForFinished(10000));
  EXPECT_EQ(server.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server.process().exitCode(), 0);
  // One log line per call: method, duration, outcome.
  const QString log = QString::fromUtf8(server.process().readAllStandardError());
  EXPECT_TRUE(log.contains(QRegularExpression("GetReferencia [0-9.]+ ms ok"))) << log.toStdString();
  EXPECT_TRUE(log.contains(QRegularExpression("GetPercAltura [0-9.]+ ms ok"))) << log.toStdString();
  // A refused call names who made it.
  EXPECT_TRUE(
      log.contains(QRegularExpression("DeletaIdade [0-9.]+ ms error .*\\(usuário joao\\)\n")))
      << log.toStdString();
}

TEST_P(ProcessTest, SigkillDuringPostsLosesNoAcknowledgedChange) {
  constexpr int kRowsPerDelta = 3;
  std::vector<int> acknowledged;
  {
    ServerProcess server(db_, tokens_);
    ASSERT_GT(server.port(), 0);
    std::atomic<int> acks{0};
    std::thread poster([&] {
      Client client(server.port(), kMaintainer);
      for (int d = 0; d < 2000; ++d) {
        QJsonArray changes;
        for (int i = 0; i < kRowsPerDelta; ++i)
          changes.append(Insert(AgeRow(d * kRowsPerDelta + i)));
        if (!client.Call("SetIdPesAlt", {Delta("PESALTIDADE", changes)}).ok()) return;
        acknowledged.push_back(d);
        ++acks;
      }
    });
    while (acks < 25) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.process().kill();  // SIGKILL
    poster.join();
    server.process().waitForFinished(5000);
  }
  ASSERT_GE(acknowledged.size(), 25u);

  ServerProcess restarted(db_, tokens_);
  ASSERT_GT(restarted.port(), 0);
  Client client(restarted.port(), kMaintainer);
  const Response pair = client.Call("GetPercIdade");
  ASSERT_TRUE(pair.ok());
  std::map<int, int> rowsPerDelta;
  for (const QJsonValue& v : Rows(pair.result().toArray()[1])) {
    const QJsonArray a = v.toArray();
    if (a[1] != "04") continue;
    const int k = a[3].toInt() * 12 + a[2].toInt();
    EXPECT_EQ(a, AgeRow(k));  // complete, as posted
    ++rowsPerDelta[k / kRowsPerDelta];
  }
  for (int d : acknowledged) EXPECT_EQ(rowsPerDelta[d], kRowsPerDelta) << "delta " << d << " lost";
  for (const auto& [d, n] : rowsPerDelta)
    EXPECT_EQ(n, kRowsPerDelta) << "delta " << d << " half applied";
  EXPECT_LE(rowsPerDelta.size(), acknowledged.size() + 1);
  // Audit rows went in with their changes, in the same transactions.
  auto db = srv::OpenDb(db_);
  EXPECT_EQ(
      srv::QueryInt(*db, "SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'SetIdPesAlt'", {}, -1),
      qint64(rowsPerDelta.size()) * kRowsPerDelta);
}

INSTANTIATE_TEST_SUITE_P(Engines, ProcessTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST(ServerTokens, FileWithCommentsAndGeneratedTokens) {
  QTemporaryDir dir;
  const QString path = dir.filePath("tokens");
  std::ofstream(path.toStdString()) << "# quem, papel, credencial\n\n"
                                    << "maria maintainer abc123  # chefe da nutrição\n"
                                    << "   joao   reader   def456\n";
  const QList<srv::Token> tokens = srv::ReadTokensFile(path);
  ASSERT_EQ(tokens.size(), 2);
  EXPECT_EQ(tokens[0].name, "maria");
  EXPECT_EQ(tokens[0].role, "maintainer");
  EXPECT_EQ(tokens[0].token, "abc123");
  EXPECT_EQ(tokens[1].name, "joao");
  EXPECT_EQ(tokens[1].role, "reader");
  EXPECT_EQ(tokens[1].token, "def456");

  const QString a = srv::GenerateToken(), b = srv::GenerateToken();
  EXPECT_NE(a, b);
  EXPECT_TRUE(QRegularExpression("^[0-9a-f]{64}$").match(a).hasMatch()) << a.toStdString();
}

TEST(ServerCommandLine, HelpAndBadOptions) {
  struct Case {
    QStringList args;
    int exitCode;
    QString text;  // in stdout for --help, in stderr otherwise
  };
  QTemporaryDir dir;
  const QString tokens = dir.filePath("tokens");
  std::ofstream(tokens.toStdString()) << "maria chefe abc\n";
  const QString longName = dir.filePath("long");
  std::ofstream(longName.toStdString()) << std::string(61, 'a') << " reader abc\n";
  const std::vector<Case> cases{
      {{"--help"}, 0, "--listen HOST:PORTA"},
      {{"--bogus"}, 2, "opção desconhecida: '--bogus'"},
      {{"--tokens", tokens}, 2, "informe o banco com --db"},
      {{"--db", dir.filePath("x.db")}, 2, "informe as credenciais com --tokens"},
      {{"--db", dir.filePath("x.db"), "--listen", "localhost"}, 2, "endereço inválido"},
      {{"--db", dir.filePath("x.db"), "--threads", "0"}, 2, "--threads exige"},
      {{"--help"}, 0, "--db-connections N"},
      {{"--db", dir.filePath("x.db"), "--db-connections", "0"}, 2, "--db-connections exige"},
      {{"--db", dir.filePath("x.db"), "--max-per-peer", "x"}, 2, "--max-per-peer exige"},
      {{"--db", dir.filePath("x.db"), "--idle-timeout", "3601"},
       2,
       "--idle-timeout exige um número de 1 a 3600"},
      {{"--db", dir.filePath("x.db"), "--max-connections"}, 2, "--max-connections exige"},
      {{"--db", dir.filePath("x.db"), "--tokens", tokens}, 1, "linha 1"},
      {{"--db", dir.filePath("x.db"), "--tokens", longName}, 1, "mais de 60 caracteres"},
      {{"--db", dir.filePath("x.db"), "--tokens", dir.filePath("none")},
       1,
       "Não foi possível ler o arquivo de credenciais"},
  };
  for (const Case& c : cases) {
    QProcess p;
    p.start(Bin("tabrelpeso-server"), c.args);
    ASSERT_TRUE(p.waitForFinished(10000)) << c.args.join(' ').toStdString();
    EXPECT_EQ(p.exitCode(), c.exitCode) << c.args.join(' ').toStdString();
    const QString out =
        QString::fromUtf8(c.exitCode == 0 ? p.readAllStandardOutput() : p.readAllStandardError());
    EXPECT_TRUE(out.contains(c.text))
        << c.args.join(' ').toStdString() << ": " << out.toStdString();
  }
}

}  // namespace
