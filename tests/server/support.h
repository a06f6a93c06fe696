#pragma once
// Helpers shared by the server tests: fresh databases on SQLite and
// PostgreSQL made from a seeded template, a JSON-RPC client over real HTTP,
// and a dump of every table to prove that a refused call changed nothing.

#include "server/app_server.h"
#include "server/storage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace srvtest {

enum class Engine { Sqlite, Postgres };

inline const char* EngineName(Engine e) { return e == Engine::Sqlite ? "Sqlite" : "Postgres"; }

// The shipped CDC 2000 files.
QString CdcDir();

// URL of the throw-away PostgreSQL cluster, empty when the tests run without one.
QString PgAdminUrl();
// A loopback port free at the time of the call, 0 when none could be had.
int FreeLoopbackPort();

// A seeded template per engine, made once per test binary; Fresh() hands out
// a new database with the template's content. PostgreSQL databases are
// dropped when the binary ends.
class Databases {
 public:
  static Databases& Instance();
  QString Fresh(Engine engine);  // throws on failure
  QString Empty(Engine engine);  // a database that does not exist yet
  void DropAll();

 private:
  QString Template(Engine engine);
  QTemporaryDir dir_;
  QString sqliteTemplate_;
  QString pgTemplateName_;
  QStringList pgCreated_;
  int counter_ = 0;
};

// Text of every row of every table (audit rows counted), in key order.
std::string Dump(const QString& database);
int AuditCount(const QString& database);

struct Response {
  int status = 0;
  QJsonObject body;
  bool ok() const { return status == 200 && body.contains(QLatin1String("result")); }
  QString error() const {
    return body.value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString();
  }
  QJsonValue result() const { return body.value(QLatin1String("result")); }
};

// One keep-alive connection to a server.
class Client {
 public:
  Client(int port, QString token);
  ~Client();
  Response Call(const QString& method, const QJsonArray& params = {});
  Response Raw(const std::string& body, const std::string& authorization);
  void SetToken(const QString& token) { token_ = token; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  QString token_;
};

inline const QString kMaintainer = QStringLiteral("maint-token-1");
inline const QString kReader = QStringLiteral("reader-token-1");

srv::ServerOptions Options(const QString& database);

// Rows of a packet as JSON arrays.
inline QJsonArray Rows(const QJsonValue& packet) {
  return packet.toObject().value(QLatin1String("rows")).toArray();
}

// A delta with all columns of a table (field list as the server expects).
QJsonObject Delta(const char* table, const QJsonArray& changes);
QJsonObject Insert(const QJsonArray& row);
QJsonObject Update(const QJsonArray& oldRow, const QJsonArray& newRow);
QJsonObject Remove(const QJsonArray& oldRow);

// A command-line tool run to its end: exit code -1 when it did not finish
// within `timeoutMs`.
struct ToolRun {
  int exitCode = -1;
  QString out, err;
};
ToolRun RunTool(const QString& program, const QStringList& args, int timeoutMs = 120000);

}  // namespace srvtest
