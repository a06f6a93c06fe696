// Editing the screen as a person does: mouse clicks on the real toolbar
// buttons and grid cells, keys typed into the cells, the screen an MDI child
// of a host window and the real server behind it. Nothing the user typed may
// be posted, dropped or moved to another row, column or percentile behind
// their back.

#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/messages.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

class Editing : public SampleScreenTest {};

TEST_F(Editing, CancelAnsweredNoOnARowEditedCellByCellKeepsItUnposted) {
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPesAlt, 2, 1);
  const double before = Value(form_->cdsPesAlt, "VRPESOMASALT");
  Type(QStringLiteral("12,5"));
  Key(Qt::Key_Tab);
  ASSERT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  dialogs_.QueueAnswer(fw::mbNo);
  Click("sbtCancelar");
  EXPECT_EQ(Questions("Canc"), 1);
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_EQ(form_->cdsPesAlt->ChangeCount(), 0);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAlt, "VRPESOMASALT"), 12.5);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsPesAlt->ChangeCount(), 0);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAlt, "VRPESOMASALT"), before);
}

// A key lands in the cell it was typed into; the focus moves of the
// before-edit and before-insert handlers serve the toolbar.
TEST_F(Editing, AKeyTypedIntoAnAgeRowLandsInItsColumnAndTheToolbarMovesToTheSexsGrid) {
  ClickTab(form_->tshIdPesAlt);
  fw::DBGrid* masc = form_->dbgIdPesAltMasc;
  const int altura = fw::IndiceCol(masc, QStringLiteral("VRALTUMASIDA"));
  const double peso = Value(form_->cdsIdPesAlt, "VRPESOMASIDA");
  ClickCell(masc, 0, altura);
  Type(QStringLiteral("7"));
  ASSERT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_EQ(masc->SelectedIndex(), altura);
  EXPECT_EQ(masc->EditorText(), QStringLiteral("7"));
  Key(Qt::Key_Tab);
  EXPECT_DOUBLE_EQ(Value(form_->cdsIdPesAlt, "VRALTUMASIDA"), 7);
  EXPECT_DOUBLE_EQ(Value(form_->cdsIdPesAlt, "VRPESOMASIDA"), peso);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");

  // From the toolbar, with the female sex chosen and the focus elsewhere.
  form_->cbbSexoIdPesAlt->setFocus();
  Key(Qt::Key_Down);
  ASSERT_EQ(form_->nbkIdPesAlt->ActivePage(), QStringLiteral("pgFeminino"));
  struct Case {
    const char* button;
    const char* field;
    fw::DatasetState state;
  };
  for (const Case& c : {Case{"sbtAlterar", "VRPESOFEMIDA", fw::DatasetState::Edit},
                        Case{"sbtIncluir", "NRIDADEINI", fw::DatasetState::Insert}}) {
    Click(c.button);
    ASSERT_EQ(form_->cdsIdPesAlt->State(), c.state) << c.button;
    EXPECT_EQ(form_->ActiveControl(), form_->dbgIdPesAltFem) << c.button;
    EXPECT_EQ(form_->dbgIdPesAltFem->SelectedField()->FieldName(), QLatin1String(c.field));
    EXPECT_EQ(form_->dbgIdPesAltMasc->DataSource(), form_->dtsIdPesAlt);  // bound again
    EXPECT_TRUE(Enabled("sbtConfirmar")) << c.button;
    EXPECT_FALSE(form_->dbgPercIdade->isEnabled()) << c.button;
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
    EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse) << c.button;
  }
}

TEST_F(Editing, ConfirmClickedRunsItsHandlerWithTheSavingIndicator) {
  ClickTab(form_->tshPesAlt);
  // Cell by cell, right to left, the last editor written by Shift+Tab.
  ClickCell(form_->dbgPesAlt, 1, 2);
  Type(QStringLiteral("8,25"));
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  Type(QStringLiteral("9,5"));
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  dialogs_.Clear();
  // Both weights are far off the first percentile's curve: asked, saved on Yes.
  dialogs_.QueueAnswer(fw::mbYes);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtConfirmar");
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsPesAlt->RecNo(), 1);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAlt, "VRPESOMASALT"), 9.5);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAlt, "VRPESOFEMALT"), 8.25);
  EXPECT_EQ(dialogs_.Messages().size(), 2);
  for (const QString& text : dialogs_.MessageTexts())
    EXPECT_TRUE(text.endsWith(QStringLiteral("Gravar assim mesmo?"))) << text.toStdString();
  ASSERT_FALSE(dialogs_.BusyEvents().isEmpty());  // the handler ran, not a post on the way
  EXPECT_EQ(dialogs_.BusyEvents().first().kind, fw::bkSaving);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

TEST_F(Editing, AlterarEditsTheRowChosenEvenAfterTheSexSelectorChanged) {
  ClickTab(form_->tshIdPesAlt);
  ClickCell(form_->dbgIdPesAltMasc, 4, 2);
  ASSERT_EQ(form_->cdsIdPesAlt->RecNo(), 4);
  const double anos = Value(form_->cdsIdPesAlt, "NRIDADEINI");
  const double meses = Value(form_->cdsIdPesAlt, "NRIDADEFIN");
  // The sex chosen with the keyboard, then back into the (female) grid.
  QTest::mouseClick(form_->cbbSexoIdPesAlt, Qt::LeftButton);
  Flush();
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  form_->cbbSexoIdPesAlt->setFocus();
  Key(Qt::Key_Down);
  ASSERT_EQ(form_->nbkIdPesAlt->ActivePage(), QStringLiteral("pgFeminino"));
  Click("sbtAlterar");
  ClickCell(form_->dbgIdPesAltFem, 4, 2);
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_EQ(form_->cdsIdPesAlt->RecNo(), 4);
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEINI"), anos);
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEFIN"), meses);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsIdPesAlt->ChangeCount(), 0);
}

TEST_F(Editing, NewEntriesSurviveAClickOnCancelUntilTheQuestionIsAnsweredYes) {
  struct Case {
    fw::TabSheet* page;
    fw::DBGrid* grid;
    fw::Dataset* ds;
  };
  const Case cases[] = {
      {form_->tshIdPesAlt, form_->dbgPercIdade, form_->cdsPercIdade},
      {form_->tshPesAltNCHS, form_->dbgPercAlturaNCHS, form_->cdsPercAlturaNCHS},
      {form_->tshPesAltNCHS, form_->dbgPesAltMascNCHS, form_->cdsPesAltNCHS},
  };
  for (const Case& c : cases) {
    const std::string what = c.grid->objectName().toStdString();
    ClickTab(c.page);
    ClickCell(c.grid, 0, 0);
    const int count = c.ds->RecordCount();
    Click("sbtIncluir");
    ASSERT_EQ(c.ds->State(), fw::DatasetState::Insert) << what;
    Click("sbtExcluir");  // disabled: a click on it changes nothing either
    dialogs_.Clear();
    dialogs_.QueueAnswer(fw::mbNo);
    Click("sbtCancelar");
    EXPECT_EQ(Questions("Canc"), 1) << what;
    EXPECT_EQ(c.ds->State(), fw::DatasetState::Insert) << what;
    EXPECT_EQ(c.ds->RecordCount(), count + 1) << what;
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
    EXPECT_EQ(c.ds->State(), fw::DatasetState::Browse) << what;
    EXPECT_EQ(c.ds->RecordCount(), count) << what;
  }
}

TEST_F(Editing, AMenuOpenedOrAnotherChildWindowVisitedKeepsANewEntry) {
  ClickTab(form_->tshIdPesAlt);
  ClickCell(form_->dbgPercIdade, 0, 0);
  Click("sbtIncluir");
  ASSERT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Insert);
  // The screen's own menu, opened with the mouse and closed.
  QMenuBar* bar = form_->mnuMenu;
  QTest::mouseClick(bar, Qt::LeftButton, {},
                    bar->actionGeometry(form_->mnuManutencao->menuAction()).center());
  Flush();
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  Flush();
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Insert);
  // Another child window of the host, then back to the grid.
  auto* other = new QLineEdit;
  area_->addSubWindow(other)->show();
  QTest::mouseClick(other, Qt::LeftButton);
  Flush();
  ASSERT_EQ(QApplication::focusWidget(), other);
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Insert);
  area_->setActiveSubWindow(SubWindow());
  ClickCell(form_->dbgPercIdade, form_->cdsPercIdade->RecNo(), 0);
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Insert);
  EXPECT_TRUE(Enabled("sbtCancelar"));
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Browse);
}

TEST_F(Editing, CancelAnsweredNoKeepsTheOpenEditorAndItsText) {
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPesAlt, 0, 2);
  Type(QStringLiteral("4,25"));
  ASSERT_TRUE(form_->dbgPesAlt->EditorOpen());
  dialogs_.QueueAnswer(fw::mbNo);
  Click("sbtCancelar");
  ASSERT_TRUE(form_->dbgPesAlt->EditorOpen());
  EXPECT_EQ(form_->dbgPesAlt->EditorText(), QStringLiteral("4,25"));
  Type(QStringLiteral("1"));
  EXPECT_EQ(form_->dbgPesAlt->EditorText(), QStringLiteral("4,251"));
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");
  EXPECT_FALSE(form_->dbgPesAlt->EditorOpen());
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Browse);
}

TEST_F(Editing, TheNavigatorCannotMoveTheListUnderARowBeingTyped) {
  fw::DBNavigator* nav = form_->dbnPadrao;
  struct Case {
    fw::TabSheet* page;
    fw::DBGrid* rows;
    fw::Dataset* list;
    fw::Dataset* rowsDs;
  };
  const Case cases[] = {
      {form_->tshIdPesAlt, form_->dbgIdPesAltMasc, form_->cdsPercIdade, form_->cdsIdPesAlt},
      {form_->tshPesAlt, form_->dbgPesAlt, form_->cdsPercAltura, form_->cdsPesAlt},
  };
  for (const Case& c : cases) {
    const std::string what = c.rows->objectName().toStdString();
    ClickTab(c.page);
    ClickCell(c.rows, 1, 2);
    ASSERT_TRUE(nav->Button(QStringLiteral("nbNext"))->isEnabled()) << what;
    const int list = c.list->RecNo();
    const QString filter = c.rowsDs->Filter();
    Type(QStringLiteral("7"));
    ASSERT_EQ(c.rowsDs->State(), fw::DatasetState::Edit) << what;
    EXPECT_FALSE(nav->isEnabled()) << what;
    QTest::mouseClick(nav->Button(QStringLiteral("nbNext")), Qt::LeftButton);
    Flush();
    EXPECT_EQ(c.list->RecNo(), list) << what;
    EXPECT_EQ(c.rowsDs->Filter(), filter) << what;
    EXPECT_EQ(c.rowsDs->State(), fw::DatasetState::Edit) << what;
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
    EXPECT_TRUE(nav->isEnabled()) << what;
  }
}

TEST_F(Editing, AClickOnTheReferenceGridOrPastingIntoItsCodeStartsNoEdit) {
  fw::DBGrid* grid = form_->dbgPadrao;
  ClickCell(grid, 0, 0);
  ClickCell(grid, 0, 0);  // the current cell again
  EXPECT_FALSE(grid->EditorOpen());
  QGuiApplication::clipboard()->setText(QStringLiteral("99"));
  Key(Qt::Key_V, Qt::ControlModifier);
  Key(Qt::Key_F2);
  Type(QStringLiteral("7"));
  Key(Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(form_->cdsReferencia->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString(), QStringLiteral("01"));
  EXPECT_TRUE(form_->tshIdPesAlt->isEnabled());
  EXPECT_TRUE(Enabled("sbtIncluir"));
}

TEST_F(Editing, ClosingWhileARowIsTypedAsksAndKeepsTheScreenOnNo) {
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPesAlt, 0, 1);
  Type(QStringLiteral("3,5"));
  Key(Qt::Key_Tab);
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbNo);
  Click("sbtFechar");
  EXPECT_EQ(Questions("Canc"), 1);
  ASSERT_NE(trp::tabrelpeso::frmTabRelPeso, nullptr);
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_EQ(form_->cdsPesAlt->ChangeCount(), 0);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAlt, "VRPESOMASALT"), 3.5);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtFechar");
  EXPECT_EQ(trp::tabrelpeso::frmTabRelPeso, nullptr);
  EXPECT_FALSE(trp::tabrelpeso::boStCriado);
  form_ = nullptr;
}

TEST_F(Editing, APageChangeFocusesThePagesMasterGrid) {
  // A new screen starts on the reference grid.
  EXPECT_EQ(QApplication::focusWidget(), form_->dbgPadrao);
  const QList<QPair<fw::TabSheet*, fw::DBGrid*>> cases{
      {form_->tshIdPesAlt, form_->dbgPercIdade},
      {form_->tshPesAlt, form_->dbgPercAltura},
      {form_->tshPesAltNCHS, form_->dbgPercAlturaNCHS},
      {form_->tshPadrao, form_->dbgPadrao}};
  for (const auto& [page, grid] : cases) {
    ClickTab(page);
    EXPECT_EQ(form_->ActiveControl(), grid) << grid->objectName().toStdString();
    EXPECT_EQ(QApplication::focusWidget(), grid) << grid->objectName().toStdString();
  }
  // The toolbar follows the list: insert adds a percentile.
  ClickTab(form_->tshPesAlt);
  Click("sbtIncluir");
  EXPECT_EQ(form_->cdsPercAltura->State(), fw::DatasetState::Insert);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");
}

TEST_F(Editing, FindOffersTheGridsColumnsWithTheSexAndMatchesTheShownValue) {
  ClickTab(form_->tshIdPesAlt);
  ClickCell(form_->dbgIdPesAltMasc, 0, 2);
  fw::Dataset* ds = form_->cdsIdPesAlt;
  const int peso = ds->FieldByName(u"VRPESOMASIDA")->Index();
  const QString shown = ds->DisplayTextAt(5, peso);
  ASSERT_NE(ds->ValueAt(5, peso).toString(), shown);  // stored with more decimals than shown
  dialogs_.QueueFind(QStringLiteral("VRPESOMASIDA"), shown);
  Click("sbtProcurar");
  EXPECT_EQ(ds->RecNo(), 5);
  EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
  const QList<fw::FindColumn> columns = dialogs_.LastFindColumns();
  ASSERT_EQ(columns.size(), 2 + 9 + 9);
  EXPECT_EQ(columns.at(0).fieldName, QStringLiteral("NRIDADEINI"));
  EXPECT_EQ(columns.at(1).fieldName, QStringLiteral("NRIDADEFIN"));
  EXPECT_EQ(columns.at(2).fieldName, QStringLiteral("VRPESOMASIDA"));
  EXPECT_EQ(columns.at(2).label, QStringLiteral("Peso (kg) (Masculino)"));
  EXPECT_EQ(columns.at(11).label, QStringLiteral("Peso (kg) (Feminino)"));
}

}  // namespace
}  // namespace screentest
