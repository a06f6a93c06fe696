#include "support.h"

#include "server/admin.h"
#include "server/json_out.h"
#include "server/tables.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <stdexcept>

namespace srvtest {

QString CdcDir() {
  const QString env = qEnvironmentVariable("TRP_SOURCE_DIR");
  return (env.isEmpty() ? QStringLiteral(TRP_SOURCE_DIR) : env) + QStringLiteral("/data/cdc2000");
}

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  socklen_t len = sizeof a;
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
  ::close(fd);
  return bound ? ntohs(a.sin_port) : 0;
}

QString PgAdminUrl() { return qEnvironmentVariable("TRP_TEST_PG_URL"); }

namespace {

QString PgUrlFor(const QString& name) {
  const QString admin = PgAdminUrl();
  return admin.left(admin.lastIndexOf(u'/') + 1) + name;
}

}  // namespace

Databases& Databases::Instance() {
  static Databases d;
  return d;
}

QString Databases::Template(Engine engine) {
  if (engine == Engine::Sqlite) {
    if (sqliteTemplate_.isEmpty()) {
      const QString path = dir_.filePath(QStringLiteral("template.db"));
      srv::SeedSampleDatabase(path, CdcDir());
      sqliteTemplate_ = path;
    }
    return sqliteTemplate_;
  }
  if (pgTemplateName_.isEmpty()) {
    const QString name = QStringLiteral("trpsrv_%1_tpl").arg(getpid());
    auto admin = srv::OpenDb(PgAdminUrl());
    admin->script("CREATE DATABASE " + name.toStdString());
    pgCreated_.append(name);
    srv::SeedSampleDatabase(PgUrlFor(name), CdcDir());
    pgTemplateName_ = name;
  }
  return pgTemplateName_;
}

QString Databases::Fresh(Engine engine) {
  const QString tpl = Template(engine);
  ++counter_;
  if (engine == Engine::Sqlite) {
    const QString path = dir_.filePath(QStringLiteral("db%1.db").arg(counter_));
    if (!QFile::copy(tpl, path)) throw std::runtime_error("cannot copy the template database");
    return path;
  }
  const QString name = QStringLiteral("trpsrv_%1_%2").arg(getpid()).arg(counter_);
  auto admin = srv::OpenDb(PgAdminUrl());
  admin->script("CREATE DATABASE " + name.toStdString() + " TEMPLATE " + tpl.toStdString());
  pgCreated_.append(name);
  return PgUrlFor(name);
}

QString Databases::Empty(Engine engine) {
  ++counter_;
  if (engine == Engine::Sqlite) return dir_.filePath(QStringLiteral("empty%1.db").arg(counter_));
  const QString name = QStringLiteral("trpsrv_%1_e%2").arg(getpid()).arg(counter_);
  auto admin = srv::OpenDb(PgAdminUrl());
  admin->script("CREATE DATABASE " + name.toStdString());
  pgCreated_.append(name);
  return PgUrlFor(name);
}

void Databases::DropAll() {
  if (pgCreated_.isEmpty()) return;
  try {
    auto admin = srv::OpenDb(PgAdminUrl());
    for (const QString& name : pgCreated_)
      admin->script("DROP DATABASE IF EXISTS " + name.toStdString() + " WITH (FORCE)");
  } catch (const std::exception&) {
    // The cluster is thrown away afterwards anyway.
  }
  pgCreated_.clear();
}

namespace {
// Drops the PostgreSQL databases when the test binary ends.
struct DropDatabases : ::testing::Environment {
  void TearDown() override { Databases::Instance().DropAll(); }
};
[[maybe_unused]] ::testing::Environment* const dropDatabases =
    ::testing::AddGlobalTestEnvironment(new DropDatabases);
}  // namespace

std::string Dump(const QString& database) {
  auto db = srv::OpenDb(database);
  std::string out;
  auto dumpRows = [&](const std::string& sql, const std::vector<bool>& isText) {
    db->run(sql, {}, [&](const srv::SqlRow& r) {
      for (size_t i = 0; i < isText.size(); ++i) {
        if (r.isNull(int(i)))
          out += "null";
        else if (isText[i])
          srv::AppendString(out, r.text(int(i)));
        else
          srv::AppendNumber(out, r.real(int(i)));
        out += '|';
      }
      out += '\n';
    });
  };
  dumpRows("SELECT CDREFEBIBL, NMREFEBIBL FROM REFEBIBL ORDER BY CDREFEBIBL", {true, true});
  dumpRows("SELECT CDPERCENTIL, NMPERCENTIL FROM PERCENTIL ORDER BY CDPERCENTIL", {true, true});
  for (const srv::TableDef* t : srv::AllTables()) {
    std::string sql = "SELECT ";
    std::vector<bool> isText;
    for (size_t i = 0; i < t->columns.size(); ++i) {
      sql += (i ? ", " : "") + std::string(t->columns[i].name);
      isText.push_back(t->columns[i].kind == srv::ColumnDef::Kind::Code);
    }
    sql += " FROM " + std::string(t->name) + " ORDER BY ";
    for (size_t i = 0; i < t->keyOrder.size(); ++i)
      sql += (i ? ", " : "") + std::string(t->keyOrder[i]);
    out += std::string("-- ") + t->name + "\n";
    dumpRows(sql, isText);
  }
  out += "-- audit " + std::to_string(srv::QueryInt(*db, "SELECT COUNT(*) FROM AUDITORIA", {}, 0));
  return out;
}

int AuditCount(const QString& database) {
  auto db = srv::OpenDb(database);
  return int(srv::QueryInt(*db, "SELECT COUNT(*) FROM AUDITORIA", {}, 0));
}

struct Client::Impl {
  explicit Impl(int port) : http("127.0.0.1", port) {
    http.set_keep_alive(true);
    http.set_tcp_nodelay(true);
    http.set_read_timeout(60, 0);
  }
  httplib::Client http;
};

Client::Client(int port, QString token)
    : impl_(std::make_unique<Impl>(port)), token_(std::move(token)) {}
Client::~Client() = default;

Response Client::Raw(const std::string& body, const std::string& authorization) {
  httplib::Headers headers;
  if (!authorization.empty()) headers.emplace("Authorization", authorization);
  auto res = impl_->http.Post("/Qel53600.rdmTabRelPeso", headers, body, "application/json");
  Response r;
  if (!res) return r;
  r.status = res->status;
  r.body = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
  return r;
}

Response Client::Call(const QString& method, const QJsonArray& params) {
  // Clients on several threads at once (the races, the simulation).
  static std::atomic<int> id{0};
  const QJsonObject request{
      {"jsonrpc", "2.0"}, {"id", ++id}, {"method", method}, {"params", params}};
  return Raw(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString(),
             "Bearer " + token_.toStdString());
}

srv::ServerOptions Options(const QString& database) {
  srv::ServerOptions o;
  o.port = 0;
  o.database = database;
  o.threads = 4;
  o.logLevel = QStringLiteral("warn");
  o.tokens = {{QStringLiteral("maria"), QStringLiteral("maintainer"), kMaintainer},
              {QStringLiteral("joao"), QStringLiteral("reader"), kReader}};
  return o;
}

QJsonObject Delta(const char* table, const QJsonArray& changes) {
  for (const srv::TableDef* t : srv::AllTables()) {
    if (std::string_view(t->name) != table) continue;
    QJsonArray fields;
    for (const srv::ColumnDef& c : t->columns) {
      QJsonObject f{{"name", c.name}};
      if (c.kind == srv::ColumnDef::Kind::Code) {
        f.insert("type", "string");
        f.insert("size", c.size);
      } else {
        f.insert("type", "float");
      }
      fields.append(f);
    }
    return {{"fields", fields}, {"changes", changes}};
  }
  throw std::runtime_error("unknown table");
}

QJsonObject Insert(const QJsonArray& row) { return {{"op", "insert"}, {"new", row}}; }
QJsonObject Update(const QJsonArray& oldRow, const QJsonArray& newRow) {
  return {{"op", "update"}, {"old", oldRow}, {"new", newRow}};
}
QJsonObject Remove(const QJsonArray& oldRow) { return {{"op", "delete"}, {"old", oldRow}}; }

ToolRun RunTool(const QString& program, const QStringList& args, int timeoutMs) {
  QProcess p;
  p.start(program, args);
  ToolRun r;
  if (!p.waitForFinished(timeoutMs)) return r;
  r.exitCode = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

}  // namespace srvtest
