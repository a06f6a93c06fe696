// The server against hostile or unlucky peers, as a real process: no secret
// in any answer, bounded memory before the token, deadlines for slow peers.

#include "peer_support.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>


using namespace srvtest;

namespace {

// The password of the database never leaves the server: not in /health, not
// in a failed call's message, not in its log, not when it cannot start.
TEST(Secrets, TheDatabasePasswordIsInNoAnswerAndNoLogLine) {
  if (PgAdminUrl().isEmpty())
    GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
  const QString db = Databases::Instance().Fresh(Engine::Postgres);
  ASSERT_TRUE(db.startsWith("postgresql://trp@"));
  const std::string secrets[] = {"Senha-Plantada-1", "Senha-Plantada-2"};
  // The cluster trusts local users: the passwords are carried, never checked.
  const QString planted = QString(db).replace("trp@", QString("trp:%1@").arg(secrets[0].c_str())) +
                          "?password=" + secrets[1].c_str();
  QTemporaryDir dir;
  ServerProcess server(planted, WriteTokensFile(dir.path()), {"--log", "info"});
  ASSERT_GT(server.port(), 0) << server.process().readAllStandardError().toStdString();
  ASSERT_TRUE(Client(server.port(), kReader).Call("GetReferencia").ok());

  const QString name = db.mid(db.lastIndexOf('/') + 1);
  srv::OpenDb(PgAdminUrl())->script("DROP DATABASE " + name.toStdString() + " WITH (FORCE)");
  std::vector<std::string> answers;
  {
    RawSocket s(server.port());
    s.Send("GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
    answers.push_back(s.Receive(2000));
    EXPECT_EQ(StatusOf(answers.back()), 503) << answers.back();
  }
  Client maintainer(server.port(), kMaintainer), reader(server.port(), kReader);
  const Response failed[] = {
      reader.Call("GetPercAltura"), reader.Call("GetReferencia"),
      maintainer.Call("SetPesAlt", {Delta("PESOALTU", {Insert({45.5, 10.0, "050", "03", 11.0})})})};
  for (const Response& r : failed) {
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error().isEmpty()) << r.status << " " << &r - failed;
    answers.push_back(r.error().toStdString());
  }
  answers.push_back(server.StopAndLog().toStdString());
  // Nor when it cannot start on that database.
  ServerProcess again(planted, WriteTokensFile(dir.path()));
  EXPECT_EQ(again.port(), 0);
  again.process().waitForFinished(10000);
  answers.push_back(again.process().readAllStandardError().toStdString());
  EXPECT_NE(answers.back().find("***"), std::string::npos) << answers.back();

  for (const std::string& answer : answers)
    for (const std::string& secret : secrets)
      EXPECT_EQ(answer.find(secret), std::string::npos) << answer;
}

}  // namespace
