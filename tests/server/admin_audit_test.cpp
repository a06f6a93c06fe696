// tabrelpeso-admin audit as a user runs it: the history a server wrote,
// filtered, as text and as CSV, and bad options refused.

#include "support.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

using namespace srvtest;

namespace {

using AdminRun = ToolRun;
AdminRun Admin(const QStringList& args) { return RunTool(QStringLiteral(TRP_ADMIN_EXE), args, 60000); }

TEST(AdminAudit, PrintsTheServersHistoryFiltered) {
  const QString db = Databases::Instance().Fresh(Engine::Sqlite);
  {
    srv::AppServer server(Options(db));
    Client maria(server.Start(), kMaintainer);
    ASSERT_TRUE(maria.Call("DeletaAltura", {"01", "050", ""}).ok());
    ASSERT_TRUE(maria.Call("DeletaIdade", {"01", "010", ""}).ok());
  }
  const AdminRun csv = Admin({"audit", "--db", db, "--ref", "01", "--perc", "050", "--table", "height",
                         "--user", "maria", "--since", "2000-01-01", "--format", "csv"});
  ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
  const QStringList lines = csv.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_GT(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith("NRAUDITORIA;DTAUDITORIA;NMUSUARIO;OPERACAO"));
  for (const QString& line : lines.mid(1)) {
    const QStringList f = line.split(u';');
    EXPECT_EQ(f.value(2), "maria");
    EXPECT_EQ(f.value(3), "Exclusão");
    EXPECT_EQ(f.value(4), "PESOALTU");
    EXPECT_EQ(f.value(6), "050");
  }
  // Newest first.
  EXPECT_GT(lines[1].section(u';', 0, 0).toLongLong(), lines[2].section(u';', 0, 0).toLongLong());

  const AdminRun text = Admin({"audit", "--db", db, "--table", "age", "--user", "maria"});
  ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
  EXPECT_TRUE(text.out.contains("Exclusão")) << text.out.toStdString();
  EXPECT_FALSE(text.out.contains("PESOALTU"));
  EXPECT_TRUE(Admin({"audit", "--db", db, "--user", "ninguem"}).out.contains("Nenhum registro"));

  struct Bad {
    QStringList args;
    const char* says;
  };
  for (const Bad& b :
       {Bad{{"--table", "peso"}, "--table aceita"}, Bad{{"--since", "ontem"}, "data inválida"},
        Bad{{"--format", "xml"}, "--format aceita"}}) {
    const AdminRun r = Admin(QStringList{"audit", "--db", db} + b.args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(b.says))) << r.err.toStdString();
  }
}

}  // namespace
