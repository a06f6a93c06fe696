// Deleting from the toolbar and verifying, against the database file behind
// the server. The sample holds reference 01 in the three tables, the WHO
// references 02 and 05, and reference 04 with one height-weight row
// (percentile 050).

#include "framework/sql/localdb.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/schema.h"
#include "server/storage.h"
#include "tests/screens/screen_fixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace screentest {
namespace {

class Deleting : public SampleScreenTest {
 protected:
  static int Count(const QString& where) {
    int n = 0;
    for (const char* table : {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"}) {
      QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
      if (q.exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2")
                     .arg(QLatin1String(table), where)) &&
          q.next())
        n += q.value(0).toInt();
    }
    return n;
  }
  static bool Exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    return q.exec(sql);
  }
  bool Busy(int kind) const {
    for (const auto& e : dialogs_.BusyEvents())
      if (e.show && e.kind == kind) return true;
    return false;
  }
};

TEST_F(Deleting, NoToTheQuestionChangesNothingAndHidesTheBusyIndicator) {
  struct Case {
    fw::TabSheet* page;
    fw::DBGrid* focus;
    QString question;
  };
  const Case cases[] = {
      {form_->tshPadrao, form_->dbgPadrao, fw::StandardMsg(QStringLiteral("Excl"))},
      {form_->tshIdPesAlt, form_->dbgPercIdade, fw::StandardMsg(QStringLiteral("Excl"))},
      {form_->tshIdPesAlt, form_->dbgIdPesAltMasc, Msg("ExcDadComuns")},
      {form_->tshPesAlt, form_->dbgPesAlt, fw::StandardMsg(QStringLiteral("Excl"))},
      {form_->tshPesAltNCHS, form_->dbgPesAltMascNCHS, Msg("ExcDadComuns")},
  };
  const int rows = Count(QStringLiteral("1 = 1"));
  for (const Case& c : cases) {
    const std::string what = c.focus->objectName().toStdString();
    ClickTab(c.page);
    ClickCell(c.focus, 0, 1);
    dialogs_.Clear();
    dialogs_.QueueAnswer(fw::mbNo);
    Click("sbtExcluir");
    ASSERT_EQ(dialogs_.Messages().size(), 1) << what;
    EXPECT_EQ(dialogs_.LastMessage().text, c.question) << what;
    ASSERT_FALSE(dialogs_.BusyEvents().isEmpty()) << what;  // shown before the question
    EXPECT_EQ(dialogs_.BusyDepth(), 0) << what;
  }
  EXPECT_EQ(Count(QStringLiteral("1 = 1")), rows);
  EXPECT_EQ(form_->cdsReferencia->RecordCount(), 4);
}

TEST_F(Deleting, AReferenceGoesWithItsRowsInTheThreeTables) {
  ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  ASSERT_EQ(Count(QStringLiteral("CDREFEBIBL = '04'")), 1);
  const int others = Count(QStringLiteral("CDREFEBIBL = '01'"));
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  EXPECT_EQ(Count(QStringLiteral("CDREFEBIBL = '04'")), 0);
  EXPECT_EQ(Count(QStringLiteral("CDREFEBIBL = '01'")), others);
  EXPECT_FALSE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  EXPECT_EQ(form_->cdsReferencia->RecordCount(), 3);
  EXPECT_FALSE(form_->cdsPercAltura->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

TEST_F(Deleting, AFailureHalfWayKeepsTheReferenceAndARepeatFinishes) {
  // The height-weight table cannot be written: the second deletion fails.
  ASSERT_TRUE(Exec(QStringLiteral("ALTER TABLE PESOALTU RENAME TO PESOALTU_FORA")));
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  ASSERT_EQ(dialogs_.Messages().size(), 2);  // the question, then the server's sentence
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
  EXPECT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
  QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
  ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM PESALTIDADE WHERE CDREFEBIBL = '01'")));
  ASSERT_TRUE(q.next());
  EXPECT_EQ(q.value(0).toInt(), 0);  // the age table went first
  q.finish();
  ASSERT_TRUE(Exec(QStringLiteral("ALTER TABLE PESOALTU_FORA RENAME TO PESOALTU")));
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  EXPECT_EQ(dialogs_.Messages().size(), 1) << dialogs_.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(Count(QStringLiteral("CDREFEBIBL = '01'")), 0);
  EXPECT_FALSE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
}

TEST_F(Deleting, APercentileGoesFromItsTableOnlyAndARowFromTheServer) {
  ClickTab(form_->tshIdPesAlt);
  ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("003")));
  ClickCell(form_->dbgPercIdade, form_->cdsPercIdade->RecNo(), 0);
  const QString perc = QStringLiteral("CDREFEBIBL = '01' AND CDPERCENTIL = '003'");
  const int elsewhere = Count(perc) - 241;
  ASSERT_GT(elsewhere, 0);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  EXPECT_EQ(Count(perc), elsewhere);  // the other tables keep theirs
  EXPECT_FALSE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("003")));
  EXPECT_FALSE(form_->cdsIdPesAlt->IsEmpty());  // the rows of the percentile now current

  // One row of the height-weight table: the standard question, then the server.
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPesAlt, 0, 1);
  const double height = Value(form_->cdsPesAlt, "VRALTURA");
  const int rows = form_->cdsPesAlt->RecordCount();
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  EXPECT_EQ(dialogs_.Messages().first().text, fw::StandardMsg(QStringLiteral("Excl")));
  EXPECT_EQ(form_->cdsPesAlt->RecordCount(), rows - 1);
  EXPECT_EQ(Count(QStringLiteral("CDREFEBIBL = '01' AND CDPERCENTIL = '003' AND VRALTURA = %1")
                      .arg(height)),
            0);
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

// The question of a reference or percentile delete keeps its text and tells
// what goes with it, counted in the database behind the server.
TEST_F(Deleting, TheQuestionNamesWhatGoesAndHowManyRowsOfEachTable) {
  auto rows = [](const char* table, const QString& where) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    const bool ok =
        q.exec(
            QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(QLatin1String(table), where)) &&
        q.next();
    return ok ? q.value(0).toInt() : -1;
  };
  auto line = [](const QString& page, int n) {
    return QStringLiteral("%1: %2 %3").arg(page).arg(n).arg(n == 1 ? "linha" : "linhas");
  };
  struct Case {
    fw::TabSheet* page;
    const char* ref;
    const char* perc;  // null: the whole reference
  };
  const Case cases[] = {
      {form_->tshPadrao, "04", nullptr},
      {form_->tshPadrao, "01", nullptr},
      {form_->tshIdPesAlt, "01", "050"},
      {form_->tshPesAlt, "04", "050"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ref) + "/" + (c.perc ? c.perc : "-"));
    ClickTab(form_->tshPadrao);
    ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QLatin1String(c.ref)));
    const QString name = form_->cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString();
    QString where = QStringLiteral("CDREFEBIBL = '%1'").arg(QLatin1String(c.ref));
    QStringList expected;
    if (c.perc) {
      ClickTab(c.page);
      fw::Dataset* list = c.page == form_->tshIdPesAlt ? form_->cdsPercIdade : form_->cdsPercAltura;
      fw::DBGrid* grid = c.page == form_->tshIdPesAlt ? form_->dbgPercIdade : form_->dbgPercAltura;
      ASSERT_TRUE(list->Locate(QStringLiteral("CDPERCENTIL"), QLatin1String(c.perc)));
      ClickCell(grid, list->RecNo(), 0);
      where += QStringLiteral(" AND CDPERCENTIL = '%1'").arg(QLatin1String(c.perc));
      expected << QStringLiteral("Percentil %1").arg(QLatin1String(c.perc))
               << line(c.page->Caption(),
                       rows(c.page == form_->tshIdPesAlt ? "PESALTIDADE" : "PESOALTU", where));
    } else {
      expected << QStringLiteral("Referência %1 - %2").arg(QLatin1String(c.ref), name)
               << line(form_->tshIdPesAlt->Caption(), rows("PESALTIDADE", where))
               << line(form_->tshPesAlt->Caption(), rows("PESOALTU", where))
               << line(form_->tshPesAltNCHS->Caption(), rows("PEALNCHS2000", where));
    }
    dialogs_.Clear();
    dialogs_.QueueAnswer(fw::mbNo);
    Click("sbtExcluir");
    ASSERT_EQ(dialogs_.Messages().size(), 1);
    EXPECT_EQ(dialogs_.LastMessage().text, fw::StandardMsg(QStringLiteral("Excl")));
    const QString detail = dialogs_.LastMessage().detail;
    for (const QString& text : expected)
      EXPECT_TRUE(detail.contains(text))
          << detail.toStdString() << "\n  lacks: " << text.toStdString();
  }
  // Yes: the percentile goes and the status bar says which, in words.
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  EXPECT_EQ(dialogs_.Statuses(), QStringList{QStringLiteral("Percentil 050 excluído")});
}

TEST_F(Deleting, VerifyShowsAnotherWorkstationsChangeAndRunsTheRules) {
  ClickTab(form_->tshIdPesAlt);
  ClickCell(form_->dbgIdPesAltMasc, 0, 2);
  // Another workstation's save: the row and the table's change counter, as
  // the server writes them.
  ASSERT_TRUE(
      Exec(QStringLiteral("UPDATE PESALTIDADE SET VRPESOMASIDA = 7.777 WHERE CDREFEBIBL = '01' AND "
                          "CDPERCENTIL = '003' AND NRIDADEINI = 0 AND NRIDADEFIN = 0")));
  {
    auto db = srv::OpenDb(dir_->filePath(QStringLiteral("tabrelpeso.db")));
    srv::BumpChangeCounter(*db, "PESALTIDADE", "01", "003");
  }
  dialogs_.Clear();
  Click("sbtVerificar");
  EXPECT_DOUBLE_EQ(Value(form_->cdsIdPesAlt, "VRPESOMASIDA"), 7.777);
  EXPECT_TRUE(Busy(fw::bkVerifying));
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
  // Said in words: the one row that came back changed, then nothing.
  Click("sbtVerificar");
  EXPECT_EQ(dialogs_.Statuses(),
            (QStringList{QStringLiteral("Dados verificados: 1 linha recarregada"),
                         QStringLiteral("Dados verificados: sem alterações")}));

  // Another workstation deleted every row of reference 04: it leaves the list
  // and the toolbar follows.
  ASSERT_TRUE(Exec(QStringLiteral("DELETE FROM PESOALTU WHERE CDREFEBIBL = '04'")));
  ClickTab(form_->tshPadrao);
  Click("sbtVerificar");
  EXPECT_EQ(form_->cdsReferencia->RecordCount(), 3);
  ASSERT_TRUE(Exec(QStringLiteral("DELETE FROM PESALTIDADE")));
  ASSERT_TRUE(Exec(QStringLiteral("DELETE FROM PESOALTU")));
  ASSERT_TRUE(Exec(QStringLiteral("DELETE FROM PEALNCHS2000")));
  Click("sbtVerificar");
  EXPECT_TRUE(form_->cdsReferencia->IsEmpty());
  EXPECT_FALSE(Enabled("sbtExcluir"));
  EXPECT_FALSE(form_->tshIdPesAlt->isEnabled());
}

}  // namespace
}  // namespace screentest
