#include "host/hostapp.h"

#include "framework/data/errors.h"
#include "framework/data/shipped_paths.h"
#include "framework/net/netconnection.h"
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
  if (copy_) fw::TNetConnection::SetReachObserver({});
  if (window_) window_->MdiArea()->closeAllSubWindows();
  delete help_.data();
  fw::Host::Instance().Reset();
  if (fw::InstalledDialogs() == dialogs_) fw::InstallDialogs(nullptr);
  if (fw::ReportEngine() == &report::DefaultEngine()) fw::InstallReportEngine(nullptr);
  window_.reset();
  if (server_) server_->Stop();
  server_.reset();
  if (copy_) {
    copy_.reset();
  } else if (localDbOpen_) {
    fw::CloseLocalDatabase(fw::kLocalConnectionName);
  }
}

QString HostApp::FindSampleDir() {
  // The seed takes the WHO tables from the "who" folder beside this one.
  const QString dir =
      fw::FindShippedDir(QStringLiteral("data/cdc2000"), QStringLiteral("wtageinf.csv"));
  if (dir.isEmpty() || !QFileInfo::exists(dir + "/../who/weianthro.txt")) return {};
  return dir;
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
    // The module's connections are made later; they start with these.
    fw::TNetConnection::SetDefaultTls(config_.serverTls, config_.caFile);
  }
  if (config_.Embedded()) {
    OpenLocalDatabase();
  } else {
    OpenServerCopy();
  }
  if (localDbOpen_ && !copy_) {
    try {
      cache_.Load();
    } catch (const fw::Error& e) {
      // The module still works without the cache; say so and go on.
      cacheDown_ = true;
      qWarning("%s", qPrintable(e.message()));
    }
  }
  window_ = std::make_unique<MainWindow>();
  connect(window_.get(), &MainWindow::moduleRequested, this, [this] { OpenModule(); });
  connect(window_.get(), &MainWindow::entryRequested, this,
          [this](const QString& entry) { OpenEntry(entry); });
  connect(window_.get(), &MainWindow::helpRequested, this, [this] { HelpForActiveScreen(); });
  fw::InstallDialogs(dialogs_);
  fw::InstallReportEngine(&report::DefaultEngine());
  FillHostRegistry();
  if (copy_) {
    // Every answer and every failure of any connection to the server from
    // now on keeps the status current.
    fw::TNetConnection::SetReachObserver(
        [this](bool reached, const QString& reason) { ServerReached(reached, reason); });
    LearnRole();
    try {
      copy_->Refresh();
      cache_.Load();
    } catch (const fw::Error& e) {
      // Each read tries again, and is refused while the server stays away.
      if (serverDown_.isEmpty()) serverDown_ = e.message();
      qWarning("%s", qPrintable(e.message()));
    }
  } else {
    user_ = QStringLiteral("local");
  }
  UpdateStatus();
}

void HostApp::UpdateStatus() {
  if (!window_) return;
  window_->SetServerText(
      QStringLiteral("Servidor: %1:%2%3")
          .arg((config_.serverTls ? QStringLiteral("https://") : QString()) + serverHost_)
          .arg(serverPort_)
          .arg(config_.Embedded()      ? QStringLiteral(" (embutido)")
               : serverDown_.isEmpty() ? QString()
                                       : QStringLiteral(" (indisponível)")));
  const QString role = fw::Host::Instance().Role();
  if (role.isEmpty()) {
    // Read-only until the server says who this is: the reason beside it.
    window_->SetUserText(QStringLiteral("Somente leitura: credencial não confirmada"),
                         roleFailure_);
  } else {
    const bool reader = role != QLatin1String("maintainer");
    window_->SetUserText(
        QStringLiteral("Usuário: %1 (%2)%3")
            .arg(user_.isEmpty() ? QStringLiteral("?") : user_,
                 reader ? QStringLiteral("consulta") : QStringLiteral("manutenção"),
                 reader ? QStringLiteral(" - Somente leitura") : QString()),
        reader ? QStringLiteral("A credencial desta estação só permite consultar "
                                "e imprimir as tabelas.")
               : QStringLiteral("A credencial desta estação permite alterar as "
                                "tabelas."));
  }
  const QString why = !serverDown_.isEmpty() ? serverDown_ : roleFailure_;
  window_->SetWarningText(why.isEmpty() ? QString()
                                        : QStringLiteral("Servidor indisponível: %1").arg(why));
  window_->SetDatabaseText(
      QStringLiteral("Banco: %1%2")
          .arg(databaseText_, cacheDown_ ? QStringLiteral(" (cache indisponível)") : QString()));
}

void HostApp::ServerReached(bool reached, const QString& reason) {
  if (!reached) {
    const QString why = reason.isEmpty() ? QStringLiteral("sem resposta") : reason;
    if (serverDown_ == why) return;
    serverDown_ = why;
    if (!learning_) UpdateStatus();
    return;
  }
  if (learning_ || serverDown_.isEmpty()) return;
  serverDown_.clear();
  // Back again: the role it could not tell before, then the status.
  if (fw::Host::Instance().Role().isEmpty()) LearnRole();
  UpdateStatus();
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
      firstRun_ =
          srv::QueryInt(*srv::OpenDb(database), "SELECT COUNT(*) FROM REFEBIBL", {}, 0) == 0;
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
    throw fw::Error(
        QStringLiteral("Não foi possível iniciar o servidor de aplicação embutido "
                       "sobre %1. Verifique o banco indicado em --db ou em "
                       "[BancoLocal] Banco (%2). Detalhe: %3")
            .arg(srv::ShownTarget(database), config_.iniPath, QString::fromUtf8(e.what())));
  }
  serverHost_ = options.host;
}

void HostApp::OpenLocalDatabase() {
  // The embedded server's own database serves the local queries too.
  const QSqlDatabase db =
      fw::OpenLocalDatabase(config_.EffectiveDatabase(), fw::kLocalConnectionName);
  databaseText_ = fw::DescribeDatabase(db);
  localDbOpen_ = true;
}

void HostApp::OpenServerCopy() {
  // Every read of table data comes from the server: never a local file or a
  // database of its own, which would hand out credentials and print rows
  // the server no longer has.
  if (!config_.database.isEmpty())
    qWarning("Com um servidor configurado, o banco local %s é ignorado: os dados vêm do servidor.",
             qPrintable(srv::ShownTarget(config_.database)));
  copy_ = std::make_unique<ServerCopy>(QString::fromLatin1(fw::kLocalConnectionName));
  copy_->Open();
  localDbOpen_ = true;
  databaseText_ = QStringLiteral("cópia dos dados do servidor");
  copy_->InstallReadCheck();
}

void HostApp::LearnRole() {
  fw::Host& host = fw::Host::Instance();
  learning_ = true;
  try {
    host.SetRole(copy_->Role());
    user_ = copy_->User();
    roleFailure_.clear();
  } catch (const fw::Error& e) {
    // Unknown until the server answers: the screens open read-only meanwhile.
    host.SetRole(QString());
    roleFailure_ = e.message();
    qWarning("%s", qPrintable(e.message()));
  }
  learning_ = false;
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
  // The embedded server's only token is a maintainer's.
  host.SetRole(QStringLiteral("maintainer"));
  // Beside the settings, so a chosen configuration keeps its own layouts.
  if (!config_.iniPath.isEmpty())
    host.SetWindowStateFile(
        QFileInfo(config_.iniPath).absoluteDir().filePath(QStringLiteral("janelas.ini")));
  host.OnAtualizaLocalCache = [this](const QStringList& tables) { CacheChanged(tables); };
  host.OnShowHelp = [this](const QString& file, int context) { ShowHelp(file, context); };
}

void HostApp::CacheChanged(const QStringList& tables) {
  // The change is already saved on the server: a cache that cannot be read
  // now is reported in the status bar and never undoes the caller's work.
  // A refresh that works is the screen's business to report, in its words.
  try {
    if (copy_) {
      // Only what the host's own cache holds: every other read of the copy
      // fetches its tables again first, so a saved row table is not
      // fetched twice.
      QStringList masters;
      for (const QString& table : tables) masters << LocalCache::DependentsOf(table);
      masters.removeDuplicates();
      if (!masters.isEmpty()) copy_->Refresh(masters);
    }
    if (localDbOpen_) cache_.Refresh(tables);
  } catch (const fw::Error& e) {
    if (window_) window_->statusBar()->showMessage(e.message(), 10000);
  }
}

bool HostApp::OpenModule() {
  // A role the server did not tell at start is asked again for each screen.
  if (copy_ && fw::Host::Instance().Role().isEmpty()) {
    LearnRole();
    UpdateStatus();
  }
  return fw::Guard([this] { loader_.Enter(); });
}

bool HostApp::OpenEntry(const QString& entry) {
  if (copy_ && fw::Host::Instance().Role().isEmpty()) {
    LearnRole();
    UpdateStatus();
  }
  return fw::Guard([this, &entry] { loader_.Enter(entry); });
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
