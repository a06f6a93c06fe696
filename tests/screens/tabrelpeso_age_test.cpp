// The age table kept by hand: keys and values typed into the grids, every
// post and delete on the server at once (checked in the database file), the
// checks of the months and of the age. The sample's pair 01/050 holds years
// 0 to 19 with every month, and 20 years 0 months.

#include "framework/sql/localdb.h"
#include "framework/ui/consiste.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

class Age : public SampleScreenTest {
 protected:
  void SetUp() override {
    SampleScreenTest::SetUp();
    ClickTab(form_->tshIdPesAlt);
    ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
    grid_ = form_->dbgIdPesAltMasc;
  }
  int Column(const char* field) const { return fw::IndiceCol(grid_, QLatin1String(field)); }
  // A row of the database file behind the server, as text ("" when absent).
  static QString Stored(const QString& column, int anos, int meses, const char* perc = "050") {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    q.prepare(QStringLiteral("SELECT %1 FROM PESALTIDADE WHERE CDREFEBIBL = '01' AND "
                             "CDPERCENTIL = ? AND NRIDADEINI = ? AND NRIDADEFIN = ?")
                  .arg(column));
    q.addBindValue(QLatin1String(perc));
    q.addBindValue(anos);
    q.addBindValue(meses);
    if (!q.exec() || !q.next()) return {};
    return q.value(0).toString();
  }
  // Starts a new row from the toolbar with the focus in the grid.
  void NewRow() {
    ClickCell(grid_, 0, Column("VRPESOMASIDA"));
    Click("sbtIncluir");
    ASSERT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert);
    ASSERT_EQ(grid_->SelectedField()->FieldName(), QStringLiteral("NRIDADEINI"));
  }
  // Types each text into its cell and leaves it with Tab, as a person fills a row.
  void TypeCells(std::initializer_list<const char*> texts) {
    for (const char* text : texts) {
      Type(QString::fromUtf8(text));
      Key(Qt::Key_Tab);
    }
  }
  fw::DBGrid* grid_ = nullptr;
};

TEST_F(Age, ANewRowIsOnTheServerAtOnceAndCurrentAfterTheReload) {
  NewRow();
  TypeCells({"21", "5", "12,345"});
  EXPECT_TRUE(Shown().isEmpty());
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsIdPesAlt->ChangeCount(), 0);
  EXPECT_EQ(Stored(QStringLiteral("VRPESOMASIDA"), 21, 5), QStringLiteral("12.345"));
  // Found again after the reload, by its months and years.
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEINI"), 21);
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEFIN"), 5);
  EXPECT_EQ(trp::tabrelpeso::stNRIDADEFIN, QStringLiteral("5"));
  EXPECT_EQ(dialogs_.BusyDepth(), 0);

  // An edit of that row, left by clicking another row: saved, and the move
  // ends on the row clicked.
  ClickCell(grid_, form_->cdsIdPesAlt->RecNo(), Column("VRALTUMASIDA"));
  Type(QStringLiteral("88,5"));
  ClickCell(grid_, 3, Column("VRALTUMASIDA"));
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored(QStringLiteral("VRALTUMASIDA"), 21, 5), QStringLiteral("88.5"));
  EXPECT_EQ(form_->cdsIdPesAlt->RecNo(), 3);
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEINI"), 0);
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEFIN"), 3);

  // A new row sits above the others until it is saved and the reload puts it
  // last: the row clicked below it is found by its key, not its place.
  NewRow();
  Type(QStringLiteral("21"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("6"));
  Key(Qt::Key_Tab);
  ClickCell(grid_, 3, Column("VRPESOMASIDA"));  // 0 years 2 months, under the new row
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored(QStringLiteral("NRIDADEFIN"), 21, 6), QStringLiteral("6"));
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEINI"), 0);
  EXPECT_EQ(Value(form_->cdsIdPesAlt, "NRIDADEFIN"), 2);
}

TEST_F(Age, AServerRestartFailsOneConfirmKeepsTheRowAndTheNextOneSaves) {
  NewRow();
  TypeCells({"21", "5", "12,345"});
  ASSERT_TRUE(Shown().isEmpty());
  StopServer();
  Click("sbtConfirmar");
  const QStringList failure = Shown();
  ASSERT_EQ(failure.size(), 1);
  EXPECT_TRUE(failure[0].contains(QStringLiteral("servidor de aplicação")))
      << failure[0].toStdString();
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert);
  EXPECT_DOUBLE_EQ(Value(form_->cdsIdPesAlt, "VRPESOMASIDA"), 12.345);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
  StartAgain();
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(Stored(QStringLiteral("VRPESOMASIDA"), 21, 5), QStringLiteral("12.345"));
}

TEST_F(Age, MonthsAreCheckedAtEachColumnExitAndAtThePost) {
  struct Case {
    const char* anos;
    const char* meses;
    QString atExit;
  };
  const Case cases[] = {
      {"21", "12", Msg("IdadeFim_Intervalo")},
      {"21", "11", {}},
      {"21", "0", {}},
      {"0", "5", Msg("IDADE_JCAD")},  // already stored for the pair
      {"", "5", {}},                  // months first: the years are still to come
  };
  for (const Case& c : cases) {
    NewRow();
    if (*c.anos) Type(QLatin1String(c.anos));
    Key(Qt::Key_Tab);
    Type(QLatin1String(c.meses));
    Key(Qt::Key_Tab);
    const QStringList shown = Shown();
    EXPECT_EQ(shown, c.atExit.isEmpty() ? QStringList() : QStringList{c.atExit}) << c.meses;
    if (!c.atExit.isEmpty()) {
      EXPECT_EQ(grid_->SelectedField()->FieldName(), QStringLiteral("NRIDADEFIN")) << c.meses;
    }
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
    dialogs_.Clear();
  }
  // Empty months pass the column exit and are refused at the post; empty
  // years before them.
  NewRow();
  Click("sbtConfirmar");
  EXPECT_EQ(Shown(), QStringList{Msg("ANO_DEVE")});
  EXPECT_EQ(grid_->SelectedField()->FieldName(), QStringLiteral("NRIDADEINI"));
  Type(QStringLiteral("21"));
  Key(Qt::Key_Tab);
  Key(Qt::Key_Tab);
  EXPECT_TRUE(Shown().isEmpty());
  Click("sbtConfirmar");
  EXPECT_EQ(Shown(), QStringList{Msg("MES_DEVE")});
  EXPECT_EQ(grid_->SelectedField()->FieldName(), QStringLiteral("NRIDADEFIN"));
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert);
  // A row with only its age is saved.
  Type(QStringLiteral("7"));
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored(QStringLiteral("NRIDADEFIN"), 21, 7), QStringLiteral("7"));
}

TEST_F(Age, KeysAcceptOnlyWhatTheColumnTakes) {
  struct Case {
    const char* field;
    const char* typed;
    const char* editor;  // the text the cell holds afterwards
  };
  const Case cases[] = {
      {"VRPESOMASIDA", "1.5", "1,5"},       // the point is the decimal comma
      {"VRPESOMASIDA", "1,5a-", "1,5"},     // so are letters and the minus
      {"VRPESOMASIDA", "1,2345", "1,234"},  // weight: 3 decimals
      {"VRMDPSMASIDA", "1,2345", "1,234"},  // its mean too, though it shows 2
      {"VRALTUMASIDA", "50,123", "50,12"},  // height: 2, though it shows 3
      {"VRALTUMASIDA", "1234", "123"},      // 3 integer digits
  };
  for (const Case& c : cases) {
    ClickCell(grid_, 1, Column(c.field));
    Type(QLatin1String(c.typed));
    EXPECT_EQ(grid_->EditorText(), QLatin1String(c.editor)) << c.field << " " << c.typed;
    Key(Qt::Key_Escape);
    Key(Qt::Key_Escape);
  }
  // The age of an existing row takes nothing but Backspace.
  for (const char* key : {"NRIDADEINI", "NRIDADEFIN"}) {
    ClickCell(grid_, 1, Column(key));
    Type(QStringLiteral("5"));
    EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse) << key;
    EXPECT_FALSE(grid_->EditorOpen()) << key;
  }
  // Ctrl+Delete does nothing in an age grid.
  const int rows = form_->cdsIdPesAlt->RecordCount();
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_TRUE(dialogs_.Messages().isEmpty());
  EXPECT_EQ(form_->cdsIdPesAlt->RecordCount(), rows);
}

// The change is undone and the row re-read: the grid shows what the other
// workstation stored.
TEST_F(Age, AChangeTheServerRefusesIsUndoneWithTheServersMessage) {
  ClickCell(grid_, 2, Column("VRPESOMASIDA"));
  const double before = Value(form_->cdsIdPesAlt, "VRPESOMASIDA");
  // Near the value kept, so that only the server has something to say.
  Type(QString::number(before + 0.01, 'f', 2).replace(u'.', u','));
  // Another workstation changes the row first.
  QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
  ASSERT_TRUE(q.exec(QStringLiteral(
      "UPDATE PESALTIDADE SET VRPESOMASIDA = 4.5 WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050' "
      "AND NRIDADEINI = 0 AND NRIDADEFIN = 2")));
  // As every writer does, so that the server's cached answers see it.
  ASSERT_TRUE(q.exec(QStringLiteral(
      "UPDATE CONTROLEALTERACAO SET NRALTERACAO = NRALTERACAO + 1 WHERE NMTABELA = 'PESALTIDADE' "
      "AND CDREFEBIBL = '01' AND CDPERCENTIL = '050'")));
  ASSERT_EQ(q.numRowsAffected(), 1);
  Click("sbtConfirmar");
  const QStringList shown = Shown();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsIdPesAlt->ChangeCount(), 0);
  EXPECT_DOUBLE_EQ(Value(form_->cdsIdPesAlt, "VRPESOMASIDA"), 4.5);
  EXPECT_EQ(Stored(QStringLiteral("VRPESOMASIDA"), 0, 2), QStringLiteral("4.5"));
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

TEST_F(Age, DeletingThePairsLastRowSendsItAndMovesTheFocusToThePercentiles) {
  // A percentile of its own, with one row.
  ClickCell(form_->dbgPercIdade, 0, 0);
  Click("sbtIncluir");
  Type(QStringLiteral("15"));
  Click("sbtConfirmar");
  ASSERT_TRUE(Shown().isEmpty());
  ASSERT_TRUE(form_->cdsIdPesAlt->IsEmpty());
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton);
  Flush();
  Click("sbtIncluir");
  ASSERT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert);
  Type(QStringLiteral("1"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("2"));
  Click("sbtConfirmar");
  ASSERT_TRUE(Shown().isEmpty());
  ASSERT_EQ(Stored(QStringLiteral("NRIDADEFIN"), 1, 2, "015"), QStringLiteral("2"));
  ASSERT_EQ(form_->cdsIdPesAlt->RecordCount(), 1);
  ASSERT_EQ(form_->ActiveControl(), grid_);
  // The toolbar's delete is not built yet: the dataset's delete, as it will call.
  form_->cdsIdPesAlt->Delete();
  Flush();
  EXPECT_TRUE(Stored(QStringLiteral("NRIDADEFIN"), 1, 2, "015").isEmpty());
  EXPECT_TRUE(form_->cdsIdPesAlt->IsEmpty());
  EXPECT_EQ(form_->ActiveControl(), form_->dbgPercIdade);
}

}  // namespace
}  // namespace screentest
