// Controls: tool button twins, page control, notebook, combo box, record
// navigator, data text and the active control.
#include "framework/data/errors.h"
#include "framework/ui/controls.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/forms.h"
#include "framework/ui/icons.h"
#include "framework/ui/scripted_dialogs.h"
#include "ui_support.h"

#include <QMenu>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(Twins, EnablingTheMenuItemEnablesTheButtonAndBothTrigger) {
  QWidget owner;
  QMenu menu(&owner);
  QAction* item = fw::MakeAction(QStringLiteral("mnuIncluir"), QStringLiteral("&Incluir"), &owner);
  menu.addAction(item);
  QToolButton* button =
      fw::MakeToolButton(QStringLiteral("sbtIncluir"), item, QStringLiteral("Incluir"), &owner);
  EXPECT_EQ(button->objectName(), QStringLiteral("sbtIncluir"));
  EXPECT_EQ(item->objectName(), QStringLiteral("mnuIncluir"));
  int triggered = 0;
  QObject::connect(item, &QAction::triggered, [&] { ++triggered; });
  for (bool on : {false, true, false}) {
    item->setEnabled(on);
    EXPECT_EQ(button->isEnabled(), on);
  }
  button->click();  // disabled: nothing
  item->setEnabled(true);
  button->click();
  item->trigger();
  EXPECT_EQ(triggered, 2);
  EXPECT_EQ(button->toolTip(), QStringLiteral("Incluir"));
}

// Every screen's toolbar shares one drawing of each icon.
TEST(ToolIcons, DrawnOncePerOperationAndDistinct) {
  const QStringList ops = {QStringLiteral("Incluir"), QStringLiteral("Excluir"),
                           QStringLiteral("Ajuda"), QStringLiteral("Outro")};
  QSet<qint64> keys;
  for (const QString& op : ops) {
    const QIcon icon = fw::ToolIcon(op);
    ASSERT_FALSE(icon.isNull()) << op.toStdString();
    EXPECT_EQ(fw::ToolIcon(op).cacheKey(), icon.cacheKey()) << op.toStdString();
    keys.insert(icon.cacheKey());
  }
  EXPECT_EQ(keys.size(), ops.size());
  QToolButton* first = fw::MakeToolButton(QStringLiteral("sbtIncluir"), nullptr, {}, nullptr);
  QToolButton* second = fw::MakeToolButton(QStringLiteral("sbtIncluir"), nullptr, {}, nullptr);
  EXPECT_EQ(first->icon().cacheKey(), second->icon().cacheKey());
  delete first;
  delete second;
}

class PageControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pgc_ = new fw::PageControl(QStringLiteral("pgcPadrao"));
    a_ = pgc_->AddPage(QStringLiteral("tshPadrao"), QStringLiteral("Referência"));
    b_ = pgc_->AddPage(QStringLiteral("tshIdPesAlt"), QStringLiteral("Idade/Peso/Altura"));
    c_ = pgc_->AddPage(QStringLiteral("tshPesAlt"), QStringLiteral("Peso/Altura"));
    pgc_->OnChange = [this](fw::PageControl* pc) { changes_ << pc->ActivePage()->objectName(); };
    window_ = std::make_unique<uitest::Window>(pgc_);
  }
  fw::PageControl* pgc_ = nullptr;
  fw::TabSheet *a_ = nullptr, *b_ = nullptr, *c_ = nullptr;
  QStringList changes_;
  std::unique_ptr<uitest::Window> window_;
};

TEST_F(PageControlTest, OnChangeOnlyForTheUsersPick) {
  EXPECT_TRUE(changes_.isEmpty());  // adding pages is not a pick
  pgc_->SetActivePage(c_);
  pgc_->SetActivePage(QStringLiteral("tshIdPesAlt"));
  EXPECT_EQ(pgc_->ActivePage(), b_);
  EXPECT_TRUE(changes_.isEmpty());
  QTabBar* bar = pgc_->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
  EXPECT_EQ(pgc_->ActivePage(), c_);
  EXPECT_EQ(changes_, QStringList{QStringLiteral("tshPesAlt")});
  EXPECT_THROW(pgc_->SetActivePage(QStringLiteral("tshNada")), fw::Error);
  EXPECT_EQ(pgc_->PageByName(QStringLiteral("tshPadrao")), a_);
  EXPECT_EQ(b_->Caption(), QStringLiteral("Idade/Peso/Altura"));
  EXPECT_EQ(c_->PageIndex(), 2);
}

TEST_F(PageControlTest, ADisabledSheetGreysItsTabAndCannotBePicked) {
  b_->setEnabled(false);
  QTabBar* bar = pgc_->tabBar();
  EXPECT_FALSE(bar->isTabEnabled(1));
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(pgc_->ActivePage(), a_);
  EXPECT_TRUE(changes_.isEmpty());
  // Code can still show it, as a disabled page may be the active one.
  pgc_->SetActivePage(b_);
  EXPECT_EQ(pgc_->ActivePage(), b_);
  b_->setEnabled(true);
  EXPECT_TRUE(bar->isTabEnabled(1));
  // Disabling the whole control keeps each sheet's own flag.
  pgc_->setEnabled(false);
  pgc_->setEnabled(true);
  EXPECT_TRUE(bar->isTabEnabled(1));
}

TEST(Notebook, PagesByName) {
  fw::Notebook nbk(QStringLiteral("nbkIdPesAlt"));
  QWidget* male = nbk.AddPage(QStringLiteral("pgMasculino"));
  QWidget* female = nbk.AddPage(QStringLiteral("pgFeminino"));
  EXPECT_EQ(nbk.ActivePage(), QStringLiteral("pgMasculino"));
  nbk.SetActivePage(QStringLiteral("pgFeminino"));
  EXPECT_EQ(nbk.currentWidget(), female);
  EXPECT_EQ(nbk.Page(QStringLiteral("pgMasculino")), male);
  EXPECT_THROW(nbk.SetActivePage(QStringLiteral("pgOutro")), fw::Error);
  EXPECT_EQ(nbk.ActivePage(), QStringLiteral("pgFeminino"));
}

TEST(ComboBox, OnChangeByTheUserOnly) {
  auto* cbb = new fw::ComboBox(QStringLiteral("cbbSexoIdPesAlt"));
  cbb->addItems({QStringLiteral("Masculino"), QStringLiteral("Feminino")});
  int changes = 0;
  cbb->OnChange = [&](fw::ComboBox* c) {
    ++changes;
    EXPECT_EQ(c->ItemIndex(), 1);
  };
  uitest::Window window(cbb);
  cbb->SetItemIndex(1);
  cbb->SetItemIndex(0);
  EXPECT_EQ(changes, 0);
  cbb->setFocus();
  QTest::keyClick(cbb, Qt::Key_Down);
  EXPECT_EQ(cbb->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
}

TEST(DBNavigator, MovesTheBoundDatasetAndFollowsRebinding) {
  uitest::Data first;
  uitest::Data second(2);
  fw::DataSource dts(QStringLiteral("dtsNavegador"));
  fw::DBNavigator nav(QStringLiteral("dbnPadrao"));
  EXPECT_FALSE(nav.Button(QStringLiteral("nbNext"))->isEnabled());  // unbound
  nav.SetDataSource(&dts);
  dts.SetDataSet(first.dataset.get());
  struct Step {
    const char* button;
    int recNo;
  };
  const Step steps[] = {{"nbNext", 1}, {"nbLast", 2}, {"nbPrior", 1}, {"nbFirst", 0}};
  for (const Step& s : steps) {
    nav.Button(QString::fromLatin1(s.button))->click();
    EXPECT_EQ(first.dataset->RecNo(), s.recNo) << s.button;
  }
  EXPECT_FALSE(nav.Button(QStringLiteral("nbPrior"))->isEnabled());
  EXPECT_TRUE(nav.Button(QStringLiteral("nbLast"))->isEnabled());
  dts.SetDataSet(second.dataset.get());
  nav.Button(QStringLiteral("nbLast"))->click();
  EXPECT_EQ(second.dataset->RecNo(), 1);
  EXPECT_EQ(first.dataset->RecNo(), 0);
  fw::DataSource other(QStringLiteral("dtsOutro"));
  other.SetDataSet(first.dataset.get());
  nav.SetDataSource(&other);
  nav.Button(QStringLiteral("nbNext"))->click();
  EXPECT_EQ(first.dataset->RecNo(), 1);
  nav.setEnabled(false);
  EXPECT_FALSE(nav.Button(QStringLiteral("nbNext"))->isEnabled());
}

TEST(DBText, ShowsTheFieldOfTheCurrentRecord) {
  uitest::Data data;
  fw::DataSource dts(QStringLiteral("dtsReferencia"));
  fw::DBText text(QStringLiteral("dbtNome"));
  text.SetDataSource(&dts);
  text.SetDataField(QStringLiteral("NAME"));
  EXPECT_EQ(text.text(), QString());  // no dataset
  dts.SetDataSet(data.dataset.get());
  EXPECT_EQ(text.text(), QStringLiteral("Um"));
  data.dataset->Next();
  EXPECT_EQ(text.text(), QStringLiteral("Dois"));
  data.dataset->Edit();
  data.Name()->SetAsString(QStringLiteral("Deux"));
  EXPECT_EQ(text.text(), QStringLiteral("Deux"));
  data.dataset->Cancel();
  EXPECT_EQ(text.text(), QStringLiteral("Dois"));
  text.SetDataField(QStringLiteral("NADA"));
  EXPECT_EQ(text.text(), QString());
}

TEST(ActiveControl, AGridsCellEditorCountsAsTheGrid) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  uitest::Data data;
  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  auto* grid = new fw::DBGrid(QStringLiteral("dbgTeste"), panel);
  grid->SetDataSource(data.source.get());
  layout->addWidget(grid);
  auto& tracker = *new fw::ActiveControlTracker(panel);  // owned by the panel
  uitest::Window window(panel);
  grid->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(tracker.ActiveControl(), grid);
  grid->SetSelectedIndex(1);
  QTest::keyClick(grid, Qt::Key_F2);
  ASSERT_TRUE(grid->EditorOpen());
  EXPECT_EQ(QApplication::focusWidget(), grid->Editor());
  EXPECT_EQ(tracker.ActiveControl(), grid);
  EXPECT_EQ(fw::ControlOf(grid->Editor()), grid);
  window.other()->setFocus();  // outside the tracked panel: the last one stays
  QApplication::processEvents();
  EXPECT_EQ(tracker.ActiveControl(), grid);
  tracker.SetActiveControl(grid);
  EXPECT_EQ(tracker.ActiveControl(), grid);
}

}  // namespace
