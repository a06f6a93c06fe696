#pragma once
// The application server rdmTabRelPeso, usable in-process (the host's
// embedded default) and as the tabrelpeso-server executable.

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace srv {

class WebView;
struct WebAccess;

struct Token {
  QString name;   // who: written to the audit trail
  QString role;   // "maintainer" (everything) or "reader" (Get methods only)
  QString token;  // the bearer token
};

struct ServerOptions {
  QString host = QStringLiteral("127.0.0.1");
  int port = 8211;           // 0 picks a free port
  QString database;          // SQLite file path or postgresql://user@host:port/db
  int threads = 4;           // threads kept ready for connections
  int maxConnections = 256;  // connections served at once (each holds a thread)
  int maxPerPeer = 32;       // connections from one address; more are refused
  int idleSeconds = 5;       // an idle keep-alive connection is closed after this
  int lingerSeconds = 30;    // a thread beyond `threads` ends after this without work
  int requestSeconds = 10;   // a request's head and body must have arrived by then
  int headerKib = 64;        // request line and headers, at most
  int bodyMib = 16;          // a body as sent (chunked too), at most
  // Bodies over 64 KiB admitted at once, server-wide and from one address
  // (each at least bodyMib); beyond them a body is refused before it is read.
  int bodyBudgetMib = 32;
  int peerBodyBudgetMib = 16;
  QString tlsCert;  // PEM certificate chain and key: TLS only; empty: plain HTTP
  QString tlsKey;
  int dbConnections = 8;  // database connections, the cold rebuild's helpers included
  QList<Token> tokens;    // from --tokens FILE, or made by the embedded default
  // "info": one stderr line per call (method, duration, outcome); "warn": only
  // failed calls; "quiet": nothing.
  QString logLevel = QStringLiteral("info");
  // The read-only web view under /web/ (server/web_hook.h); empty: none.
  std::function<std::unique_ptr<WebView>(const WebAccess&)> web;
};

// Reads a tokens file (one "name role token" a line; '#' starts a comment).
// Throws std::runtime_error with a clear message on a malformed line.
QList<Token> ReadTokensFile(const QString& path);

// A fresh random bearer token (64 hex digits) for the embedded default.
QString GenerateToken();

// Creates (or migrates) the database and fills it with the sample the embedded
// default ships: the CDC 2000 reference "01" imported from cdcDir, the WHO
// 2006/2007 references "02" (by age, weight-for-length) and "05"
// (weight-for-height) from whoDir (empty: the "who" folder beside cdcDir),
// "03" and "04" without rows, and the percentiles 003 ... 097. Rows already
// there are replaced by the same values, so running it twice changes nothing.
// Throws std::runtime_error with a clear message (nothing is written then).
void SeedSampleDatabase(const QString& database, const QString& cdcDir, const QString& whoDir = {});

class AppServerImpl;

class AppServer {
 public:
  explicit AppServer(ServerOptions options);
  ~AppServer();  // stops
  AppServer(const AppServer&) = delete;
  AppServer& operator=(const AppServer&) = delete;

  // Opens (creating and migrating) the database and starts listening in
  // background threads. Returns the bound port. Throws std::runtime_error with
  // a clear message when the database cannot be opened or the address is taken.
  int Start();
  void Stop();  // waits for calls in progress; idempotent
  int Port() const;

 private:
  std::unique_ptr<AppServerImpl> impl_;
};

}  // namespace srv
