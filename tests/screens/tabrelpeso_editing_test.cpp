// Editing the screen as a person does: mouse clicks on the real toolbar
// buttons and grid cells, keys typed into the cells, the screen an MDI child
// of a host window and the real server behind it. Nothing the user typed may
// be posted, dropped or moved to another row, column or percentile behind
// their back.

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

class Editing : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    StartServer();
    Open();
    ASSERT_NE(form_, nullptr);
    (void)QTest::qWaitForWindowActive(main_.get());
  }
  // A mouse click on a toolbar button, as a person clicks it.
  void Click(const char* button) {
    QToolButton* b = form_->ToolButton(QLatin1String(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
    Flush();
  }
  void ClickCell(fw::DBGrid* grid, int row, int column) {
    const QModelIndex index = grid->model()->index(row, column);
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    Flush();
  }
  // Keys go where a person's keys go: the focused widget of the host.
  static QWidget* Target() { return QApplication::focusWidget(); }
  void Type(const QString& text) {
    for (QChar c : text) {
      QWidget* target = Target();
      ASSERT_NE(target, nullptr);
      QTest::keyClick(target, c.toLatin1());
    }
    Flush();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = Target();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, mods);
    Flush();
  }
  // Opens a page by its tab, as a click on it does.
  void ClickTab(fw::TabSheet* page) {
    QTabBar* bar = form_->pgcPadrao->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page->PageIndex()).center());
    Flush();
  }
  double Value(fw::Dataset* ds, const char* field) {
    return ds->FieldByName(QString::fromLatin1(field))->AsFloat();
  }
  int Questions(const char* key) const {
    int n = 0;
    for (const auto& m : dialogs_.Messages())
      if (m.text == fw::StandardMsg(QLatin1String(key))) ++n;
    return n;
  }
};

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

}  // namespace
}  // namespace screentest
