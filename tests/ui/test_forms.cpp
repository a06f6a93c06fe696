// The base screens: components by name, inherited handlers, the binding
// pattern of a derived screen, MDI activation and closing, and the two
// modal screens with the report seam.
#include "framework/data/errors.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialog_forms.h"
#include "framework/ui/host_services.h"
#include "framework/ui/padrao_grid.h"
#include "framework/ui/scripted_dialogs.h"
#include "ui_support.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using fw::DatasetState;

// A derived screen written the way the module writes its screens.
class TfrmExemplo : public fw::TfrmPadraoGrid {
 public:
  explicit TfrmExemplo(QWidget* parent = nullptr)
      : TfrmPadraoGrid(QStringLiteral("frmExemplo"), parent) {
    tshOutra = pgcPadrao->AddPage(QStringLiteral("tshOutra"), QStringLiteral("Outra"));
    mnuCopiar = InsertMenuItem(mnuManutencao, QStringLiteral("mnuCopiar"),
                               QStringLiteral("Ca&dastramento Automático"));
    InsertMenuSeparator(mnuManutencao, int(mnuManutencao->actions().size()) - 1);
    mnuPrimeira =
        InsertMenuItem(mnuOperacao, QStringLiteral("mnuPrimeira"), QStringLiteral("Primeira"), 0);
    sbtCopiar =
        AddToolButton(QStringLiteral("sbtCopiar"), QStringLiteral("Cadastramento Automático"),
                      mnuCopiar, QStringLiteral("sbtImprimir"));
    BindHandlers();
  }
  fw::TabSheet* tshOutra;
  QAction* mnuCopiar;
  QAction* mnuPrimeira;
  QToolButton* sbtCopiar;
  QStringList calls;
  int copies = 0;
  fw::CloseAction closeAction = fw::CloseAction::caFree;

  void FormCreate(QObject* sender) override {
    TfrmPadraoGrid::FormCreate(sender);
    calls << QStringLiteral("FormCreate");
  }
  void FormActivate(QObject* sender) override {
    TfrmPadraoGrid::FormActivate(sender);
    calls << QStringLiteral("FormActivate");
  }
  void FormClose(QObject* sender, fw::CloseAction& action) override {
    TfrmPadraoGrid::FormClose(sender, action);
    calls << QStringLiteral("FormClose");
    action = closeAction;
  }
  void dtsPadraoStateChange(QObject* sender) override {
    TfrmPadraoGrid::dtsPadraoStateChange(sender);
    calls << QStringLiteral("dtsPadraoStateChange");
  }

 private:
  void BindHandlers() {
    BindAction(mnuCopiar, [this] { ++copies; });
  }
};

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = fw::CreateForm<TfrmExemplo>();
    form_->dtsPadrao->SetDataSet(data_.dataset.get());
    form_->dtsPadraoStateChange(form_->dtsPadrao);  // bound after creation, as a load would
    window_ = std::make_unique<uitest::Window>(form_);
    form_->dbgPadrao->setFocus();
    QApplication::processEvents();
  }
  void TearDown() override { window_.reset(); }
  QAction* Twin(const char* button) { return form_->Twin(QString::fromLatin1(button)); }

  fw::ScriptedDialogs dlg_;
  fw::ScopedDialogs use_{dlg_};
  uitest::Data data_;
  TfrmExemplo* form_ = nullptr;
  std::unique_ptr<uitest::Window> window_;
};

TEST_F(FormTest, InheritedComponentsCarryTheirNames) {
  for (const char* name :
       {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtVerificar", "sbtCancelar", "sbtConfirmar",
        "sbtProcurar", "sbtImprimir", "sbtAjuda", "sbtFechar", "sbtCopiar"})
    EXPECT_NE(form_->findChild<QToolButton*>(QString::fromLatin1(name)), nullptr) << name;
  for (const char* name : {"mnuIncluir", "mnuAlterar", "mnuExcluir", "mnuVerificar", "mnuCancelar",
                           "mnuConfirmar", "mnuProcurar", "mnuImprimir", "mnuAjuda", "mnuFechar"})
    EXPECT_NE(form_->findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;
  EXPECT_NE(form_->findChild<QMenuBar*>(QStringLiteral("mnuMenu")), nullptr);
  EXPECT_NE(form_->findChild<QMenu*>(QStringLiteral("mnuOperacao")), nullptr);
  EXPECT_NE(form_->findChild<QMenu*>(QStringLiteral("mnuManutencao")), nullptr);
  EXPECT_NE(form_->findChild<fw::Panel*>(QStringLiteral("panMenu")), nullptr);
  EXPECT_NE(form_->findChild<fw::Panel*>(QStringLiteral("panNavigator")), nullptr);
  EXPECT_NE(form_->findChild<fw::PageControl*>(QStringLiteral("pgcPadrao")), nullptr);
  EXPECT_NE(form_->findChild<fw::TabSheet*>(QStringLiteral("tshPadrao")), nullptr);
  EXPECT_NE(form_->findChild<fw::DBGrid*>(QStringLiteral("dbgPadrao")), nullptr);
  EXPECT_NE(form_->findChild<fw::DataSource*>(QStringLiteral("dtsPadrao")), nullptr);
  EXPECT_NE(form_->findChild<fw::DBNavigator*>(QStringLiteral("dbnPadrao")), nullptr);
  EXPECT_NE(form_->findChild<fw::TMessages*>(QStringLiteral("msgPadrao")), nullptr);
  EXPECT_NE(form_->findChild<QLabel*>(QStringLiteral("lblCodTela")), nullptr);
  auto* standard = form_->findChild<fw::TMessages*>(QStringLiteral("msgMensagensPadroes"));
  ASSERT_NE(standard, nullptr);
  EXPECT_EQ(standard->Msg(QStringLiteral("Canc")), QStringLiteral("Confirma cancelamento?"));
  EXPECT_EQ(form_->dbgPadrao->DataSource(), form_->dtsPadrao);
  EXPECT_EQ(form_->dbnPadrao->DataSource(), form_->dtsPadrao);
  EXPECT_EQ(form_->pgcPadrao->ActivePage(), form_->tshPadrao);
}

TEST_F(FormTest, DerivedScreenAddsButtonsAndMenuItemsWhereAsked) {
  auto* toolbar = form_->panMenu->layout();
  EXPECT_EQ(toolbar->indexOf(form_->sbtCopiar) + 1,
            toolbar->indexOf(form_->ToolButton(QStringLiteral("sbtImprimir"))));
  EXPECT_EQ(form_->mnuOperacao->actions().first(), form_->mnuPrimeira);
  EXPECT_EQ(form_->mnuManutencao->actions().last(), form_->mnuCopiar);
  EXPECT_TRUE(form_->mnuManutencao->actions()
                  .at(form_->mnuManutencao->actions().size() - 2)
                  ->isSeparator());
  form_->mnuCopiar->setEnabled(false);
  EXPECT_FALSE(form_->sbtCopiar->isEnabled());
  form_->mnuCopiar->setEnabled(true);
  form_->sbtCopiar->click();
  form_->mnuCopiar->trigger();
  EXPECT_EQ(form_->copies, 2);
}

TEST_F(FormTest, FormCreateRunsOnceAndTheStateRuleFollowsTheDataSource) {
  EXPECT_EQ(form_->calls.count(QStringLiteral("FormCreate")), 1);
  form_->Create();
  EXPECT_EQ(form_->calls.count(QStringLiteral("FormCreate")), 1);
  form_->calls.clear();
  data_.dataset->Edit();
  EXPECT_EQ(form_->calls, QStringList{QStringLiteral("dtsPadraoStateChange")});
  EXPECT_TRUE(Twin("sbtConfirmar")->isEnabled());
  EXPECT_TRUE(form_->ToolButton(QStringLiteral("sbtCancelar"))->isEnabled());
  EXPECT_FALSE(form_->ToolButton(QStringLiteral("sbtIncluir"))->isEnabled());
  data_.dataset->Cancel();
  EXPECT_FALSE(Twin("sbtConfirmar")->isEnabled());
  EXPECT_TRUE(form_->ToolButton(QStringLiteral("sbtExcluir"))->isEnabled());
}

TEST_F(FormTest, ToolbarWritesPendingEditorsBeforeItsAction) {
  form_->dbgPadrao->SetSelectedIndex(1);
  for (QChar c : QStringLiteral("Novo"))
    QTest::keyClick(form_->dbgPadrao->Editor() ? static_cast<QWidget*>(form_->dbgPadrao->Editor())
                                               : form_->dbgPadrao,
                    c.toLatin1());
  ASSERT_TRUE(form_->dbgPadrao->EditorOpen());
  QToolButton* confirm = form_->ToolButton(QStringLiteral("sbtConfirmar"));
  QTest::mouseClick(confirm, Qt::LeftButton);
  EXPECT_EQ(data_.dataset->State(), DatasetState::Browse);
  EXPECT_EQ(data_.dataset->DisplayTextAt(0, 1), QStringLiteral("Novo"));
  // The click took no focus: the grid still holds it, as its active control.
  EXPECT_TRUE(form_->dbgPadrao->isAncestorOf(QApplication::focusWidget()) ||
              QApplication::focusWidget() == form_->dbgPadrao);
  EXPECT_EQ(form_->ActiveControl(), form_->dbgPadrao);
  // Cancel throws away what is being typed instead of writing it.
  form_->dbgPadrao->SetSelectedIndex(1);
  QTest::keyClick(form_->dbgPadrao, 'X');
  ASSERT_TRUE(form_->dbgPadrao->EditorOpen());
  QTest::mouseClick(form_->ToolButton(QStringLiteral("sbtCancelar")), Qt::LeftButton);
  EXPECT_EQ(data_.dataset->State(), DatasetState::Browse);
  EXPECT_EQ(data_.dataset->DisplayTextAt(0, 1), QStringLiteral("Novo"));
  // Every inherited button shows an icon and says what it does.
  for (QToolButton* button : form_->panMenu->findChildren<QToolButton*>()) {
    EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
  }
}

TEST_F(FormTest, InheritedToolbarHandlers) {
  form_->ToolButton(QStringLiteral("sbtIncluir"))->click();
  EXPECT_EQ(data_.dataset->State(), DatasetState::Insert);
  form_->ToolButton(QStringLiteral("sbtCancelar"))->click();
  EXPECT_EQ(data_.dataset->State(), DatasetState::Browse);
  EXPECT_EQ(data_.dataset->RecordCount(), 3);

  dlg_.QueueAnswer(fw::mbNo);
  form_->ToolButton(QStringLiteral("sbtExcluir"))->click();
  EXPECT_EQ(data_.dataset->RecordCount(), 3);
  dlg_.QueueAnswer(fw::mbYes);
  form_->ToolButton(QStringLiteral("sbtExcluir"))->click();
  EXPECT_EQ(data_.dataset->RecordCount(), 2);
  EXPECT_EQ(dlg_.LastMessage().text, QStringLiteral("Confirma exclusão?"));

  dlg_.QueueFind(QStringLiteral("NAME"), QStringLiteral("tr"));
  form_->ToolButton(QStringLiteral("sbtProcurar"))->click();
  EXPECT_EQ(data_.Name()->AsString(), QStringLiteral("Tres"));
  ASSERT_FALSE(dlg_.Picks().isEmpty());
  EXPECT_EQ(dlg_.Picks().last().kind, QStringLiteral("Procura"));
}

TEST_F(FormTest, HelpFromTheButtonAndF1) {
  form_->SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  form_->SetHelpContext(11153600);
  form_->ToolButton(QStringLiteral("sbtAjuda"))->click();
  QTest::keyClick(form_->dbgPadrao, Qt::Key_F1);
  ASSERT_EQ(dlg_.HelpRequests().size(), 2);
  EXPECT_EQ(dlg_.HelpRequests()[1], qMakePair(QStringLiteral("Qelhelp.hlp"), 11153600));
}

TEST_F(FormTest, KeyColumnsAreTypedOnlyIntoANewRecord) {
  data_.Code()->SetTag(1);
  QTest::keyClick(form_->dbgPadrao, '9');
  EXPECT_EQ(data_.dataset->State(), DatasetState::Browse);
  form_->dbgPadrao->SetSelectedIndex(1);  // not a key column
  QTest::keyClick(form_->dbgPadrao, 'x');
  EXPECT_EQ(data_.dataset->State(), DatasetState::Edit);
  QTest::keyClick(form_->dbgPadrao->Editor(), Qt::Key_Escape);
  form_->dbgPadrao->SetSelectedIndex(0);
  QTest::keyClick(form_->dbgPadrao, Qt::Key_Insert);
  QTest::keyClick(form_->dbgPadrao, '9');
  EXPECT_EQ(form_->dbgPadrao->EditorText(), QStringLiteral("9"));
}

TEST(MdiScreen, ActivatesOnEveryReturnAndLeavesNoInstanceOnClose) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  QMainWindow main;
  auto* mdi = new QMdiArea(&main);
  main.setCentralWidget(mdi);
  main.resize(800, 600);
  main.show();
  QApplication::setActiveWindow(&main);
  (void)QTest::qWaitForWindowActive(&main);

  QPointer<TfrmExemplo> form = fw::CreateForm<TfrmExemplo>();
  QMdiSubWindow* sub = mdi->addSubWindow(form);
  sub->show();
  mdi->setActiveSubWindow(sub);
  QApplication::processEvents();
  auto* other = mdi->addSubWindow(new QWidget);
  other->show();
  mdi->setActiveSubWindow(other);
  mdi->setActiveSubWindow(sub);
  QApplication::processEvents();
  EXPECT_EQ(form->calls.count(QStringLiteral("FormActivate")), 2);

  form->closeAction = fw::CloseAction::caNone;  // the screen refuses
  form->ToolButton(QStringLiteral("sbtFechar"))->click();
  QApplication::processEvents();
  ASSERT_FALSE(form.isNull());
  EXPECT_TRUE(sub->isVisible());
  form->closeAction = fw::CloseAction::caFree;
  QPointer<QMdiSubWindow> subWindow = sub;
  form->ToolButton(QStringLiteral("sbtFechar"))->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_TRUE(form.isNull());
  EXPECT_TRUE(subWindow.isNull());
  EXPECT_EQ(mdi->subWindowList().size(), 1);
}

TEST(MdiScreen, ShowChildCreatesOneSubWindowAndRestoresIt) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  QMainWindow main;
  auto* mdi = new QMdiArea(&main);
  main.setCentralWidget(mdi);
  main.resize(800, 600);
  main.show();
  QApplication::setActiveWindow(&main);
  (void)QTest::qWaitForWindowActive(&main);
  fw::Host::Instance().SetMdiArea(mdi);

  auto* form = new TfrmExemplo;
  form->resize(513, 306);  // the screen's design size
  form->ShowChild();
  form->ShowChild();
  ASSERT_EQ(mdi->subWindowList().size(), 1);
  QMdiSubWindow* sub = mdi->subWindowList().first();
  EXPECT_EQ(sub->widget(), form);
  QApplication::processEvents();
  EXPECT_EQ(form->size(), QSize(513, 306));
  EXPECT_EQ(form->calls.count(QStringLiteral("FormCreate")), 1);
  EXPECT_EQ(mdi->activeSubWindow(), sub);
  sub->showMinimized();
  form->ShowChild();
  EXPECT_FALSE(sub->isMinimized());
  EXPECT_TRUE(sub->isVisible());
  fw::Host::Instance().Reset();
}

// --- modal screens

class TfrmRotina : public fw::TfrmRotiGeral {
 public:
  TfrmRotina() : TfrmRotiGeral(QStringLiteral("frmRotina")) {}
  bool valid = false;
  QStringList calls;
  void FormClose(QObject* sender, fw::CloseAction& action) override {
    TfrmRotiGeral::FormClose(sender, action);
    calls << QStringLiteral("FormClose");
  }
  void sbtConfirmaClick(QObject* sender) override {
    calls << QStringLiteral("sbtConfirmaClick");
    if (!valid) fw::MensErro(QStringLiteral("Percentil deve ser informado."));
    TfrmRotiGeral::sbtConfirmaClick(sender);
  }
};

TEST(TfrmRotiGeral, ConfirmsOrClosesWithoutConfirming) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  for (const char* name : {"grbDadosRel", "sbtConfirma", "sbtFechar", "lblCodTela", "msgPadrao"}) {
    TfrmRotina form;
    EXPECT_NE(form.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
  }
  {
    std::unique_ptr<TfrmRotina> form(fw::CreateForm<TfrmRotina>());
    form->show();
    form->sbtConfirma->click();  // refused: stays open
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(dlg.LastMessage().text, QStringLiteral("Percentil deve ser informado."));
    form->valid = true;
    form->sbtConfirma->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->calls,
              (QStringList{QStringLiteral("sbtConfirmaClick"), QStringLiteral("sbtConfirmaClick"),
                           QStringLiteral("FormClose")}));
  }
  {
    std::unique_ptr<TfrmRotina> form(fw::CreateForm<TfrmRotina>());
    form->show();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(form->calls, QStringList{QStringLiteral("FormClose")});
  }
}

class RecordingEngine : public fw::IReportEngine {
 public:
  void Run(fw::TfrmDadosGerRel& form, fw::ReportOutput output) override {
    fw::TQueryParams params({QStringLiteral("P_CDREFERENCIA")});
    form.rpddPadrao->GetQueryParams(params);
    runs << qMakePair(int(output), params.ParamByName(QStringLiteral("p_cdreferencia")).AsString());
  }
  QList<QPair<int, QString>> runs;
};

TEST(TfrmDadosGerRel, ButtonsHandTheReportToTheEngineWithItsParameters) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  fw::TfrmDadosGerRel form(QStringLiteral("frmRelatorio"));
  for (const char* name : {"grbDadosRel", "lblCodRel", "lblCodTela", "rpddPadrao", "sbtPrint",
                           "sbtPreview", "sbtSalvarComo", "msgPadrao"})
    EXPECT_NE(form.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
  form.SetReportCode(QStringLiteral("QEL536"));
  EXPECT_EQ(form.ReportCode(), QStringLiteral("QEL536"));

  form.sbtPrint->click();  // no engine installed: said, nothing else
  EXPECT_EQ(dlg.LastMessage().type, fw::MsgType::Error);

  form.rpddPadrao->OnBeforeGetQueryParams = [](fw::TReportDesignerDialog*, fw::TQueryParams& params,
                                               bool&) {
    if (fw::ExistParam(params, QStringLiteral("P_CDREFERENCIA")))
      params.ParamByName(QStringLiteral("P_CDREFERENCIA")).SetAsString(QStringLiteral("T"));
    EXPECT_FALSE(fw::ExistParam(params, QStringLiteral("P_CDPERCENTIL")));
  };
  RecordingEngine engine;
  fw::InstallReportEngine(&engine);
  form.sbtPrint->click();
  form.sbtPreview->click();
  form.sbtSalvarComo->click();
  fw::InstallReportEngine(nullptr);
  ASSERT_EQ(engine.runs.size(), 3);
  EXPECT_EQ(engine.runs[0], qMakePair(int(fw::ReportOutput::Print), QStringLiteral("T")));
  EXPECT_EQ(engine.runs[1].first, int(fw::ReportOutput::Preview));
  EXPECT_EQ(engine.runs[2].first, int(fw::ReportOutput::SaveAs));
  fw::TQueryParams params;
  EXPECT_THROW(params.ParamByName(QStringLiteral("X")), fw::Error);
}

}  // namespace
