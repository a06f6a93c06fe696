// What a slip of the hand costs: Enter on a deletion question or on the
// question of closing while typing keeps everything (the real message boxes,
// answered with the key), the closing question says what would go, and the
// two sexes' grids hold each column at the same spot.

#include "framework/sql/localdb.h"
#include "framework/ui/gui_dialogs.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

namespace screentest {
namespace {

class Defaults : public SampleScreenTest {
 protected:
  struct Seen {
    QString text, detail, defaultButton;
  };
  // The next message box, as shown, answered by pressing `key` on it.
  void PressOnNextBox(Qt::Key key, Seen* seen) {
    auto* timer = new QTimer(form_);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, key, seen] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      timer->stop();
      timer->deleteLater();
      seen->text = box->text();
      seen->detail = box->informativeText();
      seen->defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
      QTest::keyClick(box, key);
    });
    timer->start();
  }
  static int Rows(const char* where) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    int n = 0;
    for (const char* t : {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"})
      if (q.exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2")
                     .arg(QLatin1String(t), QLatin1String(where))) &&
          q.next())
        n += q.value(0).toInt();
    return n;
  }
  fw::GuiDialogs gui_;
};

TEST_F(Defaults, EnterOnTheDeletionQuestionOfAReferenceDeletesNothing) {
  const int before = Rows("CDREFEBIBL = '01'");
  ASSERT_GT(before, 3000);
  ASSERT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
  fw::ScopedDialogs real(gui_);
  Seen seen;
  PressOnNextBox(Qt::Key_Return, &seen);
  Click("sbtExcluir");
  EXPECT_EQ(seen.text, QStringLiteral("Confirma exclusão?"));
  EXPECT_EQ(seen.defaultButton, QStringLiteral("&Não"));
  EXPECT_EQ(Rows("CDREFEBIBL = '01'"), before);
  EXPECT_TRUE(form_->cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
}

TEST_F(Defaults, ClosingWhileTypingSaysWhatWouldBeLostAndEnterKeepsTheInput) {
  ClickTab(form_->tshPesAlt);
  ClickCell(form_->dbgPesAlt, 0, 1);
  Type(QStringLiteral("3,5"));
  Key(Qt::Key_Tab);
  ASSERT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  fw::ScopedDialogs real(gui_);
  Seen seen;
  PressOnNextBox(Qt::Key_Return, &seen);
  Click("sbtFechar");
  EXPECT_EQ(seen.text, QStringLiteral("Confirma cancelamento?"));
  EXPECT_TRUE(seen.detail.contains(QStringLiteral("Alteração em Peso/Altura")))
      << seen.detail.toStdString();
  EXPECT_TRUE(seen.detail.contains(QStringLiteral("3,500"))) << seen.detail.toStdString();
  ASSERT_NE(trp::tabrelpeso::frmTabRelPeso, nullptr);
  EXPECT_EQ(form_->cdsPesAlt->State(), fw::DatasetState::Edit);
  EXPECT_DOUBLE_EQ(Value(form_->cdsPesAlt, "VRPESOMASALT"), 3.5);
  dialogs_.QueueAnswer(fw::mbYes);
}

TEST_F(Defaults, BothSexesGridsHoldEachColumnAtTheSameSpot) {
  ClickTab(form_->tshIdPesAlt);
  fw::DBGrid* male = form_->dbgIdPesAltMasc;
  fw::DBGrid* female = form_->dbgIdPesAltFem;
  // The mean's right edge dragged 40 pixels to the right in the boys' grid.
  QHeaderView* header = male->horizontalHeader();
  const int column = 3;
  const int width = header->sectionSize(column);
  const int edge = header->sectionViewportPosition(column) + width - 1;
  const QPoint from(edge, header->height() / 2), to(edge + 40, header->height() / 2);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, to, header->viewport()->mapToGlobal(to), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(header->viewport(), &move);
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, to);
  Flush();
  ASSERT_GT(header->sectionSize(column), width);
  // The girls' grid, chosen with the keyboard, has each column where the boys' has it.
  form_->cbbSexoIdPesAlt->setFocus();
  Key(Qt::Key_Down);
  ASSERT_EQ(form_->nbkIdPesAlt->ActivePage(), QStringLiteral("pgFeminino"));
  ASSERT_EQ(female->ColumnCount(), male->ColumnCount());
  for (int i = 0; i < male->ColumnCount(); ++i) {
    EXPECT_EQ(female->horizontalHeader()->sectionPosition(i), header->sectionPosition(i)) << i;
    EXPECT_EQ(female->columnWidth(i), male->columnWidth(i)) << i;
  }
}

}  // namespace
}  // namespace screentest
