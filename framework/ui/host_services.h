#pragma once
// Services of the host application that modules read: the host fills this
// registry at start-up; modules and the framework only read it. Every value
// has a harmless default (null windows, empty texts, port 0), so a test can
// run a screen without a host.

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class QMainWindow;
class QMdiArea;

namespace fw {

class Host {
 public:
  static Host& Instance();

  QMainWindow* MainWindow() const { return mainWindow_; }
  QMdiArea* MdiArea() const { return mdiArea_; }
  QString WebURL() const { return webUrl_; }  // the application server's host
  int WebPort() const { return webPort_; }
  QString Token() const { return token_; }
  // Name of the QSqlDatabase connection to the host's local database.
  QString LocalConnectionName() const { return localConnection_; }
  QString ReportsDir() const { return reportsDir_; }
  // The role the application server gives the host's token: "maintainer",
  // "reader", or empty when it could not be learnt.
  QString Role() const { return role_; }
  QString HelpDir() const { return helpDir_; }
  // The settings file where screens keep their layout; empty: none is kept.
  QString WindowStateFile() const { return windowStateFile_; }

  void SetMainWindow(QMainWindow* window) { mainWindow_ = window; }
  void SetMdiArea(QMdiArea* area) { mdiArea_ = area; }
  void SetServer(const QString& host, int port) { webUrl_ = host, webPort_ = port; }
  void SetToken(const QString& token) { token_ = token; }
  void SetLocalConnectionName(const QString& name) { localConnection_ = name; }
  void SetReportsDir(const QString& dir) { reportsDir_ = dir; }
  void SetRole(const QString& role) { role_ = role; }
  void SetHelpDir(const QString& dir) { helpDir_ = dir; }
  void SetWindowStateFile(const QString& file) { windowStateFile_ = file; }

  // Tells the host that the named server tables changed; forwards to the
  // callback (nothing happens without one). Exceptions of the callback pass
  // to the caller.
  // Then tells every listener (the screens that show names from those tables).
  void AtualizaLocalCache(const QStringList& tables) const;
  std::function<void(const QStringList&)> OnAtualizaLocalCache;
  // A screen that shows the master tables' names listens while it lives;
  // the id removes it.
  int AddCacheListener(std::function<void(const QStringList&)> listener);
  void RemoveCacheListener(int id);

  // Help: when set, the GUI dialogs hand help requests to the host.
  std::function<void(const QString& helpFile, int context)> OnShowHelp;

  // Restores every default (tests).
  void Reset();

 private:
  QMainWindow* mainWindow_ = nullptr;
  QMdiArea* mdiArea_ = nullptr;
  QString webUrl_;
  int webPort_ = 0;
  QString token_;
  QString localConnection_;
  QString reportsDir_;
  QString role_ = QStringLiteral("maintainer");
  QString helpDir_;
  QString windowStateFile_;
  QMap<int, std::function<void(const QStringList&)>> listeners_;
  int nextListener_ = 1;
};

// Shorthands for the module's calls.
inline QString WebURL() { return Host::Instance().WebURL(); }
inline int WebPort() { return Host::Instance().WebPort(); }
inline void AtualizaLocalCache(const QStringList& tables) {
  Host::Instance().AtualizaLocalCache(tables);
}
// True when screens must open read-only: the server did not say that the
// host's token is a maintainer's (a reader, or a role that could not be
// learnt). Every screen asks it when it opens; without a host it is false.
inline bool SomenteLeitura() { return Host::Instance().Role() != QLatin1String("maintainer"); }

}  // namespace fw
