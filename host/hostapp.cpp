#include "host/hostapp.h"

#include "framework/data/errors.h"
#include "framework/sql/localdb.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"
#include "framework/ui/gui_dialogs.h"
#include "framework/ui/host_services.h"
#include "framework/ui/padrao_grid.h"
#include "host/helpwindow.h"
#include "host/mainwindow.h"
#include "report/report_engine.h"
#include "server/admin.h"
#include "server/app_server.h"
#include "server/storage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QStatusBar>

namespace host {

HostApp::HostApp(HostConfig config, fw::IDialogs* dialogs)
    : config_(std::move(config)), dialogs_(dialogs), cache_(fw::kLocalConnectionName) {
  if (!dialogs_) {
    ownDialogs_ = std::make_unique<fw::GuiDialogs>();
    dialogs_ = ownDialogs_.get();
  }
}

HostApp::~HostApp() {
  if (window_) window_->MdiArea()->closeAllSubWindows();
  delete help_.data();
  fw::Host::Instance().Reset();
  if (fw::InstalledDialogs() == dialogs_) fw::InstallDialogs(nullptr);
  if (fw::ReportEngine() == &report::DefaultEngine()) fw::InstallReportEngine(nullptr);
  window_.reset();
  if (server_) server_->Stop();
  server_.reset();
  if (localDbOpen_) fw::CloseLocalDatabase(fw::kLocalConnectionName);
}

QString HostApp::FindSampleDir() {
  QStringList candidates{QCoreApplication::applicationDirPath() + "/../../data/cdc2000"};
  const QString sourceDir = qEnvironmentVariable("TRP_SOURCE_DIR");
  if (!sourceDir.isEmpty()) candidates << sourceDir + "/data/cdc2000";
#ifdef TRP_SOURCE_DIR
  candidates << QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000");
#endif
  for (const QString& dir : candidates) {
    // The seed takes the WHO tables from the "who" folder beside this one.
    if (QFileInfo::exists(dir + "/wtageinf.csv") &&
        QFileInfo::exists(dir + "/../who/weianthro.txt"))
      return QDir::cleanPath(dir);
  }
  return {};
}

QString HostApp::NewToken() {
  QByteArray bytes(32, Qt::Uninitialized);
  QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
  return QString::fromLatin1(bytes.toHex());
}

void HostApp::Start() {
  if (config_.Embedded()) {
    StartEmbeddedServer();
  } else {
    serverHost_ = config_.serverHost;
    serverPort_ = config_.serverPort;
    token_ = config_.token;
  }
  OpenLocalDatabase();
  if (localDbOpen_) {
    try {
      cache_.Load();
    } catch (const fw::Error& e) {
      // The module still works without the cache; say so and go on.
      databaseText_ += QStringLiteral(" (cache indisponível)");
      qWarning("%s", qPrintable(e.message()));
    }
  }
  window_ = std::make_unique<MainWindow>();
  connect(window_.get(), &MainWindow::moduleRequested, this, [this] { OpenModule(); });
  connect(window_.get(), &MainWindow::assessmentRequested, this,
          [this] { fw::Guard([this] { loader_.Enter("CriaAvaliacao"); }); });
  connect(window_.get(), &MainWindow::helpRequested, this, [this] { HelpForActiveScreen(); });
  fw::InstallDialogs(dialogs_);
  fw::InstallReportEngine(&report::DefaultEngine());
  FillHostRegistry();
  window_->SetServerText(QStringLiteral("Servidor: %1:%2%3")
                             .arg(serverHost_)
                             .arg(serverPort_)
                             .arg(config_.Embedded() ? QStringLiteral(" (embutido)") : QString()));
  window_->SetDatabaseText(QStringLiteral("Banco: %1").arg(databaseText_));
}

void HostApp::StartEmbeddedServer() {
  const QString database = config_.EffectiveDatabase();
  const bool sqlite = !database.startsWith(QLatin1String("postgres"));
  if (sqlite) {
    const QString folder = QFileInfo(database).absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
      throw fw::Error(QStringLiteral("Não foi possível usar a pasta de dados %1: ela não pode ser "
                                     "criada ou gravada. Escolha outra pasta com a opção "
                                     "--data-dir ou com [Dados] Pasta em %2.")
                          .arg(folder, config_.iniPath));
    }
    firstRun_ = !QFileInfo::exists(database);
  }
  token_ = config_.token.isEmpty() ? NewToken() : config_.token;
  srv::ServerOptions options;
  options.host = QStringLiteral("127.0.0.1");
  options.port = 0;
  options.database = database;
  // Each open keep-alive connection holds a server thread: the screen and the
  // copy dialog each keep one, and the host's own checks need another.
  options.threads = 4;
  options.logLevel = QStringLiteral("warn");
  options.tokens = {srv::Token{QStringLiteral("local"), QStringLiteral("maintainer"), token_}};
  server_ = std::make_unique<srv::AppServer>(options);
  try {
    // A shared PostgreSQL database is seeded like a new SQLite file when it
    // holds no reference at all (a database of our own, never filled).
    if (!sqlite) {
      srv::InitDatabase(database);
      firstRun_ = srv::QueryInt(*srv::OpenDb(database), "SELECT COUNT(*) FROM REFEBIBL", {}, 0) == 0;
    }
    // Seed before listening, so that no call can see a half-filled database.
    if (firstRun_) {
      const QString sample = FindSampleDir();
      if (sample.isEmpty()) {
        qWarning("A amostra (CDC 2000 e OMS) não foi encontrada; o banco começa vazio.");
        srv::InitDatabase(database);
      } else {
        srv::SeedSampleDatabase(database, sample);
      }
    }
    serverPort_ = server_->Start();
  } catch (const std::exception& e) {
    server_.reset();
    if (firstRun_ && sqlite) {
      for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(database + suffix);
    }
    throw fw::Error(QStringLiteral("Não foi possível iniciar o servidor de aplicação embutido "
                                   "sobre %1. Verifique o banco indicado em --db ou em "
                                   "[BancoLocal] Banco (%2). Detalhe: %3")
                        .arg(database, config_.iniPath, QString::fromUtf8(e.what())));
  }
  serverHost_ = options.host;
}

void HostApp::OpenLocalDatabase() {
  QString database = config_.database;
  if (database.isEmpty() &&
      (config_.Embedded() || QFileInfo::exists(config_.DefaultDatabaseFile()))) {
    database = config_.DefaultDatabaseFile();
  }
  if (database.isEmpty()) {
    databaseText_ = QStringLiteral("local não configurado");
    return;
  }
  try {
    const QSqlDatabase db = fw::OpenLocalDatabase(database, fw::kLocalConnectionName);
    databaseText_ = fw::DescribeDatabase(db);
    localDbOpen_ = true;
  } catch (const fw::Error&) {
    if (config_.Embedded()) throw;
    // An external server still works without the local pick lists.
    databaseText_ = QStringLiteral("local indisponível (%1)").arg(database);
  }
}

void HostApp::FillHostRegistry() {
  fw::Host& host = fw::Host::Instance();
  host.SetMainWindow(window_.get());
  host.SetMdiArea(window_->MdiArea());
  host.SetServer(serverHost_, serverPort_);
  host.SetToken(token_);
  host.SetLocalConnectionName(localDbOpen_ ? QString::fromLatin1(fw::kLocalConnectionName)
                                           : QString());
  host.SetReportsDir(config_.reportsDir);
  host.SetHelpDir(QStringLiteral(":/help"));
  host.OnAtualizaLocalCache = [this](const QStringList& tables) { CacheChanged(tables); };
  host.OnShowHelp = [this](const QString& file, int context) { ShowHelp(file, context); };
}

void HostApp::CacheChanged(const QStringList& tables) {
  // The change is already saved on the server: a cache that cannot be read
  // now is reported in the status bar and never undoes the caller's work.
  try {
    if (localDbOpen_) cache_.Refresh(tables);
    if (window_) {
      window_->statusBar()->showMessage(
          QStringLiteral("Cache local atualizado: %1").arg(tables.join(", ")), 5000);
    }
  } catch (const fw::Error& e) {
    if (window_) window_->statusBar()->showMessage(e.message(), 10000);
  }
}

bool HostApp::OpenModule() {
  return fw::Guard([this] { loader_.Enter(); });
}

HelpWindow* HostApp::Help() const { return help_.data(); }

void HostApp::ShowHelp(const QString& helpFile, int context) {
  if (!help_) help_ = new HelpWindow(fw::Host::Instance().HelpDir(), window_.get());
  help_->ShowHelp(helpFile, context);
}

void HostApp::HelpForActiveScreen() {
  QMdiSubWindow* active = window_ ? window_->MdiArea()->activeSubWindow() : nullptr;
  if (auto* screen = active ? qobject_cast<fw::TfrmPadraoGrid*>(active->widget()) : nullptr) {
    fw::Dialogs().ShowHelp(screen->HelpFile(), screen->HelpContext());
    return;
  }
  ShowHelp(QStringLiteral("Qelhelp.hlp"), 0);
}

}  // namespace host
