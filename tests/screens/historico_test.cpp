// The history window as a person uses it: opened from a row's context menu,
// from the toolbar, filtered by typing, and a deletion restored with
// "Restaurar"; checked against the database file behind the server.

#include "framework/sql/localdb.h"
#include "framework/ui/consiste.h"
#include "framework/ui/host_services.h"
#include "screens/historico/historico_form.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace screentest {
namespace {

class Historico : public SampleScreenTest {
 protected:
  static QSqlQuery Query(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
    return q;
  }
  // Every row of reference 01 in the three tables, every column, in key order.
  static QString Reference01() {
    QString out;
    for (const char* t : {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"}) {
      QSqlQuery q = Query(QStringLiteral("SELECT * FROM %1 WHERE CDREFEBIBL = '01' ORDER BY 1, 2, "
                                         "3, 4, 5")
                              .arg(QLatin1String(t)));
      while (q.next())
        for (int i = 0; i < q.record().count(); ++i) out += q.value(i).toString() + u'|';
      out += u'\n';
    }
    return out;
  }
  // As the mouse does it: a right click on a grid's first row, then the menu's item.
  trp::historico::TfrmHistorico* HistoryFromContextMenu(fw::DBGrid* grid) {
    const QPoint at = grid->visualRect(grid->model()->index(0, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid->viewport(), &event);
    Flush();
    auto* menu = grid->findChild<QMenu*>(QStringLiteral("popHistorico"));
    EXPECT_TRUE(menu && menu->isVisible());
    if (!menu) return nullptr;
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(menu->actions().at(0)).center());
    Flush();
    return form_->frmHistorico;
  }
  trp::historico::TfrmHistorico* HistoryFromToolbar() {
    Click("sbtHistorico");
    return form_->frmHistorico;
  }
  void Filter(trp::historico::TfrmHistorico* w, QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::mouseClick(w->btnFiltrar, Qt::LeftButton);
    Flush();
  }
  static void SelectLine(trp::historico::TfrmHistorico* w, int line) {
    QTableWidget* g = w->grdHistorico;
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {},
                      g->visualRect(g->model()->index(line, 0)).center());
    Flush();
  }
  void ActAs(const QString& token) {
    fw::Host::Instance().SetToken(token);
    form_->netTabRelPeso->SetToken(token);
  }
  void DeletePercentile050OfHeights() {
    ClickTab(form_->tshPesAlt);
    ASSERT_TRUE(form_->cdsPercAltura->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
    ClickCell(form_->dbgPercAltura, form_->cdsPercAltura->RecNo(), 1);
    dialogs_.QueueAnswer(fw::mbYes);
    Click("sbtExcluir");
    QSqlQuery q = Query(QStringLiteral(
        "SELECT COUNT(*) FROM PESOALTU WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050'"));
    ASSERT_TRUE(q.next());
    ASSERT_EQ(q.value(0).toInt(), 0);
  }
};

TEST_F(Historico, TwoEditsOfARowShowWithTheirUsersAndTheChangedValuesMarked) {
  ClickTab(form_->tshPesAlt);
  ASSERT_TRUE(form_->cdsPercAltura->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
  ClickCell(form_->dbgPesAlt, 0, 2);
  Type(QStringLiteral("2,29"));
  Click("sbtConfirmar");
  ActAs(kAnaToken);
  ClickCell(form_->dbgPesAlt, 0, 1);
  Type(QStringLiteral("2,31"));
  Click("sbtConfirmar");
  ASSERT_TRUE(Shown().isEmpty());

  trp::historico::TfrmHistorico* w = HistoryFromContextMenu(form_->dbgPesAlt);
  ASSERT_TRUE(w);
  ASSERT_EQ(w->Linhas(), 2);
  struct Line {
    const char* who;
    const char* changed;
    const char* after;
  };
  // At the column's three decimals.
  const Line lines[] = {{"ana", "VRPESOMASALT", "2,310"}, {"teste", "VRPESOFEMALT", "2,290"}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(w->grdHistorico->item(i, 1)->text(), QLatin1String(lines[i].who));
    EXPECT_EQ(w->grdHistorico->item(i, 2)->text(), QStringLiteral("Alterado"));
    SelectLine(w, i);
    // The field's label, with its sex where the label does not say it.
    const QString label = form_->cdsPesAlt->FieldByName(QString::fromLatin1(lines[i].changed))
                              ->DisplayLabel()
                              .simplified();
    const QString sex = QString::fromLatin1(lines[i].changed).contains(QLatin1String("MAS"))
                            ? QStringLiteral(", masculino")
                            : QStringLiteral(", feminino");
    int marked = 0, found = 0;
    for (int r = 0; r < w->grdValores->rowCount(); ++r) {
      const bool bold = w->grdValores->item(r, 2)->font().bold();
      marked += bold;
      const QString shown = w->grdValores->item(r, 0)->text();
      if (shown == label || shown == label + sex) {
        ++found;
        EXPECT_TRUE(bold) << lines[i].changed;
        EXPECT_EQ(w->grdValores->item(r, 2)->text(), QLatin1String(lines[i].after));
        EXPECT_NE(w->grdValores->item(r, 1)->text(), w->grdValores->item(r, 2)->text());
      }
    }
    EXPECT_EQ(marked, 1) << "only the changed value is marked";
    EXPECT_EQ(found, 1) << label.toStdString();
  }
}

TEST_F(Historico, AReferenceDeletedOnScreenIsRestoredFromItsHistoryExactly) {
  const QString before = Reference01();
  ASSERT_GT(before.size(), 100);
  ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  ASSERT_EQ(Reference01(), QStringLiteral("\n\n\n"));

  trp::historico::TfrmHistorico* w = HistoryFromToolbar();
  ASSERT_TRUE(w);
  Filter(w, w->edtReferencia, QStringLiteral("01"));
  ASSERT_GT(w->Linhas(), 0);
  EXPECT_EQ(w->grdHistorico->item(0, 2)->text(), QStringLiteral("Excluído"));
  SelectLine(w, 0);
  ASSERT_TRUE(w->btnRestaurar->isVisible());
  ASSERT_TRUE(w->btnRestaurar->isEnabled());
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbYes);
  QTest::mouseClick(w->btnRestaurar, Qt::LeftButton);
  Flush();
  EXPECT_EQ(Reference01(), before);
  EXPECT_TRUE(Shown().contains(QStringLiteral("Restauração concluída.")));
  // The screen shows the reference again; the newest lines are the restore's.
  EXPECT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
  EXPECT_EQ(w->grdHistorico->item(0, 2)->text(), QStringLiteral("Incluído (restauração)"));
  EXPECT_EQ(w->grdHistorico->item(0, 1)->text(), QStringLiteral("teste"));
}

TEST_F(Historico, ARestoreIsRefusedWhereTheKeyWasCreatedAgain) {
  DeletePercentile050OfHeights();
  Query(
      QStringLiteral("INSERT INTO PESOALTU (CDREFEBIBL, CDPERCENTIL, VRALTURA, VRPESOMASALT, "
                     "VRPESOFEMALT) VALUES ('01', '050', 80.5, 1, 2)"));
  trp::historico::TfrmHistorico* w = HistoryFromToolbar();
  ASSERT_TRUE(w);
  Filter(w, w->edtPercentil, QStringLiteral("050"));
  SelectLine(w, 0);
  ASSERT_EQ(w->grdHistorico->item(0, 2)->text(), QStringLiteral("Excluído"));
  dialogs_.Clear();
  dialogs_.QueueAnswer(fw::mbYes);
  QTest::mouseClick(w->btnRestaurar, Qt::LeftButton);
  Flush();
  const QStringList shown = Shown();
  ASSERT_EQ(shown.size(), 2);  // the question, then why not
  EXPECT_TRUE(shown[1].contains(QStringLiteral("mesma chave já existe"))) << shown[1].toStdString();
  QSqlQuery q =
      Query(QStringLiteral("SELECT COUNT(*), MAX(VRPESOMASALT) FROM PESOALTU WHERE "
                           "CDREFEBIBL = '01' AND CDPERCENTIL = '050'"));
  ASSERT_TRUE(q.next());
  EXPECT_EQ(q.value(0).toInt(), 1);
  EXPECT_EQ(q.value(1).toDouble(), 1.0);
}

TEST_F(Historico, AReaderSeesTheHistoryButCannotRestore) {
  DeletePercentile050OfHeights();
  ActAs(kLeitorToken);
  trp::historico::TfrmHistorico* w = HistoryFromToolbar();
  ASSERT_TRUE(w);
  Filter(w, w->edtPercentil, QStringLiteral("050"));
  ASSERT_GT(w->Linhas(), 0);
  SelectLine(w, 0);
  EXPECT_EQ(w->grdHistorico->item(0, 2)->text(), QStringLiteral("Excluído"));
  EXPECT_FALSE(w->PodeRestaurar());
  EXPECT_FALSE(w->btnRestaurar->isVisible());
  EXPECT_GT(w->grdValores->rowCount(), 0);
}

TEST_F(Historico, ARowsHistoryReadsAsAnAuditWithItsOwnCode) {
  ClickTab(form_->tshIdPesAlt);
  ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("050")));
  ClickCell(form_->dbgIdPesAltMasc, 0,
            fw::IndiceCol(form_->dbgIdPesAltMasc, QStringLiteral("VRPESOMASIDA")));
  Type(QStringLiteral("3,5"));
  dialogs_.QueueAnswer(fw::mbYes);  // kept although below the curve's neighbours
  Click("sbtConfirmar");
  ASSERT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse)
      << Shown().join('\n').toStdString();
  dialogs_.Clear();

  trp::historico::TfrmHistorico* w = HistoryFromContextMenu(form_->dbgIdPesAltMasc);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->lblCodTela->text(), QStringLiteral("Qel53611"));
  // The row named as users read it, not by its raw key fields.
  EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("ano(s)")))
      << w->windowTitle().toStdString();
  EXPECT_FALSE(w->windowTitle().contains(QStringLiteral(" / "))) << w->windowTitle().toStdString();
  ASSERT_GT(w->Linhas(), 0);
  SelectLine(w, 0);
  QStringList labels;
  QString before, after;
  for (int r = 0; r < w->grdValores->rowCount(); ++r) {
    const QString label = w->grdValores->item(r, 0)->text();
    labels << label;
    if (label == QStringLiteral("Peso (kg), masculino")) {
      before = w->grdValores->item(r, 1)->text();
      after = w->grdValores->item(r, 2)->text();
    }
  }
  EXPECT_EQ(labels.size(), QSet<QString>(labels.begin(), labels.end()).size())
      << "two fields under one label: " << labels.join(" | ").toStdString();
  EXPECT_TRUE(labels.contains(QStringLiteral("Peso (kg), feminino")));
  // The imported value at its column's three decimals, not as a raw float.
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+,\\d{3}$")).match(before).hasMatch())
      << before.toStdString();
  EXPECT_EQ(after, QStringLiteral("3,500"));
}

TEST_F(Historico, CtrlHRightAfterDeletingThePercentileOpensThatDeletionAndRestoresIt) {
  // Reference 04 has one percentile (050) in the height-weight table only.
  ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("04")));
  ClickCell(form_->dbgPadrao, form_->cdsReferencia->RecNo(), 0);
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPercAltura, 0, 0);
  dialogs_.QueueAnswer(fw::mbYes);
  Click("sbtExcluir");
  ASSERT_TRUE(form_->cdsPercAltura->IsEmpty());
  auto stored = [] {
    QSqlQuery q = Query(QStringLiteral(
        "SELECT COUNT(*) FROM PESOALTU WHERE CDREFEBIBL = '04' AND CDPERCENTIL = '050'"));
    return q.next() ? q.value(0).toInt() : -1;
  };
  ASSERT_EQ(stored(), 0);
  dialogs_.Clear();

  Key(Qt::Key_H, Qt::ControlModifier);
  EXPECT_TRUE(Shown().isEmpty());
  trp::historico::TfrmHistorico* w = form_->frmHistorico;
  ASSERT_TRUE(w);
  EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("050"))) << w->windowTitle().toStdString();
  ASSERT_GT(w->Linhas(), 0);
  EXPECT_EQ(w->grdHistorico->item(0, 2)->text(), QStringLiteral("Excluído"));

  // Widened to the whole reference, the restore still speaks of the percentile.
  Filter(w, w->edtPercentil, QString());
  ASSERT_EQ(w->grdHistorico->item(0, 2)->text(), QStringLiteral("Excluído"));
  SelectLine(w, 0);
  dialogs_.QueueAnswer(fw::mbYes);
  QTest::mouseClick(w->btnRestaurar, Qt::LeftButton);
  Flush();
  const QStringList shown = Shown();
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_TRUE(shown[0].contains(QStringLiteral("percentil 050"))) << shown[0].toStdString();
  EXPECT_FALSE(shown[0].contains(QStringLiteral("três tabelas"))) << shown[0].toStdString();
  EXPECT_EQ(stored(), 1);
}

}  // namespace
}  // namespace screentest
