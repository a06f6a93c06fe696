#include "tests/screens/screen_fixture.h"

#include "framework/data/packet.h"
#include "framework/net/netconnection.h"
#include "framework/sql/localdb.h"
#include "framework/ui/host_services.h"
#include "framework/ui/messages.h"
#include "model/datasets.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/admin.h"
#include "services/rdm_tabrelpeso.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

namespace screentest {

namespace {

const QString kToken = QStringLiteral("token-manutencao-tela");

class QtApp : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[32] = "screens_tabrelpeso";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

srv::ServerOptions Options(const QString& database) {
  srv::ServerOptions o;
  o.port = 0;
  o.database = database;
  o.threads = 2;
  o.logLevel = QStringLiteral("info");
  o.tokens = {{QStringLiteral("teste"), QStringLiteral("maintainer"), kToken},
              {QStringLiteral("ana"), QStringLiteral("maintainer"), kAnaToken},
              {QStringLiteral("leitor"), QStringLiteral("reader"), kLeitorToken}};
  return o;
}

// The seeded sample plus reference 02 with one height-weight row, made once.
const QString& SeededTemplate() {
  static QTemporaryDir dir;
  static QString path;
  if (!path.isEmpty()) return path;
  path = dir.filePath(QStringLiteral("modelo.db"));
  srv::SeedSampleDatabase(path, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
  srv::ServerOptions o = Options(path);
  o.logLevel = QStringLiteral("quiet");
  srv::AppServer server(o);
  const int port = server.Start();
  fw::TNetConnection net(QStringLiteral("netFixture"));
  net.SetServerName(QLatin1String(trp::services::kServerName));
  net.SetToken(kToken);
  net.BeforeConnect = [port](fw::TNetConnection& c) {
    c.SetHost(QStringLiteral("127.0.0.1"));
    c.SetPort(port);
  };
  fw::DeltaPacket delta;
  delta.fields = trp::model::PacketFields(u"SetPesAlt");
  QVariantList row;
  for (const fw::FieldDef& f : delta.fields) {
    if (f.name == QLatin1String("CDREFEBIBL"))
      row << QStringLiteral("04");
    else if (f.name == QLatin1String("CDPERCENTIL"))
      row << QStringLiteral("050");
    else if (f.name == QLatin1String("VRALTURA"))
      row << 110.5;
    else
      row << 18.25;
  }
  delta.changes = {fw::Change{fw::Change::Op::Insert, {}, row}};
  const fw::ServerResult r = trp::services::RdmTabRelPeso(net).SetPesAlt(delta);
  if (!r.ok) throw std::runtime_error(r.error.toStdString());
  net.SetConnected(false);
  server.Stop();
  return path;
}

}  // namespace

StderrCapture::StderrCapture() {
  static int counter = 0;
  path_ = QStringLiteral("/tmp/screens_tabrelpeso_%1_%2.log").arg(getpid()).arg(++counter);
  std::fflush(stderr);
  saved_ = dup(STDERR_FILENO);
  const int fd = ::open(path_.toLocal8Bit().constData(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  dup2(fd, STDERR_FILENO);
  ::close(fd);
}

StderrCapture::~StderrCapture() {
  std::fflush(stderr);
  dup2(saved_, STDERR_FILENO);
  ::close(saved_);
  QFile::remove(path_);
}

QStringList StderrCapture::Calls() {
  std::fflush(stderr);
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return {};
  static const QRegularExpression line(
      QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\S+ (\\S+) [\\d.]+ ms "));
  QStringList calls;
  for (const QByteArray& text : file.readAll().split('\n')) {
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(text));
    if (m.hasMatch()) calls << m.captured(1);
  }
  return calls;
}

void ScreenTest::SetUp() {
  dir_ = std::make_unique<QTemporaryDir>();
  useDialogs_ = std::make_unique<fw::ScopedDialogs>(dialogs_);
  main_ = std::make_unique<QMainWindow>();
  area_ = new QMdiArea(main_.get());
  main_->setCentralWidget(area_);
  main_->resize(900, 600);
  main_->show();
  main_->activateWindow();
  fw::Host& host = fw::Host::Instance();
  host.SetMainWindow(main_.get());
  host.SetMdiArea(area_);
  host.SetToken(kToken);
}

void ScreenTest::TearDown() {
  CloseScreen();
  main_.reset();
  Flush();
  if (server_) server_->Stop();
  server_.reset();
  fw::CloseLocalDatabase();
  fw::Host::Instance().Reset();
  useDialogs_.reset();
}

void ScreenTest::StartServer(Sample sample, const std::function<void(const QString&)>& prepare) {
  const QString database = dir_->filePath(QStringLiteral("tabrelpeso.db"));
  if (sample == Sample::Seeded) {
    ASSERT_TRUE(QFile::copy(SeededTemplate(), database));
  } else {
    srv::InitDatabase(database);
  }
  if (prepare) prepare(database);
  // The same file serves the local queries, as on the embedded default.
  fw::OpenLocalDatabase(database);
  fw::Host::Instance().SetLocalConnectionName(QLatin1String(fw::kLocalConnectionName));
  server_ = std::make_unique<srv::AppServer>(Options(database));
  const int port = server_->Start();
  fw::Host::Instance().SetServer(QStringLiteral("127.0.0.1"), port);
  database_ = database;
  port_ = port;
}

void ScreenTest::StopServer() {
  server_->Stop();
  server_.reset();
}

void ScreenTest::StartAgain() {
  srv::ServerOptions o = Options(database_);
  o.port = port_;
  server_ = std::make_unique<srv::AppServer>(o);
  ASSERT_EQ(server_->Start(), port_);
}

trp::tabrelpeso::TfrmTabRelPeso* ScreenTest::Open() {
  CriaTabRelPeso();
  Flush();
  // The first activation may reach the child window only once the host's
  // window is active, a little later.
  QDeadlineTimer deadline(10000);
  while (trp::tabrelpeso::frmTabRelPeso && trp::tabrelpeso::boPrimVez && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  form_ = trp::tabrelpeso::frmTabRelPeso;
  return form_;
}

void ScreenTest::CloseScreen() {
  if (trp::tabrelpeso::frmTabRelPeso) trp::tabrelpeso::frmTabRelPeso->Close();
  Flush();
  form_ = nullptr;
}

void ScreenTest::Flush() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

QMdiSubWindow* ScreenTest::SubWindow() const {
  return form_ ? qobject_cast<QMdiSubWindow*>(form_->parentWidget()) : nullptr;
}

void ScreenTest::Focus(QWidget* control) {
  form_->SetActiveControl(control);
  Flush();
}

void ScreenTest::Press(const char* button) {
  form_->Twin(QLatin1String(button))->trigger();
  Flush();
}

bool ScreenTest::Enabled(const char* button) const {
  return form_->ToolButton(QLatin1String(button))->isEnabled();
}

void SampleScreenTest::SetUp() {
  ScreenTest::SetUp();
  StartServer();
  Open();
  ASSERT_NE(form_, nullptr);
  (void)QTest::qWaitForWindowActive(main_.get());
}

void ScreenTest::Click(const char* button) {
  QToolButton* b = form_->ToolButton(QLatin1String(button));
  ASSERT_NE(b, nullptr) << button;
  QTest::mouseClick(b, Qt::LeftButton);
  Flush();
}

void ScreenTest::ClickCell(fw::DBGrid* grid, int row, int column) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->scrollTo(index);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
  Flush();
}

void ScreenTest::ClickTab(fw::TabSheet* page) {
  QTabBar* bar = form_->pgcPadrao->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page->PageIndex()).center());
  Flush();
}

void ScreenTest::Type(const QString& text) {
  for (QChar c : text) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, c.toLatin1());
  }
  Flush();
}

void ScreenTest::Key(Qt::Key key, Qt::KeyboardModifiers mods) {
  QWidget* target = QApplication::focusWidget();
  ASSERT_NE(target, nullptr);
  QTest::keyClick(target, key, mods);
  Flush();
}

double ScreenTest::Value(fw::Dataset* ds, const char* field) {
  return ds->FieldByName(QString::fromLatin1(field))->AsFloat();
}

int ScreenTest::Questions(const char* key) const {
  int n = 0;
  for (const auto& m : dialogs_.Messages())
    if (m.text == fw::StandardMsg(QLatin1String(key))) ++n;
  return n;
}

}  // namespace screentest
