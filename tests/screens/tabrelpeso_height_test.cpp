// The two tables by height kept by hand: heights and weights typed into the
// grids, every post and delete on the server at once (checked in the database
// file). The sample's pair 01/050 holds heights 45 to 103,5 in the
// height-weight table and 77 to 121,5 in the NCHS 2000 one.

#include "framework/sql/localdb.h"
#include "framework/ui/consiste.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace screentest {
namespace {

class Height : public SampleScreenTest {
 protected:
  // The pair 01/050 of a page, with the focus in `grid`.
  void OpenPair(fw::TabSheet* page, fw::Dataset* list, fw::DBGrid* grid) {
    ClickTab(page);
    ASSERT_TRUE(list->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
    ClickCell(grid, 0, 1);
  }
  // A value of the database file behind the server, as text ("" when absent).
  static QString Stored(const char* table, const char* heightColumn, const char* column,
                        double height) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050' "
                             "AND %3 = ?")
                  .arg(QLatin1String(column), QLatin1String(table), QLatin1String(heightColumn)));
    q.addBindValue(height);
    if (!q.exec() || !q.next()) return {};
    return q.value(0).toString();
  }
  static QString StoredPesAlt(const char* column, double height) {
    return Stored("PESOALTU", "VRALTURA", column, height);
  }
};

TEST_F(Height, ANewHeightIsCheckedSentAsTypedAndFoundAgain) {
  OpenPair(form_->tshPesAlt, form_->cdsPercAltura, form_->dbgPesAlt);
  fw::Dataset* rows = form_->cdsPesAlt;
  const QString existing = rows->FieldByName(u"VRALTURA")->AsString();
  Click("sbtIncluir");
  ASSERT_EQ(form_->dbgPesAlt->SelectedField()->FieldName(), QStringLiteral("VRALTURA"));
  struct Case {
    QString typed;
    QString message;  // empty: accepted; "*": the server's own sentence
  };
  const Case cases[] = {
      {existing, Msg("ALTURA_JCAD")},
      {QStringLiteral("0"), QStringLiteral("*")},
  };
  for (const Case& c : cases) {
    Type(c.typed);
    Key(Qt::Key_Tab);
    const QStringList shown = Shown();
    ASSERT_EQ(shown.size(), 1) << c.typed.toStdString();
    if (c.message != QLatin1String("*")) {
      EXPECT_EQ(shown.first(), c.message);
    }
    EXPECT_EQ(form_->dbgPesAlt->SelectedField()->FieldName(), QStringLiteral("VRALTURA"));
  }
  Type(QStringLiteral("130,567"));  // a third decimal is refused here
  EXPECT_EQ(form_->dbgPesAlt->EditorText(), QStringLiteral("130,56"));
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Tab);
  EXPECT_TRUE(Shown().isEmpty());
  // Both weights are required; the male one is named first.
  Click("sbtConfirmar");
  EXPECT_EQ(Shown(), QStringList{Msg("PesMas_Deve")});
  Type(QStringLiteral("30,1234"));
  Key(Qt::Key_Tab);
  Click("sbtConfirmar");
  EXPECT_EQ(Shown(), QStringList{Msg("Pesfem_Deve")});
  EXPECT_EQ(form_->dbgPesAlt->SelectedField()->FieldName(), QStringLiteral("VRPESOFEMALT"));
  Type(QStringLiteral("29,5"));
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(rows->State(), fw::DatasetState::Browse);
  EXPECT_EQ(trp::tabrelpeso::stVRALTURA, QStringLiteral("130,5"));
  EXPECT_EQ(StoredPesAlt("VRPESOMASALT", 130.5), QStringLiteral("30.123"));
  EXPECT_DOUBLE_EQ(Value(rows, "VRALTURA"), 130.5);  // found again after the reload
}

TEST_F(Height, AKeyTypedIntoTheFemaleWeightLandsThere) {
  OpenPair(form_->tshPesAlt, form_->cdsPercAltura, form_->dbgPesAlt);
  fw::Dataset* rows = form_->cdsPesAlt;
  const double height = Value(rows, "VRALTURA");
  const double male = Value(rows, "VRPESOMASALT");
  ClickCell(form_->dbgPesAlt, 0, 2);
  Type(QStringLiteral("9,75"));
  dialogs_.QueueAnswer(fw::mbYes);  // far above the other percentiles: asked, saved on Yes
  Click("sbtConfirmar");
  EXPECT_EQ(Shown().size(), 1);
  EXPECT_EQ(StoredPesAlt("VRPESOFEMALT", height), QStringLiteral("9.75"));
  EXPECT_EQ(StoredPesAlt("VRPESOMASALT", height).toDouble(), male);
}

TEST_F(Height, CtrlDeleteAsksAndDeletesOnTheServerOnlyOnTheHeightWeightPage) {
  OpenPair(form_->tshPesAlt, form_->cdsPercAltura, form_->dbgPesAlt);
  const double height = Value(form_->cdsPesAlt, "VRALTURA");
  const int rows = form_->cdsPesAlt->RecordCount();
  dialogs_.QueueAnswer(fw::mbYes);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(Questions("Excl"), 1);
  EXPECT_EQ(form_->cdsPesAlt->RecordCount(), rows - 1);
  EXPECT_EQ(form_->cdsPesAlt->ChangeCount(), 0);
  EXPECT_TRUE(StoredPesAlt("VRALTURA", height).isEmpty());

  dialogs_.Clear();
  OpenPair(form_->tshPesAltNCHS, form_->cdsPercAlturaNCHS, form_->dbgPesAltMascNCHS);
  const int nchs = form_->cdsPesAltNCHS->RecordCount();
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_TRUE(dialogs_.Messages().isEmpty());
  EXPECT_EQ(form_->cdsPesAltNCHS->RecordCount(), nchs);
}

TEST_F(Height, NchsRowsTakeThreeDecimalsInTheHeightAndNeedOnlyIt) {
  OpenPair(form_->tshPesAltNCHS, form_->cdsPercAlturaNCHS, form_->dbgPesAltMascNCHS);
  Click("sbtIncluir");
  ASSERT_EQ(form_->dbgPesAltMascNCHS->SelectedField()->FieldName(), QStringLiteral("VRALTURAN2"));
  Type(QStringLiteral("130,5678"));
  EXPECT_EQ(form_->dbgPesAltMascNCHS->EditorText(), QStringLiteral("130,567"));
  Key(Qt::Key_Tab);
  EXPECT_TRUE(Shown().isEmpty());
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(form_->cdsPesAltNCHS->State(), fw::DatasetState::Browse);
  EXPECT_EQ(Stored("PEALNCHS2000", "VRALTURAN2", "VRALTURAN2", 130.567).toDouble(), 130.567);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAltNCHS, "VRALTURAN2"), 130.567);

  // An edit with the female sex chosen starts on the female mean.
  form_->cbbSexoPesAltNCHS->setFocus();
  Key(Qt::Key_Down);
  Click("sbtAlterar");
  EXPECT_EQ(form_->ActiveControl(), form_->dbgPesAltFemnNCHS);
  EXPECT_EQ(form_->dbgPesAltFemnNCHS->SelectedField()->FieldName(), QStringLiteral("VRMEDIFEMN2"));
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtCancelar");
  EXPECT_EQ(form_->cdsPesAltNCHS->State(), fw::DatasetState::Browse);
  EXPECT_TRUE(Enabled("sbtAlterar"));  // the pair has rows
}

}  // namespace
}  // namespace screentest
