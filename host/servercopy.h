#pragma once
// The workstation's copy of the server's tables in server mode. The local
// queries (the search dialogs' pick lists) and the report engine read a
// SQLite file of the server's own schema, private to this process, filled
// from the server's GetTabela through the token and its role: no
// workstation needs the database's credentials, and none reads a file left
// by an earlier run. The host and tabrelpeso-report use it alike.

#include "framework/net/netconnection.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace host {

class ServerCopy {
 public:
  // `connectionName`: the QSqlDatabase connection the copy is opened as.
  explicit ServerCopy(QString connectionName);
  ~ServerCopy();  // closes the connection; the file goes with its folder
  ServerCopy(const ServerCopy&) = delete;
  ServerCopy& operator=(const ServerCopy&) = delete;

  // The connection to the server: set its host, port and token before use.
  fw::TNetConnection& Connection() { return *net_; }

  // The copied tables, masters first.
  static QStringList Tables();
  // The copied tables that `sql` names (whole words, any case).
  static QStringList TablesIn(const QString& sql);

  // Creates the empty copy and opens it as the connection. Throws fw::Error.
  void Open();
  // Reads the named tables (every one when empty) from the server and
  // replaces them in the copy in one transaction. Throws fw::Error with a
  // Portuguese refusal when the server cannot be read; the copy then keeps
  // what it had.
  void Refresh(const QStringList& tables = {});
  // When the copy was last filled (invalid: never).
  QDateTime LastRefresh() const { return lastRefresh_; }

  // Makes every local read of this copy's connection (fw::CheckLocalRead)
  // refresh the tables its SQL names first, or refuse. Until the copy is
  // destroyed or another check is installed.
  void InstallReadCheck();

  // The caller's role as the server tells it ("maintainer", "reader").
  // Throws fw::Error when the server cannot be asked.
  QString Role();
  // The caller's name in the server's credentials. Throws fw::Error as Role.
  QString User();

  QString ConnectionName() const { return connectionName_; }
  QString File() const;

 private:
  QString connectionName_;
  QTemporaryDir dir_;
  std::unique_ptr<fw::TNetConnection> net_;
  bool open_ = false;
  bool checkInstalled_ = false;
  QDateTime lastRefresh_;
};

}  // namespace host
