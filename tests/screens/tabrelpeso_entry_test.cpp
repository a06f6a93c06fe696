// Typing never changes a value silently: the decimal keys, refused keys told
// in the host's status bar, the plausibility question before a row goes to
// the server, the focus after a cancel and the copy dialog's lists. Keys go
// into the real cells of the screen under the host window; what was saved is
// read from the database file behind the server.

#include "framework/data/format.h"
#include "framework/sql/localdb.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/percdestino/percdestino_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <functional>

namespace screentest {
namespace {

using trp::tabrelpeso::TfrmTabRelPeso;

class Entry : public SampleScreenTest {
 protected:
  void ChooseReference(const char* code) {
    ClickTab(form_->tshPadrao);
    ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QLatin1String(code)));
    ClickCell(form_->dbgPadrao, form_->cdsReferencia->RecNo(), 0);
  }
  QString Status() const { return main_->statusBar()->currentMessage(); }
  // One value of the database file behind the server ("" when absent).
  static QString Stored(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    if (!q.exec(sql) || !q.next()) return {};
    return q.value(0).toString();
  }
  static double StoredNumber(const QString& sql) { return Stored(sql).toDouble(); }
};

// Reference 04 holds one height-weight row (110,5 cm), so no neighbour makes
// the plausibility check ask.
TEST_F(Entry, DecimalKeysGiveTheCommaAndRefusedKeysAreToldInTheStatusBar) {
  ChooseReference("04");
  ClickTab(form_->tshPesAlt);
  fw::DBGrid* grid = form_->dbgPesAlt;
  const QString stored = QStringLiteral(
      "SELECT VRPESOMASALT FROM PESOALTU WHERE CDREFEBIBL = '04' AND CDPERCENTIL = '050'");
  struct Case {
    const char* name;
    std::function<void()> type;
    const char* editor;
    const char* status;  // "" when nothing was refused
    double saved;
  };
  const Case cases[] = {
      {"a dot", [&] { Type(QStringLiteral("12.5")); }, "12,5", "", 12.5},
      {"the keypad's dot",
       [&] {
         Type(QStringLiteral("13"));
         Key(Qt::Key_Period, Qt::KeypadModifier);
         Type(QStringLiteral("5"));
       },
       "13,5", "", 13.5},
      {"the keypad's comma",
       [&] {
         Type(QStringLiteral("14"));
         Key(Qt::Key_Comma, Qt::KeypadModifier);
         Type(QStringLiteral("25"));
       },
       "14,25", "", 14.25},
      {"a minus", [&] { Type(QStringLiteral("-13")); }, "13", "Valores negativos não são aceitos",
       13},
      {"a minus before a dot", [&] { Type(QStringLiteral("-12.5")); }, "12,5",
       "Valores negativos não são aceitos", 12.5},
      {"a letter", [&] { Type(QStringLiteral("1x6")); }, "16", "Use só algarismos e vírgula", 16},
      {"a fourth decimal", [&] { Type(QStringLiteral("15,1234")); }, "15,123",
       "Máximo de 3 casas decimais", 15.123},
      {"a second comma", [&] { Type(QStringLiteral("15,1.2")); }, "15,12", "O valor já tem vírgula",
       15.12},
      {"a pasted dot",
       [&] {
         QGuiApplication::clipboard()->setText(QStringLiteral("17.5"));
         Key(Qt::Key_V, Qt::ControlModifier);
       },
       "17,5", "", 17.5},
  };
  for (const Case& c : cases) {
    main_->statusBar()->clearMessage();
    ClickCell(grid, 0, 1);
    c.type();
    EXPECT_EQ(grid->EditorText(), QString::fromUtf8(c.editor)) << c.name;
    EXPECT_EQ(Status(), QString::fromUtf8(c.status)) << c.name;
    Click("sbtConfirmar");
    EXPECT_TRUE(Shown().isEmpty()) << c.name;
    EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Browse) << c.name;
    EXPECT_DOUBLE_EQ(StoredNumber(stored), c.saved) << c.name;
  }
}

TEST_F(Entry, AThirdDecimalOfAHeightIsRefusedVisiblyAndTheRestSaved) {
  ChooseReference("04");
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPesAlt, 0, 1);
  Click("sbtIncluir");
  ASSERT_EQ(form_->dbgPesAlt->SelectedField()->FieldName(), QStringLiteral("VRALTURA"));
  main_->statusBar()->clearMessage();
  Type(QStringLiteral("75.755"));
  EXPECT_EQ(form_->dbgPesAlt->EditorText(), QStringLiteral("75,75"));
  EXPECT_EQ(Status(), QStringLiteral("Máximo de 2 casas decimais"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("9.5"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("9.25"));
  Click("sbtConfirmar");
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(Stored(QStringLiteral("SELECT VRPESOFEMALT FROM PESOALTU WHERE CDREFEBIBL = '04' AND "
                                  "VRALTURA = 75.75")),
            QStringLiteral("9.25"));
}

// The row of each table with neighbours on both sides, in 01/050.
struct Table {
  const char* name;
  fw::TabSheet* TfrmTabRelPeso::*page;
  fw::Dataset* TfrmTabRelPeso::*list;
  fw::DBGrid* TfrmTabRelPeso::*grid;
  fw::Dataset* TfrmTabRelPeso::*rows;
  const char* column;
  const char* sqlTable;
  QStringList keys;  // key columns of the row
};

class Plausibility : public Entry {
 protected:
  // Puts the user on `column` of the row at 2 years (age) or the sixth
  // height of 01/050; returns the row's WHERE clause.
  QString OpenRow(const Table& t) {
    ClickTab(form_->*t.page);
    EXPECT_TRUE((form_->*t.list)->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
    fw::Dataset* rows = form_->*t.rows;
    if (t.keys.size() == 2)
      EXPECT_TRUE(rows->Locate(QStringLiteral("NRIDADEINI;NRIDADEFIN"), QVariantList{2, 0}));
    else
      rows->SetRecNo(5);
    const int row = rows->RecNo();
    fw::DBGrid* grid = form_->*t.grid;
    ClickCell(grid, row, fw::IndiceCol(grid, QLatin1String(t.column)));
    QString where = QStringLiteral(" WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050'");
    for (const QString& key : t.keys)
      where += QStringLiteral(" AND %1 = %2")
                   .arg(key, rows->FieldByName(key)->AsString().replace(u',', u'.'));
    return where;
  }
  // A value as the grid shows it.
  QString Shown(const Table& t, double value) const {
    return (form_->*t.rows)->FieldByName(QString::fromLatin1(t.column))->DisplayTextOf(value);
  }
  using Entry::Shown;
  double Neighbour(const Table& t, int delta) const {
    fw::Dataset* rows = form_->*t.rows;
    return rows
        ->ValueAt(rows->RecNo() + delta, rows->FieldByName(QString::fromLatin1(t.column))->Index())
        .toDouble();
  }
};

TEST_F(Plausibility, AValueOffItsCurveIsAskedAboutNoKeepsItYesSavesIt) {
  const Table tables[] = {
      {"idade",
       &TfrmTabRelPeso::tshIdPesAlt,
       &TfrmTabRelPeso::cdsPercIdade,
       &TfrmTabRelPeso::dbgIdPesAltMasc,
       &TfrmTabRelPeso::cdsIdPesAlt,
       "VRPESOMASIDA",
       "PESALTIDADE",
       {QStringLiteral("NRIDADEINI"), QStringLiteral("NRIDADEFIN")}},
      {"altura",
       &TfrmTabRelPeso::tshPesAlt,
       &TfrmTabRelPeso::cdsPercAltura,
       &TfrmTabRelPeso::dbgPesAlt,
       &TfrmTabRelPeso::cdsPesAlt,
       "VRPESOMASALT",
       "PESOALTU",
       {QStringLiteral("VRALTURA")}},
      {"nchs",
       &TfrmTabRelPeso::tshPesAltNCHS,
       &TfrmTabRelPeso::cdsPercAlturaNCHS,
       &TfrmTabRelPeso::dbgPesAltMascNCHS,
       &TfrmTabRelPeso::cdsPesAltNCHS,
       "VRPESOMASN2",
       "PEALNCHS2000",
       {QStringLiteral("VRALTURAN2")}},
  };
  for (const Table& t : tables) {
    const QString where = OpenRow(t);
    const QString sql = QStringLiteral("SELECT %1 FROM %2")
                            .arg(QLatin1String(t.column), QLatin1String(t.sqlTable)) +
                        where;
    const double before = StoredNumber(sql);
    ASSERT_GT(before, 0) << t.name;
    fw::Dataset* rows = form_->*t.rows;
    fw::DBGrid* grid = form_->*t.grid;
    const double previous = Neighbour(t, -1);
    const double next = Neighbour(t, 1);
    const double key = t.keys.size() == 2 ? 0 : rows->FieldByName(t.keys.first())->AsFloat();
    // Ten times the value, as a slipped comma gives: "125" for 12,5.
    const QString typed =
        t.keys.size() == 2 ? QStringLiteral("125") : QString::number(qRound(before * 10));
    Type(typed);
    Key(Qt::Key_Tab);
    dialogs_.Clear();
    dialogs_.QueueAnswer(fw::mbNo);
    Click("sbtConfirmar");
    const QString when = t.keys.size() == 2
                             ? QStringLiteral("aos 2 anos")
                             : QStringLiteral("com %1 cm de altura").arg(fw::FloatToStr(key));
    const QString question =
        QStringLiteral("Peso %1 kg %2: fora do esperado (vizinhos %3 e %4). Gravar assim mesmo?")
            .arg(fw::FormatFloat(typed.toDouble(), QStringLiteral("#,##0.000")), when,
                 Shown(t, previous), Shown(t, next));
    EXPECT_EQ(Shown(), QStringList{question}) << t.name;
    EXPECT_EQ(rows->State(), fw::DatasetState::Edit) << t.name;
    EXPECT_DOUBLE_EQ(Value(rows, t.column), typed.toDouble()) << t.name;
    EXPECT_EQ(grid->SelectedField()->FieldName(), QLatin1String(t.column)) << t.name;
    EXPECT_EQ(QApplication::focusWidget(), grid) << t.name;
    EXPECT_DOUBLE_EQ(StoredNumber(sql), before) << t.name;

    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtConfirmar");
    EXPECT_EQ(Shown().size(), 1) << t.name;
    EXPECT_EQ(rows->State(), fw::DatasetState::Browse) << t.name;
    EXPECT_DOUBLE_EQ(StoredNumber(sql), typed.toDouble()) << t.name;

    // On the neighbours' line: saved without a question.
    OpenRow(t);
    const QString midway = QString::number((previous + next) / 2, 'f', 3).replace(u'.', u',');
    Type(midway);
    Click("sbtConfirmar");
    EXPECT_TRUE(Shown().isEmpty()) << t.name;
    EXPECT_NEAR(StoredNumber(sql), (previous + next) / 2, 1e-3) << t.name;
  }
}

TEST_F(Plausibility, AValueOutOfThePercentilesOrderOrOfTheBoundsIsAskedAboutToo) {
  // A new age row past the end of 01/050 has no next month: only the other
  // percentiles and the bounds judge it.
  ClickTab(form_->tshIdPesAlt);
  ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
  fw::DBGrid* grid = form_->dbgIdPesAltMasc;
  ClickCell(grid, 0, fw::IndiceCol(grid, QStringLiteral("VRALTUMASIDA")));
  Click("sbtIncluir");
  Type(QStringLiteral("30"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("0"));
  Key(Qt::Key_Tab);
  Type(QStringLiteral("0,2"));
  dialogs_.Clear();
  Click("sbtConfirmar");
  const QStringList shown = Shown();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown.first(), QStringLiteral("Peso 0,200 kg aos 30 anos: fora do intervalo "
                                          "fisiológico (0,3 a 250 kg). Gravar assim mesmo?"));
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Insert);
}

// A question answered in a window of its own, as the real dialogs do: the
// screen's window is active again only after the handler returned.
class WindowedDialogs : public fw::ScriptedDialogs {
 public:
  fw::MsgButton Message(const QString& text, fw::MsgType type, fw::MsgButtons buttons,
                        int helpContext) override {
    QWidget box;
    auto* button = new QPushButton(QStringLiteral("Sim"), &box);
    box.show();
    QApplication::setActiveWindow(&box);
    button->setFocus();
    QCoreApplication::processEvents();
    return ScriptedDialogs::Message(text, type, buttons, helpContext);
  }
};

TEST_F(Entry, AfterCancelTheGridWorkedInKeepsTheFocusAndIncluirActsThere) {
  WindowedDialogs windowed;
  fw::ScopedDialogs use(windowed);
  struct Case {
    const char* name;
    fw::TabSheet* page;
    fw::DBGrid* grid;
    fw::Dataset* ds;
    int column;
    bool typed;  // a cell typed into (an open editor) rather than only a new row
    fw::MsgButton answer;
  };
  const Case cases[] = {
      {"new age row, Sim", form_->tshIdPesAlt, form_->dbgIdPesAltMasc, form_->cdsIdPesAlt, 2, false,
       fw::mbYes},
      {"typed height-weight row, Sim", form_->tshPesAlt, form_->dbgPesAlt, form_->cdsPesAlt, 1,
       true, fw::mbYes},
      {"typed height-weight row, Não", form_->tshPesAlt, form_->dbgPesAlt, form_->cdsPesAlt, 1,
       true, fw::mbNo},
      {"typed NCHS row, Sim", form_->tshPesAltNCHS, form_->dbgPesAltMascNCHS, form_->cdsPesAltNCHS,
       1, true, fw::mbYes},
      {"new percentile, Sim", form_->tshPesAlt, form_->dbgPercAltura, form_->cdsPercAltura, 0,
       false, fw::mbYes},
  };
  for (const Case& c : cases) {
    ClickTab(c.page);
    ClickCell(c.grid, 0, c.column);
    if (c.typed)
      Type(QStringLiteral("7"));
    else
      Click("sbtIncluir");
    ASSERT_NE(c.ds->State(), fw::DatasetState::Browse) << c.name;
    windowed.QueueAnswer(c.answer);
    Click("sbtCancelar");
    main_->activateWindow();  // the window manager gives the host its window back
    QApplication::setActiveWindow(main_.get());
    Flush();
    QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == c.grid || c.grid->isAncestorOf(focus))
        << c.name << ": " << (focus ? focus->objectName().toStdString() : "none");
    if (c.answer == fw::mbNo) {
      windowed.QueueAnswer(fw::mbYes);
      Click("sbtCancelar");
      QApplication::setActiveWindow(main_.get());
      Flush();
    }
    ASSERT_EQ(c.ds->State(), fw::DatasetState::Browse) << c.name;
    Click("sbtIncluir");
    EXPECT_EQ(c.ds->State(), fw::DatasetState::Insert) << c.name;
    windowed.QueueAnswer(fw::mbYes);
    Click("sbtCancelar");
    QApplication::setActiveWindow(main_.get());
    Flush();
  }
}

TEST_F(Entry, TheCopyDialogLoadsItsListsWhenAnotherPageHasNoPercentile) {
  // Reference 05 holds height-weight rows only: the age list is empty.
  ChooseReference("05");
  ClickTab(form_->tshIdPesAlt);
  ASSERT_TRUE(form_->cdsPercIdade->IsEmpty());
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPercAltura, 0, 0);
  const int offered =
      Stored(QStringLiteral("SELECT COUNT(*) FROM PERCENTIL p WHERE NOT EXISTS (SELECT 1 "
                            "FROM PESOALTU t WHERE t.CDREFEBIBL = '05' AND t.CDPERCENTIL = "
                            "p.CDPERCENTIL)"))
          .toInt();
  ASSERT_GT(offered, 0);
  for (int open = 0; open < 2; ++open) {
    bool ran = false;
    int polls = 0;
    std::function<void()> poll = [&] {
      auto* dialog =
          qobject_cast<trp::percdestino::TfrmPercDestino*>(QApplication::activeModalWidget());
      // The lists load, under the busy indicator, when the dialog is first
      // activated.
      const bool loaded = !trp::percdestino::boPrimVez && dialogs_.BusyDepth() == 0;
      if (!dialog || (!loaded && ++polls < 200)) {
        QTimer::singleShot(10, poll);
        return;
      }
      ran = true;
      EXPECT_EQ(dialog->cdsPercentilPesAlt->RecordCount(), offered) << open;
      EXPECT_TRUE(dialog->cdsPercentilIdPesAlt->IsEmpty()) << open;
      dialog->reject();
    };
    dialogs_.Clear();
    QTimer::singleShot(10, poll);
    Click("sbtCopiar");
    EXPECT_TRUE(ran) << open;
    EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
  }
}

TEST_F(Entry, APercentileWithoutRowsLeftIsSaidOnceToBeKeptOnlyOnScreen) {
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPercAltura, 0, 0);
  Click("sbtIncluir");
  Type(QStringLiteral("15"));  // a percentile the table does not have
  Click("sbtConfirmar");
  ASSERT_TRUE(Shown().isEmpty());
  ASSERT_EQ(form_->cdsPercAltura->State(), fw::DatasetState::Browse);
  const QString code = form_->cdsPercAltura->FieldByName(u"CDPERCENTIL")->AsString();
  main_->statusBar()->clearMessage();
  ClickTab(form_->tshIdPesAlt);
  EXPECT_TRUE(Status().contains(QStringLiteral("percentil %1").arg(code)))
      << Status().toStdString();
  EXPECT_TRUE(Status().contains(QStringLiteral("fica só nesta tela"))) << Status().toStdString();
  main_->statusBar()->clearMessage();
  ClickTab(form_->tshPesAlt);
  ClickTab(form_->tshPadrao);
  EXPECT_TRUE(Status().isEmpty()) << Status().toStdString();  // once
}

}  // namespace
}  // namespace screentest
