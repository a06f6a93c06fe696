// What is pasted, typed at the end of a curve, refused by the server or
// edited in place is stored and shown as the user meant it: blocks from a
// spreadsheet spread over real cells through the real clipboard, the shipped
// curves' range asked about where no neighbour is, a failed save naming what
// was not saved, the row re-read after a conflict, and an imported value
// opened at its column's decimals. Stored values are read from the database
// file behind the server.

#include "framework/data/format.h"
#include "framework/net/netconnection.h"
#include "framework/sql/localdb.h"
#include "framework/ui/consiste.h"
#include "model/datasets.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "services/rdm_tabrelpeso.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>

#include <cmath>
#include <tuple>
#include <vector>

namespace screentest {
namespace {

class Paste : public SampleScreenTest {
 protected:
  void SetUp() override {
    SampleScreenTest::SetUp();
    grid_ = form_->dbgIdPesAltMasc;
  }
  // Another workstation saves `value` in `field` of the current age row,
  // through the server, as its own screen would.
  void OtherUserSaves(const char* field, double value) {
    fw::Dataset* rows = form_->cdsIdPesAlt;
    fw::DeltaPacket delta;
    delta.fields = trp::model::PacketFields(u"SetIdPesAlt");
    QVariantList old;
    for (const fw::FieldDef& f : delta.fields)
      old << rows->ValueAt(rows->RecNo(), rows->FieldByName(f.name)->Index());
    QVariantList now = old;
    now[delta.fieldIndex(QString::fromLatin1(field))] = value;
    delta.changes = {fw::Change{fw::Change::Op::Update, old, now}};
    fw::TNetConnection net(QStringLiteral("netAna"));
    net.SetServerName(QLatin1String(trp::services::kServerName));
    net.SetToken(kAnaToken);
    net.BeforeConnect = [this](fw::TNetConnection& c) {
      c.SetHost(QStringLiteral("127.0.0.1"));
      c.SetPort(port_);
    };
    const fw::ServerResult r = trp::services::RdmTabRelPeso(net).SetIdPesAlt(delta);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    net.SetConnected(false);
  }
  // The age page on 01/050.
  void AgePage() {
    ClickTab(form_->tshIdPesAlt);
    ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
  }
  int Column(const char* field) const { return fw::IndiceCol(grid_, QLatin1String(field)); }
  // Puts the user on `field` of the age row `anos`/`meses` of the pair shown.
  void OnRow(int anos, int meses, const char* field) {
    ASSERT_TRUE(form_->cdsIdPesAlt->Locate(QStringLiteral("NRIDADEINI;NRIDADEFIN"),
                                           QVariantList{anos, meses}));
    ClickCell(grid_, form_->cdsIdPesAlt->RecNo(), Column(field));
  }
  // A new row from the toolbar, the user on its years.
  void NewRow() {
    Focus(grid_);
    Click("sbtIncluir");
    ASSERT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert);
    ASSERT_EQ(grid_->SelectedField()->FieldName(), QStringLiteral("NRIDADEINI"));
  }
  // Types each text into its cell, Tab between them.
  void TypeCells(std::initializer_list<const char*> texts) {
    bool first = true;
    for (const char* text : texts) {
      if (!first) Key(Qt::Key_Tab);
      first = false;
      Type(QString::fromUtf8(text));
    }
  }
  void PasteText(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    Key(Qt::Key_V, Qt::ControlModifier);
  }
  QString Status() const { return main_->statusBar()->currentMessage(); }
  // One column of an age row of `ref`/`perc` in the database file ("" when absent).
  static QString Stored(const char* column, int anos, int meses, const char* ref = "01",
                        const char* perc = "050") {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    q.prepare(QStringLiteral("SELECT %1 FROM PESALTIDADE WHERE CDREFEBIBL = ? AND "
                             "CDPERCENTIL = ? AND NRIDADEINI = ? AND NRIDADEFIN = ?")
                  .arg(QLatin1String(column)));
    q.addBindValue(QLatin1String(ref));
    q.addBindValue(QLatin1String(perc));
    q.addBindValue(anos);
    q.addBindValue(meses);
    if (!q.exec() || !q.next()) return {};
    return q.value(0).toString();
  }
  fw::DBGrid* grid_ = nullptr;
};

// Cells of a spreadsheet row pasted into a new row: each lands in its own
// column, through the typing rules, and the row is saved after one question.
TEST_F(Paste, ABlockIsSpreadOverTheCellsFromTheCurrentOneAndSavedRowByRow) {
  struct Case {
    const char* name;
    int typedKeys;  // years and months typed first: 0 starts the paste on "Ano"
    const char* clipboard;
    const char* question;
    // year, month, column, stored value
    std::vector<std::tuple<int, int, const char*, const char*>> stored;
  };
  const Case cases[] = {
      {"weight and mean into an empty weight cell",
       2,
       "3\t3,35",
       "Colar 1 linha × 2 colunas?",
       {{21, 1, "VRPESOMASIDA", "3"}, {21, 1, "VRMDPSMASIDA", "3.35"}}},
      {"a whole spreadsheet row into the years",
       0,
       "21\t2\t60,5\t61\t9,5\r\n",
       "Colar 1 linha × 5 colunas?",
       {{21, 2, "VRPESOMASIDA", "60.5"},
        {21, 2, "VRMDPSMASIDA", "61"},
        {21, 2, "VRDPPSMASIDA", "9.5"}}},
      {"three rows of four columns",
       0,
       "21\t7\t61\t61,2\n21\t8\t61.5\t61,4\n21\t9\t62\t61,6",
       "Colar 3 linhas × 4 colunas?",
       {{21, 7, "VRPESOMASIDA", "61"},
        {21, 8, "VRPESOMASIDA", "61.5"},
        {21, 8, "VRMDPSMASIDA", "61.4"},
        {21, 9, "VRMDPSMASIDA", "61.6"}}},
  };
  AgePage();
  for (const Case& c : cases) {
    NewRow();
    if (c.typedKeys) {
      Type(QStringLiteral("21"));
      Key(Qt::Key_Tab);
      Type(QStringLiteral("1"));
      Key(Qt::Key_Tab);
    }
    dialogs_.Clear();
    dialogs_.QueueAnswer(fw::mbYes);
    PasteText(QString::fromUtf8(c.clipboard));
    EXPECT_EQ(Shown(), QStringList{QString::fromUtf8(c.question)}) << c.name;
    EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse) << c.name;
    for (const auto& [anos, meses, column, value] : c.stored)
      EXPECT_EQ(Stored(column, anos, meses), QLatin1String(value)) << c.name << " " << column;
  }
  // A single value with a line break after it is typed as always.
  OnRow(21, 1, "VRPESOMASIDA");
  dialogs_.Clear();
  PasteText(QStringLiteral("3.5\n"));
  EXPECT_EQ(grid_->EditorText(), QStringLiteral("3,5"));
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored("VRPESOMASIDA", 21, 1), QStringLiteral("3.5"));
}

// A block that does not fit is refused with the cell and the reason; nothing
// changes, on screen or on the server.
TEST_F(Paste, ABlockThatDoesNotFitIsRefusedAndNothingChanges) {
  AgePage();
  struct Case {
    const char* name;
    const char* column;
    const char* clipboard;
    const char* message;
  };
  const Case cases[] = {
      {"more columns than remain", "VRMDPCMASIDA", "40\t41\t1,2",
       "O bloco colado tem 3 colunas, mas da coluna Média (Perímetro Cefálico) em diante a grade "
       "tem 2 colunas. Nada foi colado."},
      {"text in a number column", "VRPESOMASIDA", "12,5\tabc",
       "Linha 1 do bloco, coluna Média (Peso) (\"abc\"): Use só algarismos e vírgula. Nada foi "
       "colado."},
      {"a fourth decimal", "VRPESOMASIDA", "12,5\n12,6543",
       "Linha 2 do bloco, coluna Peso (kg) (\"12,6543\"): Máximo de 3 casas decimais. Nada foi "
       "colado."},
      {"another key for a stored row", "NRIDADEINI", "3\t0\t14",
       "Linha 1 do bloco, coluna Ano (\"3\"): a linha já gravada tem 2, e a chave só se digita "
       "numa linha nova. Nada foi colado."},
  };
  const QString before = Stored("VRPESOMASIDA", 2, 0);
  const QString next = Stored("VRPESOMASIDA", 2, 1);
  const int rows = form_->cdsIdPesAlt->RecordCount();
  for (const Case& c : cases) {
    OnRow(2, 0, c.column);
    dialogs_.Clear();
    PasteText(QString::fromUtf8(c.clipboard));
    EXPECT_EQ(Shown(), QStringList{QString::fromUtf8(c.message)}) << c.name;
    EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse) << c.name;
    EXPECT_EQ(form_->cdsIdPesAlt->RecordCount(), rows) << c.name;
    EXPECT_EQ(Stored("VRPESOMASIDA", 2, 0), before) << c.name;
    EXPECT_EQ(Stored("VRPESOMASIDA", 2, 1), next) << c.name;
  }
}

// 125 kg typed after 12,5 kg at the end of a curve, or as the first row of a
// new reference, has no neighbour to be judged by: the shipped curves are.
TEST_F(Paste, ATenfoldWeightWithoutNeighboursIsAskedAbout) {
  // Reference 03 has no rows yet: it is added on screen, then its percentile.
  ClickTab(form_->tshPadrao);
  Click("sbtIncluir");
  Type(QStringLiteral("03"));
  Click("sbtConfirmar");
  ASSERT_TRUE(Shown().isEmpty());
  ClickTab(form_->tshIdPesAlt);
  ASSERT_TRUE(form_->cdsPercIdade->IsEmpty());
  Click("sbtIncluir");
  Type(QStringLiteral("50"));
  Click("sbtConfirmar");
  const QString faixa =
      QStringLiteral("fora da faixa das curvas OMS 2006/2007 e CDC 2000 para essa idade (");
  struct Case {
    const char* name;
    int meses;
    const char* typed;
    const char* when;
  };
  const Case cases[] = {
      {"the first row of a new reference", 0, "125", "aos 2 anos"},
      {"after 12,5 at the end of the curve", 1, "125", "aos 2 anos e 1 mês"},
  };
  for (const Case& c : cases) {
    if (c.meses == 1) {  // 12,5 kg at 2 years first, saved without a question
      NewRow();
      TypeCells({"2", "0", "12,5"});
      dialogs_.Clear();
      Click("sbtConfirmar");
      ASSERT_TRUE(Shown().isEmpty());
      ASSERT_EQ(Stored("VRPESOMASIDA", 2, 0, "03"), QStringLiteral("12.5"));
    }
    NewRow();
    TypeCells({"2", c.meses ? "1" : "0", c.typed});
    dialogs_.Clear();
    dialogs_.QueueAnswer(fw::mbNo);
    Click("sbtConfirmar");
    const QStringList shown = Shown();
    ASSERT_EQ(shown.size(), 1) << c.name;
    EXPECT_TRUE(shown[0].startsWith(
        QStringLiteral("Peso 125,000 kg %1: ").arg(QString::fromUtf8(c.when)) + faixa))
        << shown[0].toStdString();
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral(" kg). Gravar assim mesmo?")))
        << shown[0].toStdString();
    EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert) << c.name;
    EXPECT_EQ(Stored("VRPESOMASIDA", 2, c.meses, "03"), QString()) << c.name;
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
  }
}

// A mean typed ten times too large is asked about like a value.
TEST_F(Paste, AMeanSlipIsAskedAbout) {
  AgePage();
  OnRow(2, 0, "VRMDPSMASIDA");
  const QString before = Stored("VRMDPSMASIDA", 2, 0);
  const double mean = before.toDouble();
  ASSERT_GT(mean, 5);
  Type(QString::number(std::round(mean * 10)));
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbNo);
  Click("sbtConfirmar");
  const QStringList shown = Shown();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].startsWith(
      QStringLiteral("Média do peso %1 kg aos 2 anos: fora d")
          .arg(form_->cdsIdPesAlt->FieldByName(u"VRMDPSMASIDA")->DisplayText())))
      << shown[0].toStdString();
  EXPECT_TRUE(shown[0].endsWith(QStringLiteral("). Gravar assim mesmo?")))
      << shown[0].toStdString();
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_EQ(Stored("VRMDPSMASIDA", 2, 0), before);
}

// Another workstation saved the row first: the message names what was not
// saved and the value saved instead, and the grid shows what is stored now.
TEST_F(Paste, AfterAConflictTheScreenShowsTheOtherUsersValue) {
  AgePage();
  OnRow(0, 2, "VRPESOMASIDA");
  const double before = Value(form_->cdsIdPesAlt, "VRPESOMASIDA");
  const QString typed = QString::number(before + 0.01, 'f', 3).replace(u'.', u',');
  OtherUserSaves("VRPESOMASIDA", 3.4);
  Type(typed);
  dialogs_.Clear();
  Click("sbtConfirmar");
  const QStringList shown = Shown();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].contains(
      QStringLiteral("\nNão foi gravado: Peso %1 aos 0 anos e 2 meses.").arg(typed)))
      << shown[0].toStdString();
  EXPECT_TRUE(shown[0].endsWith(QStringLiteral("\nGravado agora por outro usuário: Peso 3,400.")))
      << shown[0].toStdString();
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_DOUBLE_EQ(Value(form_->cdsIdPesAlt, "VRPESOMASIDA"), 3.4);
  EXPECT_EQ(
      grid_->model()->index(form_->cdsIdPesAlt->RecNo(), Column("VRPESOMASIDA")).data().toString(),
      QStringLiteral("3,400"));
  EXPECT_EQ(Stored("VRPESOMASIDA", 0, 2), QStringLiteral("3.4"));
}

// With the server down the message says which values did not reach it.
TEST_F(Paste, AFailedSaveSaysWhatWasNotSaved) {
  AgePage();
  OnRow(0, 1, "VRPESOMASIDA");
  const QString before = Stored("VRPESOMASIDA", 0, 1);
  Type(QStringLiteral("3,45"));
  StopServer();
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbYes);  // off the curve: saved as typed
  Click("sbtConfirmar");
  const QStringList shown = Shown();
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_TRUE(shown.last().contains(QStringLiteral("servidor de aplicação")))
      << shown.last().toStdString();
  EXPECT_TRUE(
      shown.last().endsWith(QStringLiteral("\nNão foi gravado: Peso 3,450 aos 0 anos e 1 mês.")))
      << shown.last().toStdString();
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  StartAgain();
  EXPECT_EQ(Stored("VRPESOMASIDA", 0, 1), before);
}

// F2 on an imported value opens it at the column's decimals; leaving it
// untouched keeps the stored value bit for bit, a change is saved at the
// column's decimals.
TEST_F(Paste, F2OnAnImportedValueOpensItAtTheColumnsDecimals) {
  AgePage();
  // A month whose weight shows three decimals ("11,214"), imported with more.
  int meses = 12;
  QString stored, shown;
  for (; meses < 24; ++meses) {
    stored = Stored("VRPESOMASIDA", 1, meses - 12);
    shown = fw::FloatToStr(std::round(stored.toDouble() * 1000) / 1000);
    if (stored.size() > 8 && shown.size() == 6) break;
  }
  ASSERT_LT(meses, 24);
  const int m = meses - 12;
  OnRow(1, m, "VRPESOMASIDA");
  Key(Qt::Key_F2);
  EXPECT_EQ(grid_->EditorText(), shown);
  ClickCell(grid_, form_->cdsIdPesAlt->RecNo() + 1, Column("VRPESOMASIDA"));
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored("VRPESOMASIDA", 1, m), stored);

  OnRow(1, m, "VRPESOMASIDA");
  Key(Qt::Key_F2);
  Key(Qt::Key_End);
  Key(Qt::Key_Backspace);
  main_->statusBar()->clearMessage();
  Type(QStringLiteral("9"));
  const QString changed = shown.left(shown.size() - 1) + u'9';
  EXPECT_EQ(grid_->EditorText(), changed);
  EXPECT_EQ(Status(), QString());
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored("VRPESOMASIDA", 1, m), QString(changed).replace(u',', u'.'));
}

}  // namespace
}  // namespace screentest
