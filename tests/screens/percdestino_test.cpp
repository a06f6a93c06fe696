// The automatic registration dialog opened from the maintenance screen's
// toolbar, typed into and confirmed while it runs modally; the copy checked
// in the database file behind the server.

#include "framework/sql/localdb.h"
#include "framework/ui/guard.h"
#include "screens/percdestino/percdestino_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <functional>

using trp::percdestino::TfrmPercDestino;

namespace screentest {
namespace {

class Copy : public SampleScreenTest {
 protected:
  // Clicks Copiar and, once the dialog runs, hands it to `act`; `act` ends
  // by confirming or closing it.
  void WithDialog(const std::function<void(TfrmPercDestino*)>& act) {
    bool ran = false;
    int polls = 0;
    std::function<void()> poll;
    poll = [&] {
      auto* dialog = qobject_cast<TfrmPercDestino*>(QApplication::activeModalWidget());
      // The lists load, under the busy indicator, once the dialog is first
      // activated, which may come after it is the modal widget.
      const bool loaded = !trp::percdestino::boPrimVez && dialogs_.BusyDepth() == 0;
      if (!dialog || (!loaded && ++polls < 200)) {
        QTimer::singleShot(10, poll);
        return;
      }
      ran = true;
      act(dialog);
      if (dialog->isVisible()) dialog->reject();
    };
    QTimer::singleShot(10, poll);
    Click("sbtCopiar");
    EXPECT_TRUE(ran);
  }
  // Types `code` into the dialog and clicks its confirm button.
  void Confirm(TfrmPercDestino* d, const QString& code) {
    d->medPercentil->clear();
    QTest::keyClicks(d->medPercentil, code);
    QTest::mouseClick(d->sbtConfirma, Qt::LeftButton);
  }
  static int Rows(const char* perc) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    q.exec(QStringLiteral("SELECT COUNT(*) FROM PESALTIDADE WHERE CDREFEBIBL = '01' AND "
                          "CDPERCENTIL = '%1'")
               .arg(QLatin1String(perc)));
    return q.next() ? q.value(0).toInt() : -1;
  }
};

TEST_F(Copy, TheDestinationIsCheckedThenGetsExactlyTheSourcesRows) {
  ClickTab(form_->tshIdPesAlt);
  ASSERT_TRUE(form_->cdsPercIdade->Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("003")));
  ClickCell(form_->dbgPercIdade, form_->cdsPercIdade->RecNo(), 0);
  ASSERT_TRUE(Enabled("sbtCopiar"));
  ASSERT_EQ(Rows("015"), 0);
  WithDialog([&](TfrmPercDestino* d) {
    EXPECT_EQ(d->stPaginaOrigem, QStringLiteral("tshIdPesAlt"));
    // The table has 9 of the 11 master percentiles: 015 and 085 are offered.
    EXPECT_EQ(d->cdsPercentilIdPesAlt->RecordCount(), 2);
    struct Case {
      const char* typed;
      const char* key;
      const char* after;
    };
    const Case cases[] = {
        {"", "Perc_deve", ""},
        {"99", "Perc_Inv", "099"},
        {"5", "Perc_NCad", "005"},  // the table has it already
    };
    for (const Case& c : cases) {
      dialogs_.Clear();
      Confirm(d, QLatin1String(c.typed));
      EXPECT_EQ(dialogs_.MessageTexts(), QStringList{d->msgPadrao->Msg(QLatin1String(c.key))})
          << c.typed;
      EXPECT_EQ(d->medPercentil->text(), QLatin1String(c.after));
      EXPECT_TRUE(d->isVisible());
    }
    // A pick fills code and name; typing clears the name.
    dialogs_.QueuePick(QStringLiteral("CDPERCENTIL"), QStringLiteral("015"));
    QTest::mouseClick(d->btpPercentil, Qt::LeftButton);
    EXPECT_EQ(d->medPercentil->text(), QStringLiteral("015"));
    EXPECT_EQ(d->edtPercentil->text(), QStringLiteral("Percentil 15"));
    dialogs_.Clear();
    QTest::mouseClick(d->sbtConfirma, Qt::LeftButton);
    EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
  });
  EXPECT_EQ(Rows("015"), Rows("003"));
  EXPECT_EQ(form_->cdsPercIdade->FieldByName(u"CDPERCENTIL")->AsString(), QStringLiteral("015"));
  EXPECT_EQ(form_->cdsIdPesAlt->RecordCount(), Rows("003"));
  EXPECT_EQ(dialogs_.BusyDepth(), 0);
}

TEST_F(Copy, ASourceWithoutRowsOpensNoDialog) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtIncluir");
  Type(QStringLiteral("15"));
  Click("sbtConfirmar");
  ASSERT_TRUE(form_->cdsIdPesAlt->IsEmpty());
  EXPECT_FALSE(Enabled("sbtCopiar"));
  // As the rules would never let it: the handler itself refuses.
  EXPECT_FALSE(fw::Guard([&] { form_->sbtCopiarClick(form_->sbtCopiar); }));
  EXPECT_EQ(dialogs_.MessageTexts(), QStringList{Msg("NPossCad")});
}

// The destination code takes what a three-digit number takes, typed or
// pasted; the rest is refused whole, with the reason in the status bar.
TEST_F(Copy, TheCodeFieldRefusesWhatDoesNotFitVisibly) {
  ClickTab(form_->tshIdPesAlt);
  ClickCell(form_->dbgPercIdade, 0, 0);
  WithDialog([&](TfrmPercDestino* d) {
    struct Case {
      const char* name;
      bool paste;
      const char* text;
      const char* after;
      const char* status;
    };
    const Case cases[] = {
        {"a fourth digit pasted", true, "0500", "", "Máximo de 3 algarismos antes da vírgula"},
        {"a fourth digit typed", false, "0500", "050", "Máximo de 3 algarismos antes da vírgula"},
        {"a letter", false, "5a", "5", "Use só algarismos e vírgula"},
        {"a decimal point", false, "1.5", "15", "Este valor não tem casas decimais"},
        {"a code pasted", true, "015", "015", ""},
    };
    for (const Case& c : cases) {
      d->medPercentil->clear();
      d->medPercentil->setFocus();
      main_->statusBar()->clearMessage();
      if (c.paste) {
        QGuiApplication::clipboard()->setText(QLatin1String(c.text));
        QTest::keyClick(d->medPercentil, Qt::Key_V, Qt::ControlModifier);
      } else {
        QTest::keyClicks(d->medPercentil, QLatin1String(c.text));
      }
      EXPECT_EQ(d->medPercentil->text(), QLatin1String(c.after)) << c.name;
      EXPECT_EQ(main_->statusBar()->currentMessage(), QString::fromUtf8(c.status)) << c.name;
    }
  });
}

}  // namespace
}  // namespace screentest
