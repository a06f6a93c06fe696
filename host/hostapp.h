#pragma once
// The host application's core: configuration in, a running main window out.
// It starts the embedded application server when no server is configured,
// opens the local database (with a configured server, a copy of its tables
// read through the token), keeps the master-table cache, fills the
// framework's host registry and loads the module on request.

#include "host/hostconfig.h"
#include "host/localcache.h"
#include "host/moduleloader.h"
#include "host/servercopy.h"

#include <QObject>
#include <QPointer>

#include <memory>

namespace srv {
class AppServer;
}
namespace fw {
class IDialogs;
}

namespace host {

class HelpWindow;
class MainWindow;

class HostApp : public QObject {
  Q_OBJECT
 public:
  // `dialogs`: the dialog seam to install (not owned); nullptr installs the
  // GUI dialogs.
  explicit HostApp(HostConfig config, fw::IDialogs* dialogs = nullptr);
  ~HostApp() override;  // closes the module's windows, stops the server

  // Starts everything and shows nothing yet (call Window()->show()). Throws
  // fw::Error with a Portuguese message when the embedded server or the
  // local database cannot be started; what was started is stopped again.
  void Start();

  // Loads the module and calls its CriaTabRelPeso inside the guard: a
  // failure is shown through the dialog seam. Returns whether it ran.
  bool OpenModule();
  // The same for another exported entry of the module ("CriaCadReferencia").
  bool OpenEntry(const QString& entry);
  // Shows the help page of `context` (0: the index) in the help window.
  void ShowHelp(const QString& helpFile, int context);

  MainWindow* Window() const { return window_.get(); }
  HelpWindow* Help() const;
  LocalCache& Cache() { return cache_; }
  const ModuleLoader& Loader() const { return loader_; }
  const HostConfig& Config() const { return config_; }
  QString ServerHost() const { return serverHost_; }
  int ServerPort() const { return serverPort_; }
  QString Token() const { return token_; }
  bool FirstRun() const { return firstRun_; }  // the embedded database was created now
  // Server mode: the copy of the server's tables that local reads use.
  ServerCopy* Copy() const { return copy_.get(); }

  // The folder of the shipped CDC 2000 sample (data/cdc2000) with the WHO
  // tables beside it (data/who), searched next to the program (../../data)
  // and in TRP_SOURCE_DIR; empty when either is missing.
  static QString FindSampleDir();
  // A fresh random bearer token (64 hex digits).
  static QString NewToken();

 private:
  void StartEmbeddedServer();
  void OpenLocalDatabase();
  void OpenServerCopy();
  void LearnRole();
  void FillHostRegistry();
  // The status bar from what is known now: the server and whether it
  // answers, the user and the role (or why it is unknown), the database.
  void UpdateStatus();
  // Every answer or failure of a server connection (TNetConnection).
  void ServerReached(bool reached, const QString& reason);
  void CacheChanged(const QStringList& tables);
  void HelpForActiveScreen();

  HostConfig config_;
  fw::IDialogs* dialogs_;
  std::unique_ptr<fw::IDialogs> ownDialogs_;
  std::unique_ptr<srv::AppServer> server_;
  std::unique_ptr<ServerCopy> copy_;
  std::unique_ptr<MainWindow> window_;
  QPointer<HelpWindow> help_;
  LocalCache cache_;
  ModuleLoader loader_;
  QString serverHost_;
  int serverPort_ = 0;
  QString token_;
  QString databaseText_;
  QString user_;
  QString roleFailure_;  // why the role is unknown; empty: it is known
  QString serverDown_;   // why the server cannot be reached; empty: it answers
  bool cacheDown_ = false;
  bool learning_ = false;
  bool firstRun_ = false;
  bool localDbOpen_ = false;
};

}  // namespace host
