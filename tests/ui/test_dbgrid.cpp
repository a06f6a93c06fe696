// The data-aware grid: editing the way people expect, driven by real key
// and mouse events on the offscreen platform.
#include "framework/data/errors.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/scripted_dialogs.h"
#include "framework/ui/status_text.h"
#include "ui_support.h"

#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using fw::DatasetState;

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    grid_ = new fw::DBGrid(QStringLiteral("dbgTeste"));
    grid_->SetDataSource(data_.source.get());
    grid_->AddColumn(QStringLiteral("CODE"));
    grid_->AddColumn(QStringLiteral("NAME"));
    grid_->AddColumn(QStringLiteral("VALUE"));
    window_ = std::make_unique<uitest::Window>(grid_);
    grid_->setFocus();
    QApplication::processEvents();
  }
  void TearDown() override { window_.reset(); }

  fw::Dataset& ds() { return *data_.dataset; }
  void Type(const QString& text) {
    for (QChar c : text) QTest::keyClick(FocusTarget(), c.toLatin1());
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(FocusTarget(), key, mods);
  }
  // Keys go where a person's keys go: the cell editor when it is open.
  QWidget* FocusTarget() {
    return grid_->Editor() ? static_cast<QWidget*>(grid_->Editor()) : grid_;
  }

  fw::ScriptedDialogs dlg_;
  fw::ScopedDialogs use_{dlg_};
  uitest::Data data_;
  fw::DBGrid* grid_ = nullptr;
  std::unique_ptr<uitest::Window> window_;
};

TEST_F(GridTest, ShowsColumnsByFieldWithTitlesAndFollowsTheDataset) {
  data_.Name()->SetDisplayLabel(QStringLiteral("Nome"));
  grid_->Column(2)->SetTitle(QStringLiteral("Valor")).SetTitleAlignment(Qt::AlignRight);
  EXPECT_EQ(grid_->model()->rowCount(), 3);
  EXPECT_EQ(grid_->model()->columnCount(), 3);
  EXPECT_EQ(grid_->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("CODE"));
  EXPECT_EQ(grid_->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nome"));
  EXPECT_EQ(grid_->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Valor"));
  EXPECT_TRUE(
      grid_->model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
      Qt::AlignRight);
  EXPECT_EQ(grid_->model()->index(1, 2).data().toString(), QStringLiteral("2,5"));

  ds().SetRecNo(2);
  EXPECT_EQ(grid_->currentIndex().row(), 2);
  Key(Qt::Key_Up);
  EXPECT_EQ(ds().RecNo(), 1);
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {},
                    grid_->visualRect(grid_->model()->index(0, 1)).center());
  EXPECT_EQ(ds().RecNo(), 0);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
  EXPECT_EQ(grid_->SelectedField(), data_.Name());
}

TEST_F(GridTest, TypingStartsAnEditAndEnterWritesTheField) {
  grid_->SetSelectedIndex(1);
  Type(QStringLiteral("Zeta"));
  EXPECT_EQ(ds().State(), DatasetState::Edit);
  ASSERT_TRUE(grid_->EditorOpen());
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("Zeta"));  // the first key replaced the old text
  Key(Qt::Key_Return);
  EXPECT_FALSE(grid_->EditorOpen());
  EXPECT_EQ(data_.Name()->AsString(), QStringLiteral("Zeta"));
  EXPECT_EQ(ds().State(), DatasetState::Edit);
}

TEST_F(GridTest, TypingIntoAReadOnlyColumnOrFieldDoesNothing) {
  struct Case {
    const char* what;
    std::function<void()> lock;
    std::function<void()> unlock;
  };
  const Case cases[] = {
      {"column", [&] { grid_->Column(1)->SetReadOnly(true); },
       [&] { grid_->Column(1)->SetReadOnly(false); }},
      {"field", [&] { data_.Name()->SetReadOnly(true); },
       [&] { data_.Name()->SetReadOnly(false); }},
      {"grid", [&] { grid_->SetReadOnly(true); }, [&] { grid_->SetReadOnly(false); }},
  };
  grid_->SetSelectedIndex(1);
  for (const Case& c : cases) {
    c.lock();
    Type(QStringLiteral("x"));
    EXPECT_EQ(ds().State(), DatasetState::Browse) << c.what;
    EXPECT_FALSE(grid_->EditorOpen()) << c.what;
    c.unlock();
  }
  // The flag is read at each key: unlocked, typing edits again.
  Type(QStringLiteral("x"));
  EXPECT_EQ(ds().State(), DatasetState::Edit);
}

TEST_F(GridTest, EditorHonoursTheFieldsEditMask) {
  data_.Code()->SetEditMask(QStringLiteral("999;0; "));
  Type(QStringLiteral("1a2b34"));
  ASSERT_TRUE(grid_->EditorOpen());
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("123"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(data_.Code()->AsString(), QStringLiteral("123"));
}

TEST_F(GridTest, LeavingACellWritesTheFieldBeforeColExitWhichSeesTheOldColumn) {
  QString seenValue;
  int seenColumn = -1;
  grid_->OnColExit = [&](fw::DBGrid* g) {
    seenValue = data_.Code()->AsString();
    seenColumn = g->SelectedIndex();
  };
  int entered = -1;
  grid_->OnColEnter = [&](fw::DBGrid* g) { entered = g->SelectedIndex(); };
  Type(QStringLiteral("9"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(seenValue, QStringLiteral("9"));
  EXPECT_EQ(seenColumn, 0);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
  EXPECT_EQ(entered, 1);
}

TEST_F(GridTest, AnAbortInColExitKeepsTheColumn) {
  grid_->OnColExit = [&](fw::DBGrid*) {
    if (data_.Code()->AsString() == QLatin1String("77"))
      fw::MensErro(QStringLiteral("Código inválido."));
  };
  Type(QStringLiteral("77"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  EXPECT_EQ(dlg_.MessageTexts(), QStringList{QStringLiteral("Código inválido.")});
  // A click on another column is refused the same way.
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {},
                    grid_->visualRect(grid_->model()->index(0, 2)).center());
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  Type(QStringLiteral("5"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
}

TEST_F(GridTest, LeavingAnEditedRowPostsItAndAnAbortKeepsTheRow) {
  bool refuse = true;
  ds().BeforePost = [&](fw::Dataset&) {
    if (refuse) fw::MensErro(QStringLiteral("Valor inválido."));
  };
  grid_->SetSelectedIndex(1);
  Type(QStringLiteral("Novo"));
  Key(Qt::Key_Down);
  EXPECT_EQ(ds().RecNo(), 0);
  EXPECT_EQ(ds().State(), DatasetState::Edit);
  EXPECT_EQ(data_.Name()->AsString(), QStringLiteral("Novo"));
  refuse = false;
  Key(Qt::Key_Down);
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  EXPECT_EQ(ds().RecNo(), 1);
  EXPECT_EQ(ds().ChangeCount(), 1);
  EXPECT_EQ(ds().DisplayTextAt(0, 1), QStringLiteral("Novo"));
}

TEST_F(GridTest, DownOnTheLastRowAppendsOnlyOnce) {
  ds().Last();
  Key(Qt::Key_PageDown);  // a page down stays on the last row
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  EXPECT_EQ(ds().RecordCount(), 3);
  Key(Qt::Key_Down);
  EXPECT_EQ(ds().State(), DatasetState::Insert);
  EXPECT_EQ(ds().RecordCount(), 4);
  EXPECT_EQ(ds().RecNo(), 3);
  Key(Qt::Key_Down);  // untouched new record: nothing more
  EXPECT_EQ(ds().RecordCount(), 4);
  Type(QStringLiteral("004"));
  Key(Qt::Key_Down);  // posts, then appends again
  EXPECT_EQ(ds().RecordCount(), 5);
  EXPECT_EQ(ds().State(), DatasetState::Insert);
  EXPECT_EQ(ds().DisplayTextAt(3, 0), QStringLiteral("004"));
  Key(Qt::Key_Up);  // the untouched one goes away
  EXPECT_EQ(ds().RecordCount(), 4);
  EXPECT_EQ(ds().State(), DatasetState::Browse);
}

TEST_F(GridTest, InsertKeyInsertsAndEscCancels) {
  ds().SetRecNo(1);
  Key(Qt::Key_Insert);
  EXPECT_EQ(ds().State(), DatasetState::Insert);
  EXPECT_EQ(ds().RecordCount(), 4);
  EXPECT_EQ(ds().RecNo(), 1);
  Key(Qt::Key_Escape);
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  EXPECT_EQ(ds().RecordCount(), 3);

  grid_->SetSelectedIndex(1);
  Type(QStringLiteral("Mudado"));
  Key(Qt::Key_Escape);
  EXPECT_FALSE(grid_->EditorOpen());
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  EXPECT_EQ(data_.Name()->AsString(), QStringLiteral("Dois"));
  EXPECT_EQ(ds().ChangeCount(), 0);
}

TEST_F(GridTest, TabMovesBetweenCellsAndWrapsToTheNextRow) {
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
  Key(Qt::Key_Tab);
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  EXPECT_EQ(ds().RecNo(), 1);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(grid_->SelectedIndex(), 2);
  EXPECT_EQ(ds().RecNo(), 0);
  EXPECT_EQ(QApplication::focusWidget(), grid_);  // Tab never left the grid
}

TEST_F(GridTest, HomeEndAndTabPastTheLastCellOfTheLastRow) {
  Key(Qt::Key_End);
  EXPECT_EQ(grid_->SelectedIndex(), 2);
  Key(Qt::Key_Home);
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(ds().RecNo(), 2);
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(ds().RecNo(), 0);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);  // before the first cell: nowhere to go
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  EXPECT_EQ(ds().RecNo(), 0);
  ds().Last();
  Key(Qt::Key_End);
  Key(Qt::Key_Tab);  // past the last cell: a new record, first column
  EXPECT_EQ(ds().State(), DatasetState::Insert);
  EXPECT_EQ(ds().RecordCount(), 4);
  EXPECT_EQ(grid_->SelectedIndex(), 0);
}

TEST_F(GridTest, DoubleClickOrF2OpensTheEditorOnlyWhereEditable) {
  const QModelIndex name = grid_->model()->index(1, 1);
  QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, grid_->visualRect(name).center());
  ASSERT_TRUE(grid_->EditorOpen());
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("Dois"));  // opened on the text, nothing replaced
  EXPECT_EQ(ds().State(), DatasetState::Browse);           // the first key starts the edit
  Type(QStringLiteral("X"));
  EXPECT_EQ(ds().State(), DatasetState::Edit);
  Key(Qt::Key_Escape);
  data_.Name()->SetReadOnly(true);
  Key(Qt::Key_F2);
  EXPECT_FALSE(grid_->EditorOpen());
  EXPECT_EQ(ds().State(), DatasetState::Browse);
}

TEST_F(GridTest, UntouchedNewRecordIsCancelledOnFocusLossWhenAsked) {
  struct Case {
    bool option;
    bool touch;
    DatasetState after;
    int count;
  };
  const Case cases[] = {
      {true, false, DatasetState::Browse, 3},
      {false, false, DatasetState::Insert, 4},
      {true, true, DatasetState::Insert, 4},
  };
  for (const Case& c : cases) {
    grid_->SetCancelOnExit(c.option);
    grid_->setFocus();
    Key(Qt::Key_Insert);
    if (c.touch) Type(QStringLiteral("8"));
    window_->other()->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(ds().State(), c.after) << c.option << c.touch;
    EXPECT_EQ(ds().RecordCount(), c.count) << c.option << c.touch;
    if (c.touch) {
      EXPECT_EQ(data_.Code()->AsString(), QStringLiteral("8"));  // the editor was written
    }
    if (ds().State() == DatasetState::Insert) ds().Cancel();
  }
}

TEST_F(GridTest, CtrlDeleteAsksAndDeletes) {
  struct Case {
    const char* what;
    bool confirm;
    fw::MsgButton answer;
    bool discardKey;
    int count;
    int questions;
  };
  const Case cases[] = {
      {"yes", true, fw::mbYes, false, 2, 1},
      {"no", true, fw::mbNo, false, 3, 1},
      {"discarded by KeyDown", true, fw::mbYes, true, 3, 0},
      {"no confirmation", false, fw::mbYes, false, 2, 0},
  };
  for (const Case& c : cases) {
    uitest::Data data;
    grid_->SetDataSource(data.source.get());
    grid_->SetConfirmDelete(c.confirm);
    grid_->OnKeyDown = [&](fw::DBGrid*, int& key, Qt::KeyboardModifiers mods) {
      if (c.discardKey && key == Qt::Key_Delete && (mods & Qt::ControlModifier)) key = 0;
    };
    dlg_.Clear();
    if (c.confirm && !c.discardKey) dlg_.QueueAnswer(c.answer);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(data.dataset->RecordCount(), c.count) << c.what;
    EXPECT_EQ(dlg_.Messages().size(), c.questions) << c.what;
    if (c.questions) {
      EXPECT_EQ(dlg_.LastMessage().text, QStringLiteral("Confirma exclusão?"));
      EXPECT_EQ(dlg_.LastMessage().type, fw::MsgType::Confirmation);
    }
    grid_->SetDataSource(data_.source.get());
  }
}

TEST_F(GridTest, KeyPressSeesEachCharacterFirstAndCanDiscardOrReplaceIt) {
  QStringList seen;
  grid_->SetSelectedIndex(1);
  grid_->OnKeyPress = [&](fw::DBGrid* g, QChar& key) {
    seen << g->EditorText() + QLatin1Char('+') + key;
    if (key.isDigit())
      key = QChar();
    else if (key.isLetter())
      key = key.toUpper();
  };
  Type(QStringLiteral("a1b"));
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("AB"));
  // The handler ran before each character reached the editor.
  EXPECT_EQ(seen,
            (QStringList{QStringLiteral("Um+a"), QStringLiteral("A+1"), QStringLiteral("A+b")}));
  // A discarded first key starts nothing.
  grid_->SetSelectedIndex(1);
  Key(Qt::Key_Escape);
  Type(QStringLiteral("7"));
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  EXPECT_FALSE(grid_->EditorOpen());
}

TEST_F(GridTest, KeyPressWithMaxNumberLimitsDigits) {
  grid_->SetSelectedIndex(2);
  grid_->OnKeyPress = [](fw::DBGrid* g, QChar& key) {
    fw::MaxNumber(g->EditorText(), 3, 2, key, g->EditorSelStart(), g->EditorSelLength());
  };
  Type(QStringLiteral("12345,678"));
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("123,67"));
  Key(Qt::Key_Return);
  EXPECT_DOUBLE_EQ(data_.Value()->AsFloat(), 123.67);
  // With a selection the typed digit replaces it.
  Key(Qt::Key_F2);
  ASSERT_TRUE(grid_->EditorOpen());
  grid_->Editor()->setSelection(0, 3);
  Type(QStringLiteral("9"));
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("9,67"));
}

TEST_F(GridTest, TabIsMovedEvenWhenItsCharacterIsDiscarded) {
  QString order;
  grid_->OnKeyPress = [&](fw::DBGrid*, QChar& key) {
    if (key == QLatin1Char('\t')) order += QStringLiteral("press;");
    key = QChar();
  };
  grid_->OnColExit = [&](fw::DBGrid*) { order += QStringLiteral("exit;"); };
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
  EXPECT_EQ(order, QStringLiteral("press;exit;"));
}

TEST_F(GridTest, FieldFocusRequestMovesToItsColumnAndRaisesEnter) {
  int entered = 0;
  grid_->OnEnter = [&](fw::DBGrid*) { ++entered; };
  window_->other()->setFocus();
  QApplication::processEvents();
  data_.Value()->FocusControl();
  EXPECT_EQ(grid_->SelectedIndex(), 2);
  EXPECT_TRUE(grid_->hasFocus());
  EXPECT_EQ(entered, 1);
  // An unbound grid ignores the request.
  fw::DataSource other(QStringLiteral("dtsOutro"));
  grid_->SetDataSource(&other);
  data_.Code()->FocusControl();
  EXPECT_EQ(grid_->SelectedIndex(), 2);
}

TEST_F(GridTest, AMessageBoxIsNotAFocusChange) {
  int entered = 0;
  int exited = 0;
  grid_->OnEnter = [&](fw::DBGrid*) { ++entered; };
  grid_->OnExit = [&](fw::DBGrid*) { ++exited; };
  grid_->SetCancelOnExit(true);
  Key(Qt::Key_Insert);
  QWidget popup;  // another window takes the focus and gives it back
  popup.show();
  QApplication::setActiveWindow(&popup);
  popup.setFocus();
  QApplication::processEvents();
  popup.close();
  QApplication::setActiveWindow(window_->window());
  grid_->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(ds().State(), DatasetState::Insert);
  EXPECT_EQ(entered, 0);
  EXPECT_EQ(exited, 0);
}

TEST_F(GridTest, EditButtonRaisesItsHandler) {
  int clicks = 0;
  grid_->OnEditButtonClick = [&](fw::DBGrid* g) {
    ++clicks;
    EXPECT_EQ(g->SelectedField(), data_.Code());
  };
  grid_->Column(0)->SetButtonStyle(fw::ButtonStyle::Ellipsis);
  const QModelIndex cell = grid_->model()->index(0, 0);
  EXPECT_TRUE(grid_->IsCellButton(cell));
  EXPECT_FALSE(grid_->IsCellButton(grid_->model()->index(0, 1)));
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, grid_->CellButtonRect(cell).center());
  Key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicks, 2);
  grid_->Column(0)->SetButtonStyle(fw::ButtonStyle::None);
  Key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicks, 2);
}

TEST_F(GridTest, EmptyDatasetTypingStartsANewRecord) {
  uitest::Data empty(0);
  grid_->SetDataSource(empty.source.get());
  EXPECT_EQ(grid_->model()->rowCount(), 0);
  Type(QStringLiteral("1"));
  EXPECT_EQ(empty.dataset->State(), DatasetState::Insert);
  EXPECT_EQ(grid_->model()->rowCount(), 1);
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("1"));
  grid_->SetDataSource(data_.source.get());
}

TEST_F(GridTest, ABadNumberIsRefusedWithAMessageAndKeepsTheEditor) {
  grid_->SetSelectedIndex(2);
  grid_->OnKeyPress = nullptr;
  Type(QStringLiteral("abc"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 2);
  EXPECT_TRUE(grid_->EditorOpen());
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("abc"));  // nothing the user typed is lost
  ASSERT_EQ(dlg_.Messages().size(), 1);
  EXPECT_EQ(dlg_.LastMessage().type, fw::MsgType::Error);
  EXPECT_TRUE(dlg_.LastMessage().text.contains(QStringLiteral("abc")));
}

// How a screen's code list works: the code is checked when its column is
// left and before the post, the failure moves the focus back to the code.
TEST_F(GridTest, ValidationInColExitAndBeforePostKeepsTheUserOnTheCode) {
  const QStringList known{QStringLiteral("001"), QStringLiteral("004"), QStringLiteral("005")};
  grid_->Column(1)->SetReadOnly(true);
  ds().BeforeInsert = [&](fw::Dataset&) { data_.Code()->FocusControl(); };
  auto validate = [&](bool required) {
    const QString code = data_.Code()->AsString();
    if (fw::EmptyString(code)) {
      if (!required) return;
      data_.Code()->FocusControl();
      fw::MensErro(QStringLiteral("Código deve ser informado. "));
    }
    data_.Code()->SetAsString(fw::Ajusta(code, data_.Code()->Size()));
    if (!known.contains(data_.Code()->AsString())) {
      data_.Code()->FocusControl();
      fw::MensErro(QStringLiteral("Percentil não cadastrado."));
    }
    data_.Name()->SetAsString(QStringLiteral("Quatro"));
  };
  grid_->OnColExit = [&](fw::DBGrid* g) {
    if (g->SelectedField() == data_.Code() && ds().State() == DatasetState::Insert) validate(false);
  };
  ds().BeforePost = [&](fw::Dataset&) { validate(true); };

  grid_->SetSelectedIndex(2);
  Key(Qt::Key_Insert);
  EXPECT_EQ(grid_->SelectedIndex(), 0);  // the before-insert hook put the user on the code
  Type(QStringLiteral("9"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  EXPECT_EQ(data_.Code()->AsString(), QStringLiteral("009"));  // normalised, kept while refused
  EXPECT_EQ(dlg_.LastMessage().text, QStringLiteral("Percentil não cadastrado."));
  Type(QStringLiteral("4"));
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
  EXPECT_EQ(data_.Name()->AsString(), QStringLiteral("Quatro"));
  Key(Qt::Key_Up);  // leaving the row posts it
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  EXPECT_EQ(ds().RecordCount(), 4);

  dlg_.Clear();
  Key(Qt::Key_Insert);
  Type(QStringLiteral("x"));
  Key(Qt::Key_Backspace);
  grid_->SetSelectedIndex(2);
  Key(Qt::Key_Down);  // touched but empty: the post refuses and keeps the row
  EXPECT_EQ(ds().State(), DatasetState::Insert);
  EXPECT_EQ(grid_->SelectedIndex(), 0);
  EXPECT_EQ(dlg_.MessageTexts(), QStringList{QStringLiteral("Código deve ser informado. ")});
}

TEST_F(GridTest, LooksOfTheInfoBackgroundAndNoBorder) {
  grid_->SetInfoBackground(true);
  grid_->SetBorderless(true);
  EXPECT_EQ(grid_->viewport()->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xE1));
  EXPECT_EQ(grid_->frameShape(), QFrame::NoFrame);
}

TEST_F(GridTest, AutomaticColumnsWithoutDeclaredOnes) {
  fw::DBGrid plain(QStringLiteral("dbgSimples"));
  data_.Value()->SetVisible(false);
  plain.SetDataSource(data_.source.get());
  ASSERT_EQ(plain.ColumnCount(), 2);
  EXPECT_EQ(plain.Columns()[0]->FieldName(), QStringLiteral("CODE"));
  EXPECT_EQ(plain.Columns()[1]->FieldName(), QStringLiteral("NAME"));
  // Fields that come with the first packet bring their columns.
  fw::Dataset undeclared(QStringLiteral("cdsSemCampos"));
  fw::DataSource source(QStringLiteral("dtsSemCampos"));
  source.SetDataSet(&undeclared);
  plain.SetDataSource(&source);
  EXPECT_EQ(plain.ColumnCount(), 0);
  undeclared.SetData(uitest::SamplePacket());
  EXPECT_EQ(plain.ColumnCount(), 3);
  EXPECT_EQ(plain.model()->columnCount(), 3);
  EXPECT_EQ(plain.model()->index(2, 1).data().toString(), QStringLiteral("Tres"));
  plain.SetDataSource(nullptr);
}

// Columns declared in an update reach the view in one rebuild, with their
// widths, titles and the binding made inside it.
TEST_F(GridTest, ColumnChangesInAnUpdateRebuildTheViewOnce) {
  fw::DBGrid grid(QStringLiteral("dbgLote"));
  int resets = 0;
  QObject::connect(grid.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
  grid.BeginUpdate();
  grid.SetDataSource(data_.source.get());
  grid.AddColumn(QStringLiteral("NAME")).SetWidthPixels(77);
  {
    const fw::DBGridUpdate inner(&grid);
    grid.AddColumn(QStringLiteral("VALUE")).SetTitle(QStringLiteral("Valor"));
  }
  EXPECT_EQ(resets, 0) << "an inner update ended inside an outer one";
  EXPECT_EQ(grid.horizontalHeader()->count(), 0);
  grid.EndUpdate();
  EXPECT_EQ(resets, 1);
  ASSERT_EQ(grid.model()->columnCount(), 2);
  EXPECT_EQ(grid.horizontalHeader()->count(), 2);
  EXPECT_EQ(grid.model()->rowCount(), 3);
  EXPECT_EQ(grid.columnWidth(0), 77);
  EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Valor"));
  EXPECT_EQ(grid.model()->index(2, 0).data().toString(), QStringLiteral("Tres"));
  EXPECT_EQ(grid.currentIndex().row(), ds().RecNo());
  grid.EndUpdate();  // unmatched: nothing happens
  EXPECT_EQ(resets, 1);
  // Outside an update every change shows at once.
  grid.AddColumn(QStringLiteral("CODE"));
  EXPECT_EQ(grid.model()->columnCount(), 3);
  grid.SetDataSource(nullptr);
}

// A key typed into a cell lands in that cell or nowhere.
TEST_F(GridTest, AKeyTypedLandsInItsCellWhateverTheBeforeEditHandlerAsks) {
  const QString value = data_.Value()->DisplayText();
  // A focus request of the handler serves edits started elsewhere (a toolbar).
  ds().BeforeEdit = [&](fw::Dataset&) { data_.Value()->FocusControl(); };
  grid_->SetSelectedIndex(1);
  Type(QStringLiteral("7"));
  EXPECT_EQ(ds().State(), DatasetState::Edit);
  EXPECT_EQ(grid_->SelectedIndex(), 1);
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("7"));
  Key(Qt::Key_Escape);
  ds().Edit();  // as a toolbar does: the request is followed
  EXPECT_EQ(grid_->SelectedIndex(), 2);
  ds().Cancel();
  // A handler that moves the column outright: the key is dropped and the
  // editor opens where the user now is.
  ds().BeforeEdit = [&](fw::Dataset&) { grid_->SetSelectedIndex(2); };
  grid_->SetSelectedIndex(1);
  Type(QStringLiteral("8"));
  EXPECT_EQ(ds().State(), DatasetState::Edit);
  EXPECT_EQ(grid_->SelectedIndex(), 2);
  ASSERT_TRUE(grid_->EditorOpen());
  EXPECT_EQ(grid_->EditorText(), value);
  EXPECT_EQ(data_.Name()->AsString(), QStringLiteral("Um"));
  Type(QStringLiteral("9"));  // the next key is typed there
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("9"));
}

TEST_F(GridTest, PastedTextGoesThroughTheKeyHandlerCharacterByCharacter) {
  grid_->SetSelectedIndex(2);
  grid_->OnKeyPress = [](fw::DBGrid*, QChar& key) {
    if (!key.isDigit() && key != QLatin1Char(',') && key != QLatin1Char('\b')) key = QChar();
  };
  struct Case {
    const char* what;
    QString clipboard;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    bool editorOpenFirst;
    QString expected;
  };
  const Case cases[] = {
      {"Ctrl+V on the cell", QStringLiteral("-5"), Qt::Key_V, Qt::ControlModifier, false,
       QStringLiteral("5")},
      {"Ctrl+V in the editor", QStringLiteral("1.234,5"), Qt::Key_V, Qt::ControlModifier, true,
       QStringLiteral("1234,5")},
      {"Shift+Insert, a line break at the end", QStringLiteral("x8\n"), Qt::Key_Insert,
       Qt::ShiftModifier, true, QStringLiteral("8")},
  };
  for (const Case& c : cases) {
    QGuiApplication::clipboard()->setText(c.clipboard);
    if (c.editorOpenFirst) {
      Key(Qt::Key_F2);
      ASSERT_TRUE(grid_->EditorOpen()) << c.what;
      grid_->Editor()->selectAll();
    }
    Key(c.key, c.mods);
    EXPECT_EQ(grid_->EditorText(), c.expected) << c.what;
    Key(Qt::Key_Escape);
  }
  // Nothing the handler refuses starts an edit.
  QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  Key(Qt::Key_F2);
  ASSERT_TRUE(grid_->EditorOpen());
  EXPECT_FALSE(grid_->Editor()->acceptDrops());
}

// A block of cells is never run together into one value ("3<TAB>3,35" as
// 33,35): the screen's handler gets it whole, or it is refused visibly.
TEST_F(GridTest, APastedBlockGoesToTheScreenOrIsRefusedNeverJoined) {
  grid_->SetSelectedIndex(2);
  const QString before = grid_->EditorText();
  QGuiApplication::clipboard()->setText(QStringLiteral("3\t3,35"));
  const int refusals = fw::RefusalCount();
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(fw::RefusalCount(), refusals + 1);
  EXPECT_FALSE(grid_->EditorOpen());
  EXPECT_EQ(grid_->EditorText(), before);
  EXPECT_EQ(ds().State(), DatasetState::Browse);
  QString pasted;
  grid_->OnPasteBlock = [&](fw::DBGrid*, const QString& text) { pasted = text; };
  QGuiApplication::clipboard()->setText(QStringLiteral("1\n2\n"));
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(pasted, QStringLiteral("1\n2\n"));
  EXPECT_EQ(ds().State(), DatasetState::Browse);
}

TEST_F(GridTest, DeletingKeysPassTheKeyHandlerAsABackspace) {
  grid_->OnKeyPress = [](fw::DBGrid*, QChar& key) { key = QChar(); };  // a key column
  Key(Qt::Key_F2);
  ASSERT_TRUE(grid_->EditorOpen());
  grid_->Editor()->selectAll();
  Key(Qt::Key_Delete);
  Key(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("001"));
  EXPECT_EQ(ds().State(), DatasetState::Browse);
}

TEST_F(GridTest, AClickNeverStartsAnEdit) {
  const QRect cell = grid_->visualRect(grid_->model()->index(0, 1));
  for (int i = 0; i < 3; ++i)
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_FALSE(grid_->EditorOpen());
  EXPECT_EQ(ds().State(), DatasetState::Browse);
}

// In an MDI child a click on a tool button passes the focus through the
// sub-window, which gives it back: no exit, no entry.
TEST(GridFocus, ARoundTripThroughTheScreensFrameIsNoExit) {
  fw::ScriptedDialogs dlg;
  fw::ScopedDialogs use(dlg);
  uitest::Data data;
  QMainWindow main;
  auto* area = new QMdiArea(&main);
  main.setCentralWidget(area);
  main.resize(600, 400);
  auto* screen = new QWidget;
  auto* layout = new QVBoxLayout(screen);
  auto* button = new QToolButton(screen);
  button->setFocusPolicy(Qt::NoFocus);
  auto* grid = new fw::DBGrid(QStringLiteral("dbgTeste"), screen);
  auto* other = new QLineEdit(screen);
  layout->addWidget(button);
  layout->addWidget(grid);
  layout->addWidget(other);
  grid->SetDataSource(data.source.get());
  grid->SetCancelOnExit(true);
  int entered = 0;
  int exited = 0;
  grid->OnEnter = [&](fw::DBGrid*) { ++entered; };
  grid->OnExit = [&](fw::DBGrid*) { ++exited; };
  area->addSubWindow(screen)->show();
  main.show();
  QApplication::setActiveWindow(&main);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  grid->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(entered, 1);
  QTest::keyClick(grid, Qt::Key_Insert);
  ASSERT_EQ(data.dataset->State(), DatasetState::Insert);

  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(data.dataset->State(), DatasetState::Insert);
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(exited, 0);
  // A real move to another control of the screen is an exit.
  other->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(exited, 1);
  EXPECT_EQ(data.dataset->State(), DatasetState::Browse);  // the untouched record went away
  grid->SetDataSource(nullptr);
}

// A grid loaded while hidden shows its current record when it appears.
TEST_F(GridTest, AHiddenGridScrollsToItsCurrentRecordWhenShown) {
  uitest::Data many(200);
  QWidget page;
  page.resize(300, 150);
  auto* grid = new fw::DBGrid(QStringLiteral("dbgOculta"), &page);
  grid->resize(300, 150);
  grid->SetDataSource(many.source.get());
  many.dataset->SetRecNo(180);
  EXPECT_EQ(grid->currentIndex().row(), 180);
  page.show();
  QApplication::processEvents();
  const QRect cell = grid->visualRect(grid->currentIndex());
  EXPECT_TRUE(grid->viewport()->rect().intersects(cell)) << "row 180 at y " << cell.y();
  grid->SetDataSource(nullptr);
}

}  // namespace
