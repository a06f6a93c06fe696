// Adding references and percentiles to the lists, through the toolbar, the
// keyboard and the search dialogs, against the master tables of the local
// database (the sample: references 01 to 04, percentiles 003 to 097; the
// list holds 01 and 02).

#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QTest>

#include <functional>

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

class Lists : public SampleScreenTest {
 protected:
  QString Text(fw::Dataset* ds, const char* field) const {
    return ds->FieldByName(QString::fromLatin1(field))->AsString();
  }
  void CancelYes() {
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
    dialogs_.Clear();
  }
};

TEST_F(Lists, AReferenceIsCheckedWhenItsCodeIsLeftAndWhenPosted) {
  fw::Dataset* refs = form_->cdsReferencia;
  fw::Field* code = refs->FieldByName(u"CDREFEBIBL");
  Click("sbtIncluir");
  ASSERT_EQ(refs->State(), fw::DatasetState::Insert);
  ASSERT_EQ(form_->dbgPadrao->SelectedField(), code);  // the focus went to the code
  struct Case {
    const char* typed;
    bool post;
    QString message;
    const char* code;
  };
  const Case cases[] = {
      {"", false, {}, ""},                   // leaving it empty is not an error yet
      {"", true, Msg("Cod_Deve"), ""},       // posting it is
      {"9", false, Msg("Refe_NCad"), "09"},  // not in the master table, kept normalised
      {"1", false, Msg("Refe_JCad"), "01"},  // already listed
      {"1", true, Msg("Refe_JCad"), "01"},   // the post checks again
  };
  for (const Case& c : cases) {
    ClickCell(form_->dbgPadrao, refs->RecNo(), 0);
    if (*c.typed) Type(QLatin1String(c.typed));
    if (c.post)
      Click("sbtConfirmar");
    else
      Key(Qt::Key_Tab);
    const QStringList shown = Shown();
    EXPECT_EQ(shown, c.message.isEmpty() ? QStringList() : QStringList{c.message}) << c.typed;
    EXPECT_EQ(refs->State(), fw::DatasetState::Insert) << c.typed;
    EXPECT_EQ(code->AsString(), QLatin1String(c.code)) << c.typed;
    if (!c.message.isEmpty()) {
      EXPECT_EQ(form_->dbgPadrao->SelectedField(), code) << c.typed;
    }
  }
  ClickCell(form_->dbgPadrao, refs->RecNo(), 0);
  Type(QStringLiteral("3"));
  Key(Qt::Key_Tab);
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Text(refs, "NMREFEBIBL").isEmpty(), false);
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(refs->State(), fw::DatasetState::Browse);
  EXPECT_TRUE(refs->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("03")));
  // Listed since the screen opened: a duplicate now.
  Click("sbtIncluir");
  Type(QStringLiteral("03"));
  Click("sbtConfirmar");
  EXPECT_EQ(Shown(), QStringList{Msg("Refe_JCad")});
  CancelYes();
  EXPECT_EQ(refs->State(), fw::DatasetState::Browse);
  EXPECT_FALSE(Enabled("sbtAlterar"));  // a reference is never edited in place
  EXPECT_TRUE(code->ReadOnly());
}

TEST_F(Lists, APercentileIsCheckedInItsTablesListForTheCurrentReference) {
  struct Page {
    fw::TabSheet* page;
    fw::DBGrid* grid;
    fw::Dataset* list;
    fw::Dataset* rows;
  };
  const Page pages[] = {
      {form_->tshIdPesAlt, form_->dbgPercIdade, form_->cdsPercIdade, form_->cdsIdPesAlt},
      {form_->tshPesAlt, form_->dbgPercAltura, form_->cdsPercAltura, form_->cdsPesAlt},
      {form_->tshPesAltNCHS, form_->dbgPercAlturaNCHS, form_->cdsPercAlturaNCHS,
       form_->cdsPesAltNCHS}};
  for (const Page& p : pages) {
    const std::string what = p.grid->objectName().toStdString();
    ClickTab(p.page);
    ASSERT_EQ(form_->ActiveControl(), p.grid) << what;
    ASSERT_FALSE(p.rows->IsEmpty()) << what;
    Click("sbtIncluir");
    ASSERT_EQ(p.list->State(), fw::DatasetState::Insert) << what;
    EXPECT_TRUE(p.rows->IsEmpty()) << what;  // the new entry has no rows
    Click("sbtConfirmar");
    EXPECT_EQ(Shown(), QStringList{Msg("Perc_deve")}) << what;
    Type(QStringLiteral("50"));
    Key(Qt::Key_Tab);
    EXPECT_EQ(Shown(), QStringList{Msg("Perc_JCad")}) << what;
    EXPECT_EQ(Text(p.list, "CDPERCENTIL"), QStringLiteral("050")) << what;
    Key(Qt::Key_Backspace);
    Type(QStringLiteral("15"));
    Key(Qt::Key_Tab);
    EXPECT_TRUE(Shown().isEmpty()) << what;
    EXPECT_EQ(Text(p.list, "NMPERCENTIL"), QStringLiteral("Percentil 15")) << what;
    Click("sbtConfirmar");
    EXPECT_EQ(p.list->State(), fw::DatasetState::Browse) << what;
    EXPECT_EQ(Text(p.list, "CDREFEBIBL"), QStringLiteral("01")) << what;
    // Posted earlier since the screen opened: a duplicate now.
    Click("sbtIncluir");
    Type(QStringLiteral("015"));
    Click("sbtConfirmar");
    EXPECT_EQ(Shown(), QStringList{Msg("Perc_JCad")}) << what;
    CancelYes();
    EXPECT_EQ(p.list->State(), fw::DatasetState::Browse) << what;
  }
  // The same percentile under another reference is accepted.
  ClickTab(form_->tshPadrao);
  ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("02")));
  ClickTab(form_->tshIdPesAlt);
  Click("sbtIncluir");
  Type(QStringLiteral("15"));
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(form_->cdsPercIdade->State(), fw::DatasetState::Browse);
  EXPECT_EQ(Text(form_->cdsPercIdade, "CDREFEBIBL"), QStringLiteral("02"));
}

TEST_F(Lists, ASearchPickFillsCodeAndNameAndIsCheckedOnLeaving) {
  ClickTab(form_->tshPesAlt);
  fw::DBGrid* grid = form_->dbgPercAltura;
  Click("sbtIncluir");
  const QModelIndex cell = grid->model()->index(form_->cdsPercAltura->RecNo(), 0);
  ASSERT_TRUE(grid->IsCellButton(cell));
  dialogs_.QueuePick(QStringLiteral("CDPERCENTIL"), QStringLiteral("050"));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellButtonRect(cell).center());
  Flush();
  ASSERT_EQ(dialogs_.Picks().size(), 1);
  EXPECT_EQ(dialogs_.Picks().first().title, Msg("Percentil"));
  EXPECT_EQ(dialogs_.Picks().first().recordCount, 11);  // every master row, listed ones too
  EXPECT_EQ(Text(form_->cdsPercAltura, "CDPERCENTIL"), QStringLiteral("050"));
  EXPECT_EQ(Text(form_->cdsPercAltura, "NMPERCENTIL"), QStringLiteral("Percentil 50"));
  EXPECT_TRUE(Shown().isEmpty());  // not checked yet
  Key(Qt::Key_Tab);
  EXPECT_EQ(Shown(), QStringList{Msg("Perc_JCad")});
  // A cancelled dialog changes nothing.
  dialogs_.QueuePickCancel();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellButtonRect(cell).center());
  Flush();
  EXPECT_EQ(Text(form_->cdsPercAltura, "CDPERCENTIL"), QStringLiteral("050"));
  CancelYes();
  EXPECT_EQ(form_->cdsPercAltura->State(), fw::DatasetState::Browse);
}

TEST_F(Lists, EveryKeyWhileAddingBlanksTheNameAndTheSiblingsFilterTheirCode) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtIncluir");
  Type(QStringLiteral("15"));
  Key(Qt::Key_Tab);
  ASSERT_EQ(Text(form_->cdsPercIdade, "NMPERCENTIL"), QStringLiteral("Percentil 15"));
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  Type(QStringLiteral("7"));
  EXPECT_TRUE(Text(form_->cdsPercIdade, "NMPERCENTIL").isEmpty());
  CancelYes();

  // Outside insert the code column of the two sibling lists lets only a few
  // characters through; the age list's handler does nothing then.
  TfrmTabRelPeso* f = form_;
  const auto altura = [f](QChar& key) { f->dbgPercAlturaKeyPress(f->dbgPercAltura, key); };
  const auto nchs = [f](QChar& key) { f->dbgPercAlturaNCHSKeyPress(f->dbgPercAlturaNCHS, key); };
  const auto idade = [f](QChar& key) { f->dbgPercIdadeKeyPress(f->dbgPercIdade, key); };
  struct Case {
    fw::DBGrid* grid;
    std::function<void(QChar&)> press;
    QChar key;
    bool passes;
  };
  const Case cases[] = {
      {f->dbgPercAltura, altura, QLatin1Char('7'), false},
      {f->dbgPercAltura, altura, QLatin1Char('a'), false},
      {f->dbgPercAltura, altura, QLatin1Char('%'), true},
      {f->dbgPercAltura, altura, QLatin1Char('('), true},
      {f->dbgPercAltura, altura, QLatin1Char('\t'), true},
      {f->dbgPercAlturaNCHS, nchs, QLatin1Char('1'), false},
      {f->dbgPercAlturaNCHS, nchs, QLatin1Char('\r'), true},
      {f->dbgPercIdade, idade, QLatin1Char('7'), true},
  };
  for (const Case& c : cases) {
    c.grid->SetSelectedIndex(0);
    QChar key = c.key;
    c.press(key);
    EXPECT_EQ(!key.isNull(), c.passes)
        << c.grid->objectName().toStdString() << " " << int(c.key.unicode());
    // The name column is not filtered.
    c.grid->SetSelectedIndex(1);
    key = c.key;
    c.press(key);
    EXPECT_FALSE(key.isNull());
  }
}

TEST_F(Lists, CtrlDeleteOnTheListsIsTheToolbarsDelete) {
  const int references = form_->cdsReferencia->RecordCount();
  ClickCell(form_->dbgPadrao, 0, 0);
  Key(Qt::Key_Delete, Qt::ControlModifier);  // answered No
  EXPECT_EQ(Questions("Excl"), 1);
  ClickTab(form_->tshIdPesAlt);
  const int percentiles = form_->cdsPercIdade->RecordCount();
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(Questions("Excl"), 2);
  EXPECT_EQ(form_->cdsReferencia->RecordCount(), references);
  EXPECT_EQ(form_->cdsPercIdade->RecordCount(), percentiles);
  EXPECT_EQ(form_->cdsPercIdade->ChangeCount(), 0);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

}  // namespace
}  // namespace screentest
