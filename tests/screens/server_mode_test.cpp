// Many workstations on one server: the host in server mode reads every table
// through the server's token (its report and its pick lists), never the
// embedded file an earlier run left in its data folder; tabrelpeso-report
// --server does the same; a reader's screen opens read-only.

#include "framework/data/errors.h"
#include "framework/data/packet.h"
#include "framework/net/netconnection.h"
#include "framework/sql/adoibquery.h"
#include "framework/sql/localdb.h"
#include "framework/ui/consiste.h"
#include "framework/ui/guard.h"
#include "framework/ui/host_services.h"
#include "host/hostapp.h"
#include "host/mainwindow.h"
#include "report/report_definition.h"
#include "report/report_engine.h"
#include "report/report_query.h"
#include "report/report_render.h"
#include "screens/reltabpeso/reltabpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/admin.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <functional>

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

const QString kMaint = QStringLiteral("tk-manutencao-servidor");
const QString kRead = QStringLiteral("tk-leitura-servidor");
// 1 year 0 months, boys' weight, CDC 2000 percentile 50.
const char* const kRow =
    " WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050' AND NRIDADEINI = 1 AND "
    "NRIDADEFIN = 0";

const QString& SampleFile() {
  static QTemporaryDir dir;
  static const QString path = [] {
    const QString p = dir.filePath(QStringLiteral("amostra.db"));
    srv::SeedSampleDatabase(p, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
    return p;
  }();
  return path;
}

// Runs statements on a database file through a connection of its own.
QVariant OnFile(const QString& file, const QStringList& statements) {
  QVariant last;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("arq"));
    db.setDatabaseName(file);
    EXPECT_TRUE(db.open());
    QSqlQuery q(db);
    for (const QString& sql : statements) {
      EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << q.lastError().text().toStdString();
      if (q.next()) last = q.value(0);
    }
  }
  QSqlDatabase::removeDatabase(QStringLiteral("arq"));
  return last;
}

QString PdfText(const QString& path) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The age table's row of 1 year 0 months with that boys' weight.
bool HasRow(const QString& text, const char* weight) {
  return QRegularExpression(QStringLiteral("\\n\\s*1\\s+0\\s+%1\\s").arg(QLatin1String(weight)))
      .match(text)
      .hasMatch();
}

class ServerMode : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    serverDb_ = dir_->filePath(QStringLiteral("servidor.db"));
    ASSERT_TRUE(QFile::copy(SampleFile(), serverDb_));
    // The embedded file of an earlier run without a server: another weight
    // and a reference the server does not have.
    dataDir_ = dir_->filePath(QStringLiteral("dados"));
    ASSERT_TRUE(QDir().mkpath(dataDir_));
    const QString old = dataDir_ + QStringLiteral("/tabrelpeso.db");
    ASSERT_TRUE(QFile::copy(SampleFile(), old));
    OnFile(old, {QStringLiteral("UPDATE PESALTIDADE SET VRPESOMASIDA = 9.7") + kRow,
                 QStringLiteral("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('09', "
                                "'Antiga')")});
    srv::ServerOptions o;
    o.port = 0;
    o.database = serverDb_;
    o.threads = 4;
    o.logLevel = QStringLiteral("quiet");
    o.tokens = {{QStringLiteral("ana"), QStringLiteral("maintainer"), kMaint},
                {QStringLiteral("joao"), QStringLiteral("reader"), kRead}};
    server_ = std::make_unique<srv::AppServer>(o);
    port_ = server_->Start();
  }
  void TearDown() override {
    CloseScreen();
    app_.reset();
    ScreenTest::TearDown();
  }

  void StartHost(const QString& token) {
    host::HostConfig c;
    c.serverHost = QStringLiteral("127.0.0.1");
    c.serverPort = port_;
    c.token = token;
    c.dataDir = dataDir_;
    c.iniPath = dir_->filePath(QStringLiteral("tabrelpeso.ini"));
    app_ = std::make_unique<host::HostApp>(c, &dialogs_);
    app_->Start();
    app_->Window()->show();
    (void)QTest::qWaitForWindowActive(app_->Window());
  }

  // QEL536 for CDC 2000 percentile 50 through the report engine, read back.
  // Throws fw::Error when the engine refuses.
  QString Report(const char* name) {
    const report::ReportDefinition definition =
        report::LoadDefinition(report::DefinitionPath(report::ReportsDir(), "QEL536"));
    report::RenderRequest request;
    request.definition = &definition;
    request.database = QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName), false);
    request.params =
        fw::TQueryParams(report::QueryParameterNames(definition, fw::DialectOf(request.database)));
    request.params.ParamByName(QStringLiteral("P_CDREFERENCIA")).SetValue(QStringLiteral("01"));
    request.params.ParamByName(QStringLiteral("P_CDPERCENTIL")).SetValue(QStringLiteral("050"));
    request.title = QStringLiteral("Tabelas");
    const QString path = dir_->filePath(QLatin1String(name));
    report::WritePdf(request, path);
    return PdfText(path);
  }

  // Every text of the host's status bar, as one line.
  QString Status() const {
    QStringList texts;
    for (const QLabel* l : app_->Window()->statusBar()->findChildren<QLabel*>())
      if (l->isVisibleTo(app_->Window())) texts << l->text();
    return texts.join(QStringLiteral(" | "));
  }
  // The server back on its port, as an administrator restarts it.
  void Restart() {
    srv::ServerOptions o;
    o.port = port_;
    o.database = serverDb_;
    o.threads = 4;
    o.logLevel = QStringLiteral("quiet");
    o.tokens = {{QStringLiteral("ana"), QStringLiteral("maintainer"), kMaint},
                {QStringLiteral("joao"), QStringLiteral("reader"), kRead}};
    server_ = std::make_unique<srv::AppServer>(o);
    ASSERT_EQ(server_->Start(), port_);
  }
  // Closes every modal window that opens while `act` runs, naming each.
  QStringList ClosingModals(const std::function<void()>& act) {
    QStringList seen;
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [&seen] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        seen << QString::fromLatin1(modal->metaObject()->className());
        modal->close();
      }
    });
    timer.start();
    act();
    timer.stop();
    return seen;
  }
  // The age row of 1 year 0 months on the screen, boys' weight.
  double OnScreen() const {
    fw::Dataset* rows = form_->cdsIdPesAlt;
    for (int r = 0; r < rows->RecordCount(); ++r)
      if (rows->ValueAt(r, rows->FieldByName(u"NRIDADEINI")->Index()).toInt() == 1 &&
          rows->ValueAt(r, rows->FieldByName(u"NRIDADEFIN")->Index()).toInt() == 0)
        return rows->ValueAt(r, rows->FieldByName(u"VRPESOMASIDA")->Index()).toDouble();
    return -1;
  }
  // Another workstation's change of that weight, straight to the server.
  void ChangeElsewhere(double from, double to) {
    fw::TNetConnection other(QStringLiteral("netOutra"));
    other.SetServerName(QStringLiteral("Qel53600.rdmTabRelPeso"));
    other.SetHost(QStringLiteral("127.0.0.1"));
    other.SetPort(port_);
    other.SetToken(kMaint);
    fw::DeltaPacket delta;
    delta.fields = {{QStringLiteral("CDREFEBIBL"), fw::FieldType::String, 2},
                    {QStringLiteral("CDPERCENTIL"), fw::FieldType::String, 3},
                    {QStringLiteral("NRIDADEINI"), fw::FieldType::Float, 0},
                    {QStringLiteral("NRIDADEFIN"), fw::FieldType::Float, 0},
                    {QStringLiteral("VRPESOMASIDA"), fw::FieldType::Float, 0}};
    delta.changes = {fw::Change{fw::Change::Op::Update,
                                {QStringLiteral("01"), QStringLiteral("050"), 1.0, 0.0, from},
                                {QStringLiteral("01"), QStringLiteral("050"), 1.0, 0.0, to}}};
    const fw::ServerResult saved =
        other.Call(QStringLiteral("SetIdPesAlt"), {QVariant::fromValue(delta)});
    ASSERT_TRUE(saved.ok) << saved.error.toStdString();
  }

  double OnServer() const {
    return OnFile(serverDb_, {QStringLiteral("SELECT VRPESOMASIDA FROM PESALTIDADE") + kRow})
        .toDouble();
  }

  // Finds 1 year 0 months of percentile 50 on the age page and clicks its weight.
  void ClickAgeRow() {
    ClickTab(form_->tshIdPesAlt);
    ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
    fw::Dataset* rows = form_->cdsIdPesAlt;
    const int years = rows->FieldByName(u"NRIDADEINI")->Index();
    const int months = rows->FieldByName(u"NRIDADEFIN")->Index();
    int at = -1;
    for (int r = 0; r < rows->RecordCount() && at < 0; ++r)
      if (rows->ValueAt(r, years).toInt() == 1 && rows->ValueAt(r, months).toInt() == 0) at = r;
    ASSERT_GE(at, 0);
    ClickCell(form_->dbgIdPesAltMasc, at,
              fw::IndiceCol(form_->dbgIdPesAltMasc, QStringLiteral("VRPESOMASIDA")));
  }

  QString serverDb_;
  QString dataDir_;
  std::unique_ptr<host::HostApp> app_;
};

TEST_F(ServerMode, ReportAndPickListsReadTheServerAfterEveryChangeAndRefuseWithoutIt) {
  StartHost(kMaint);
  ASSERT_NE(app_->Copy(), nullptr);
  EXPECT_FALSE(fw::SomenteLeitura());
  Open();
  ASSERT_NE(form_, nullptr);

  // A change through the screen, saved on leaving the row.
  ClickAgeRow();
  Type(QStringLiteral("10,45"));
  ClickCell(form_->dbgIdPesAltMasc, 2, 3);
  EXPECT_TRUE(dialogs_.MessageTexts().isEmpty())
      << dialogs_.MessageTexts().join('\n').toStdString();
  ASSERT_DOUBLE_EQ(OnServer(), 10.45);
  QString text = Report("tela.pdf");
  EXPECT_TRUE(HasRow(text, "10,450")) << text.left(3000).toStdString();
  EXPECT_FALSE(HasRow(text, "9,700"));

  // A change by another workstation, straight to the server.
  fw::TNetConnection other(QStringLiteral("netOutra"));
  other.SetServerName(QStringLiteral("Qel53600.rdmTabRelPeso"));
  other.SetHost(QStringLiteral("127.0.0.1"));
  other.SetPort(port_);
  other.SetToken(kMaint);
  fw::DeltaPacket delta;
  delta.fields = {{QStringLiteral("CDREFEBIBL"), fw::FieldType::String, 2},
                  {QStringLiteral("CDPERCENTIL"), fw::FieldType::String, 3},
                  {QStringLiteral("NRIDADEINI"), fw::FieldType::Float, 0},
                  {QStringLiteral("NRIDADEFIN"), fw::FieldType::Float, 0},
                  {QStringLiteral("VRPESOMASIDA"), fw::FieldType::Float, 0}};
  delta.changes = {fw::Change{fw::Change::Op::Update,
                              {QStringLiteral("01"), QStringLiteral("050"), 1.0, 0.0, 10.45},
                              {QStringLiteral("01"), QStringLiteral("050"), 1.0, 0.0, 10.5}}};
  const fw::ServerResult saved =
      other.Call(QStringLiteral("SetIdPesAlt"), {QVariant::fromValue(delta)});
  ASSERT_TRUE(saved.ok) << saved.error.toStdString();
  text = Report("outra.pdf");
  EXPECT_TRUE(HasRow(text, "10,500"));

  // The pick lists: the server's references, not the old file's "09".
  form_->qryPesqRefe->Close();
  form_->qryPesqRefe->ParamByName(u"P_CDREFERENCIA")->Clear();
  form_->qryPesqRefe->Open();
  EXPECT_EQ(form_->qryPesqRefe->DataSet()->RecordCount(), 5);
  EXPECT_FALSE(
      form_->qryPesqRefe->DataSet()->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("09")));

  // The server stopped: the report and the pick lists are refused, nothing written.
  server_->Stop();
  const QString pdf = dir_->filePath(QStringLiteral("parado.pdf"));
  for (const auto& read : std::vector<std::function<void()>>{
           [&] { Report("parado.pdf"); }, [&] { form_->qryPesqPercentil->Open(); }}) {
    try {
      read();
      ADD_FAILURE() << "a read without the server was not refused";
    } catch (const fw::Error& e) {
      EXPECT_TRUE(e.message().contains(QStringLiteral("não puderam ser lidos")))
          << e.message().toStdString();
      EXPECT_TRUE(e.message().contains(QStringLiteral("127.0.0.1:%1").arg(port_)));
    }
  }
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(ServerMode, TheReportToolReadsTheServerThroughItsTokenOrItsSettings) {
  OnFile(serverDb_, {QStringLiteral("UPDATE PESALTIDADE SET VRPESOMASIDA = 9.9") + kRow});
  const QString ini = dir_->filePath(QStringLiteral("posto.ini"));
  {
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("[Servidor]\nWebURL=127.0.0.1\nWebPort=%1\nToken=%2\n")
                .arg(port_)
                .arg(kRead)
                .toUtf8());
  }
  // The token from a file, so that it is not on the command line.
  const QString tokenFile = dir_->filePath(QStringLiteral("token"));
  {
    QFile f(tokenFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kRead.toUtf8() + '\n');
  }
  struct Case {
    QStringList args;
    bool served;
  };
  const QString server = QStringLiteral("127.0.0.1:%1").arg(port_);
  const std::vector<Case> cases{
      {{"--server", server, "--token", kRead}, true},
      {{"--server", server, "--token-file", tokenFile}, true},
      {{"--config", ini}, true},
      {{"--server", server, "--token", "errado"}, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const QString out = dir_->filePath(QStringLiteral("ferramenta%1.pdf").arg(++n));
    QProcess tool;
    tool.setWorkingDirectory(dataDir_);  // beside the old embedded file
    tool.start(QStringLiteral(TRP_REPORT_EXE),
               c.args + QStringList{"--refs", "01", "--percs", "050", "--out", out});
    ASSERT_TRUE(tool.waitForFinished(120000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    EXPECT_EQ(tool.exitCode(), c.served ? 0 : 1)
        << c.args.join(' ').toStdString() << err.toStdString();
    EXPECT_EQ(QFile::exists(out), c.served);
    if (c.served) {
      EXPECT_TRUE(HasRow(PdfText(out), "9,900")) << c.args.join(' ').toStdString();
    } else {
      EXPECT_TRUE(err.contains(QStringLiteral("credencial"))) << err.toStdString();
    }
  }
  // Without the server the tool writes nothing and says why.
  server_->Stop();
  QProcess tool;
  const QString out = dir_->filePath(QStringLiteral("parado.pdf"));
  tool.start(QStringLiteral(TRP_REPORT_EXE), {"--config", ini, "--out", out});
  ASSERT_TRUE(tool.waitForFinished(120000));
  EXPECT_EQ(tool.exitCode(), 1);
  EXPECT_TRUE(QString::fromUtf8(tool.readAllStandardError()).contains("não puderam ser lidos"));
  EXPECT_FALSE(QFile::exists(out));
}

TEST_F(ServerMode, AReadersScreenOpensReadOnlyAndStillPrints) {
  StartHost(kRead);
  EXPECT_TRUE(fw::SomenteLeitura());
  Open();
  ASSERT_NE(form_, nullptr);
  EXPECT_TRUE(form_->lblSomenteLeitura->isVisible());
  EXPECT_TRUE(SubWindow()->windowTitle().contains(QStringLiteral("Somente leitura")))
      << SubWindow()->windowTitle().toStdString();
  const double before = OnServer();

  // On the reference page and in a rows grid, where the rules enable the most.
  for (const bool rowsGrid : {false, true}) {
    if (rowsGrid) ClickAgeRow();
    for (const char* button : {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtCopiar"})
      EXPECT_FALSE(Enabled(button)) << button << rowsGrid;
    for (const char* button : {"sbtVerificar", "sbtProcurar", "sbtImprimir", "sbtGrafico"})
      EXPECT_TRUE(Enabled(button)) << button << rowsGrid;
  }
  // Neither typing, F2, Insert nor Delete starts an edit.
  Type(QStringLiteral("5"));
  Key(Qt::Key_F2);
  Key(Qt::Key_Insert);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Browse);
  EXPECT_DOUBLE_EQ(OnServer(), before);

  // A change that reached the server anyway is refused in words, not methods.
  dialogs_.Clear();
  fw::Guard([&] {
    form_->cdsIdPesAlt->Edit();
    form_->cdsIdPesAlt->FieldByName(u"VRPESOMASIDA")->SetAsFloat(10.5);
    form_->cdsIdPesAlt->Post();
  });
  const QString shown = dialogs_.MessageTexts().join('\n');
  EXPECT_TRUE(shown.contains(QStringLiteral("Você não tem permissão para alterar as tabelas")))
      << shown.toStdString();
  EXPECT_FALSE(shown.contains(QStringLiteral("SetIdPesAlt")));
  EXPECT_DOUBLE_EQ(OnServer(), before);

  // Printing reads the server for a reader too.
  EXPECT_TRUE(HasRow(Report("leitor.pdf"),
                     QString::number(before, 'f', 3).replace('.', ',').toLatin1().constData()));
}

TEST_F(ServerMode, TheStatusBarFollowsTheServerAndNamesTheUserAndRole) {
  // Down at start: read-only, and the reason said.
  server_->Stop();
  StartHost(kMaint);
  EXPECT_TRUE(Status().contains(QStringLiteral("Somente leitura"))) << Status().toStdString();
  EXPECT_TRUE(Status().contains(QStringLiteral("127.0.0.1:%1").arg(port_)))
      << Status().toStdString();
  EXPECT_TRUE(Status().contains(QStringLiteral("não"), Qt::CaseInsensitive) ||
              Status().contains(QStringLiteral("falha"), Qt::CaseInsensitive))
      << "no reason: " << Status().toStdString();

  // Back: the screen opened from the menu is editable and the status says so.
  Restart();
  QTest::keyClick(app_->Window(), Qt::Key_C, Qt::AltModifier);
  Flush();
  QWidget* menu = QApplication::activePopupWidget();
  ASSERT_NE(menu, nullptr);
  QTest::keyClick(menu, Qt::Key_R);
  QDeadlineTimer deadline(10000);
  while ((!trp::tabrelpeso::frmTabRelPeso || trp::tabrelpeso::boPrimVez) && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  form_ = trp::tabrelpeso::frmTabRelPeso;
  ASSERT_NE(form_, nullptr);
  EXPECT_FALSE(form_->lblSomenteLeitura->isVisible());
  QString status = Status();
  EXPECT_FALSE(status.contains(QStringLiteral("Somente leitura"))) << status.toStdString();
  EXPECT_FALSE(status.contains(QStringLiteral("indisponível"))) << status.toStdString();
  EXPECT_TRUE(status.contains(QStringLiteral("ana"))) << status.toStdString();
  EXPECT_TRUE(status.contains(QStringLiteral("manutenção"))) << status.toStdString();

  // Gone and back again while the screen works: each time the status follows.
  server_->Stop();
  Click("sbtVerificar");
  dialogs_.Clear();
  EXPECT_TRUE(Status().contains(QStringLiteral("indisponível"))) << Status().toStdString();
  Restart();
  Click("sbtVerificar");
  status = Status();
  EXPECT_FALSE(status.contains(QStringLiteral("indisponível"))) << status.toStdString();
  EXPECT_TRUE(status.contains(QStringLiteral("ana"))) << status.toStdString();
}

TEST_F(ServerMode, AReportIsRefusedBeforeAnyDialogWhileTheServerIsDown) {
  StartHost(kMaint);
  Open();
  ASSERT_NE(form_, nullptr);
  trp::reltabpeso::TfrmRelTabPeso report(form_);
  report.Create();
  report.show();
  Flush();
  server_->Stop();
  for (QToolButton* button : {report.sbtPreview, report.sbtSalvarComo}) {
    dialogs_.Clear();
    const QStringList modals = ClosingModals([&] { QTest::mouseClick(button, Qt::LeftButton); });
    Flush();
    EXPECT_TRUE(modals.isEmpty()) << button->objectName().toStdString() << ": "
                                  << modals.join(' ').toStdString();
    EXPECT_TRUE(dialogs_.Inputs().isEmpty())
        << button->objectName().toStdString() << " asked for a title first";
    const QString shown = dialogs_.MessageTexts().join('\n');
    EXPECT_TRUE(shown.contains(QStringLiteral("não puderam ser lidos"))) << shown.toStdString();
  }
}

TEST_F(ServerMode, AReadersScreenShowsWhatPrintsAndSaysWhatChanged) {
  OnFile(serverDb_, {QStringLiteral("UPDATE PESALTIDADE SET VRPESOMASIDA = 3.433") + kRow});
  StartHost(kRead);
  Open();
  ASSERT_NE(form_, nullptr);
  ClickAgeRow();
  ASSERT_DOUBLE_EQ(OnScreen(), 3.433);
  ChangeElsewhere(3.433, 3.45);
  dialogs_.Clear();
  const QStringList modals = ClosingModals([&] { Click("sbtImprimir"); });
  EXPECT_TRUE(modals.contains(QStringLiteral("trp::reltabpeso::TfrmRelTabPeso")))
      << modals.join(' ').toStdString();
  EXPECT_DOUBLE_EQ(OnScreen(), 3.45);
  EXPECT_TRUE(dialogs_.Statuses().join('\n').contains(QStringLiteral("1 linha")))
      << dialogs_.Statuses().join('\n').toStdString();
}

}  // namespace
}  // namespace screentest
