// Search dialogs through the seam (scripted) and the GUI windows behind it
// (real dialogs, driven by keys on the offscreen platform).
#include "framework/ui/gui_dialogs.h"
#include "framework/ui/gui_widgets.h"
#include "framework/ui/host_services.h"
#include "framework/ui/scripted_dialogs.h"
#include "framework/ui/search.h"
#include "ui_support.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class SearchTest : public ::testing::Test {
 protected:
  fw::ScriptedDialogs dlg_;
  fw::ScopedDialogs use_{dlg_};
  uitest::Data data_;
};

TEST_F(SearchTest, PesquisarPicksByKeyAndLeavesTheRecordCurrent) {
  dlg_.QueuePick(QStringLiteral("CODE"), QStringLiteral("003"));
  EXPECT_TRUE(fw::Pesquisar(data_.source.get(),
                            QStringLiteral("Percentil|Não há percentil cadastrado."), false, true));
  EXPECT_EQ(data_.Code()->AsString(), QStringLiteral("003"));
  ASSERT_EQ(dlg_.Picks().size(), 1);
  EXPECT_EQ(dlg_.Picks()[0].title, QStringLiteral("Percentil"));
  EXPECT_EQ(dlg_.Picks()[0].recordCount, 3);

  dlg_.QueuePickCancel();
  EXPECT_FALSE(fw::Pesquisar(data_.source.get(), QStringLiteral("Percentil|vazio"), false, true));
  EXPECT_EQ(data_.Code()->AsString(), QStringLiteral("003"));
  EXPECT_TRUE(dlg_.Messages().isEmpty());
}

TEST_F(SearchTest, PesquisarOnAnEmptyListShowsTheEmptyText) {
  uitest::Data empty(0);
  fw::DataSource unbound(QStringLiteral("dtsNada"));
  for (fw::DataSource* source : {empty.source.get(), &unbound}) {
    dlg_.Clear();
    EXPECT_FALSE(fw::Pesquisar(
        source, QStringLiteral("Percentil|Não há percentil a ser cadastrado."), false, true));
    EXPECT_EQ(dlg_.MessageTexts(),
              QStringList{QStringLiteral("Não há percentil a ser cadastrado.")});
    EXPECT_TRUE(dlg_.Picks().isEmpty());
  }
  dlg_.Clear();
  EXPECT_FALSE(fw::Pesquisar(empty.source.get(), QStringLiteral("Percentil|vazio"), false, false));
  EXPECT_TRUE(dlg_.Messages().isEmpty());
}

TEST_F(SearchTest, PesquisarPicksASingleRecordWithoutAskingWhenTold) {
  uitest::Data one(1);
  EXPECT_TRUE(fw::Pesquisar(one.source.get(), QStringLiteral("T|v"), true, true));
  EXPECT_TRUE(dlg_.Picks().isEmpty());
  EXPECT_FALSE(
      fw::Pesquisar(one.source.get(), QStringLiteral("T|v"), false, true));  // asked, unanswered
  EXPECT_EQ(dlg_.Picks().size(), 1);
}

TEST_F(SearchTest, PesquisaListaJoinsTheChosenCodesInTheOrderShown) {
  QString list = QStringLiteral("antigo");
  dlg_.QueuePickList({QStringLiteral("003"), QStringLiteral("001")});
  EXPECT_TRUE(fw::PesquisaLista(data_.source.get(), QStringLiteral("CODE"),
                                QStringLiteral("Referência|vazio"), false, list));
  EXPECT_EQ(list, QStringLiteral("001,003"));
  dlg_.QueuePickListCancel();
  EXPECT_FALSE(fw::PesquisaLista(data_.source.get(), QStringLiteral("CODE"), QStringLiteral("R|v"),
                                 false, list));
  EXPECT_EQ(list, QStringLiteral("001,003"));
  dlg_.QueuePickList({QStringLiteral("002")});
  EXPECT_TRUE(fw::PesquisaLista(data_.source.get(), QStringLiteral("CODE"), QStringLiteral("R|v"),
                                true, list));
  EXPECT_EQ(list, QStringLiteral("001,003,002"));
  dlg_.QueuePickList({});
  EXPECT_TRUE(fw::PesquisaLista(data_.source.get(), QStringLiteral("CODE"), QStringLiteral("R|v"),
                                false, list));
  EXPECT_EQ(list, QString());

  uitest::Data empty(0);
  list = QStringLiteral("01");
  EXPECT_FALSE(fw::PesquisaLista(empty.source.get(), QStringLiteral("CODE"),
                                 QStringLiteral("Referência|Não há referência cadastrada."), false,
                                 list));
  EXPECT_EQ(list, QStringLiteral("01"));
  EXPECT_EQ(dlg_.LastMessage().text, QStringLiteral("Não há referência cadastrada."));
}

TEST_F(SearchTest, ProcuraPositionsOrSaysNothingWasFound) {
  dlg_.QueueFind(QStringLiteral("NAME"), QStringLiteral("dois"));
  EXPECT_TRUE(fw::Procura(data_.dataset.get()));
  EXPECT_EQ(data_.dataset->RecNo(), 1);
  dlg_.QueueFind(QStringLiteral("NAME"), QStringLiteral("Zz"));
  EXPECT_FALSE(fw::Procura(data_.dataset.get()));
  EXPECT_EQ(data_.dataset->RecNo(), 1);
  EXPECT_EQ(dlg_.LastMessage().text, QStringLiteral("Registro não encontrado."));
  uitest::Data empty(0);
  EXPECT_FALSE(fw::Procura(empty.dataset.get()));
}

TEST_F(SearchTest, SearchButtonRaisesItsEventsAroundThePick) {
  fw::TBtnPesquisa btp(QStringLiteral("btpPercentil"));
  QLineEdit med;
  btp.SetAssociate(&med);
  btp.SetDataSource(data_.source.get());
  btp.SetTitle(QStringLiteral("Percentil"));
  btp.SetEmptyText(QStringLiteral("Não há percentil a ser cadastrado."));
  QStringList events;
  btp.OnBeforePesq = [&](fw::TBtnPesquisa*) { events << QStringLiteral("before"); };
  btp.OnAfterPesq = [&](fw::TBtnPesquisa* b) {
    events << QStringLiteral("after");
    qobject_cast<QLineEdit*>(b->Associate())->setText(data_.Code()->AsString());
  };
  dlg_.QueuePick(QStringLiteral("CODE"), QStringLiteral("002"));
  btp.click();
  EXPECT_EQ(events, (QStringList{QStringLiteral("before"), QStringLiteral("after")}));
  EXPECT_EQ(med.text(), QStringLiteral("002"));
  dlg_.QueuePickCancel();
  btp.click();
  EXPECT_EQ(events.size(), 3);  // before only

  uitest::Data empty(0);
  btp.SetDataSource(empty.source.get());
  btp.click();
  EXPECT_EQ(dlg_.LastMessage().text, QStringLiteral("Não há percentil a ser cadastrado."));

  int own = 0;
  btp.OnClick = [&](fw::TBtnPesquisa*) { ++own; };
  btp.click();
  EXPECT_EQ(own, 1);
  EXPECT_EQ(events.size(), 4);
}

// --- the GUI windows

fw::PickRequest Request(const uitest::Data& data) {
  fw::PickRequest request;
  request.dataset = data.dataset.get();
  request.title = QStringLiteral("Percentil");
  return request;
}

TEST(PickListDialog, TypeToFilterEnterPicksEscCancels) {
  uitest::Data data;
  fw::PickListDialog dialog(Request(data), false, {});
  dialog.show();
  EXPECT_EQ(dialog.VisibleCount(), 3);
  QTest::keyClicks(dialog.FilterEdit(), QStringLiteral("TR"));
  EXPECT_EQ(dialog.VisibleCount(), 1);
  QTest::keyClick(dialog.FilterEdit(), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.PickedRow(), 2);

  fw::PickListDialog other(Request(data), false, {});
  other.show();
  QTest::keyClick(other.FilterEdit(), Qt::Key_Down);
  QTest::keyClick(other.FilterEdit(), Qt::Key_Return);
  EXPECT_EQ(other.PickedRow(), 1);

  fw::PickListDialog cancelled(Request(data), false, {});
  cancelled.show();
  QTest::keyClick(cancelled.FilterEdit(), Qt::Key_Escape);
  EXPECT_EQ(cancelled.result(), QDialog::Rejected);
  EXPECT_EQ(cancelled.PickedRow(), -1);
}

TEST(PickListDialog, TicksSeveralStartingFromThoseGiven) {
  uitest::Data data;
  fw::PickListDialog dialog(Request(data), true, {2});
  dialog.show();
  EXPECT_EQ(dialog.TickedRows(), QList<int>{2});
  dialog.Table()->setFocus();
  dialog.Table()->selectRow(0);
  QTest::keyClick(dialog.Table(), Qt::Key_Space);
  EXPECT_EQ(dialog.TickedRows(), (QList<int>{0, 2}));
  QTest::keyClick(dialog.Table(), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(GuiDialogs, PesquisarAndMessagesThroughRealModalDialogs) {
  fw::GuiDialogs gui;
  fw::ScopedDialogs use(gui);
  uitest::Data data;
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<fw::PickListDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->FilterEdit(), QStringLiteral("dois"));
    QTest::keyClick(dialog->FilterEdit(), Qt::Key_Enter);
  });
  EXPECT_TRUE(fw::Pesquisar(data.source.get(), QStringLiteral("Nome|vazio"), false, true));
  EXPECT_EQ(data.dataset->RecNo(), 1);

  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Confirma exclusão?"));
    EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QStringLiteral("&Sim"));
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(fw::Dialogs().Message(QStringLiteral("Confirma exclusão?"), fw::MsgType::Confirmation,
                                  fw::mbYesNo, 0),
            fw::mbYes);
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(
      fw::Dialogs().Message(QStringLiteral("Confirma?"), fw::MsgType::Confirmation, fw::mbYesNo, 0),
      fw::mbNo);
}

TEST(GuiDialogs, PesquisaListaAndProcuraThroughRealModalDialogs) {
  fw::GuiDialogs gui;
  fw::ScopedDialogs use(gui);
  uitest::Data data;
  QString list = QStringLiteral("002");
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<fw::PickListDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->TickedRows(), QList<int>{1});  // what the list already held
    dialog->Table()->setFocus();
    dialog->Table()->selectRow(2);
    QTest::keyClick(dialog->Table(), Qt::Key_Space);
    QTest::keyClick(dialog->Table(), Qt::Key_Return);
  });
  EXPECT_TRUE(fw::PesquisaLista(data.source.get(), QStringLiteral("CODE"),
                                QStringLiteral("Código|vazio"), false, list));
  EXPECT_EQ(list, QStringLiteral("002,003"));

  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<fw::FindDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->FieldCombo()->setCurrentIndex(dialog->FieldCombo()->findData(QStringLiteral("CODE")));
    QTest::keyClicks(dialog->ValueEdit(), QStringLiteral("003"));
    QTest::keyClick(dialog->ValueEdit(), Qt::Key_Return);  // the default button: Procurar
  });
  EXPECT_TRUE(fw::Procura(data.dataset.get()));
  EXPECT_EQ(data.dataset->RecNo(), 2);
}

TEST(FindDialog, StaysOpenWithAMessageUntilFound) {
  uitest::Data data;
  fw::FindDialog dialog(data.dataset.get(), QStringLiteral("Procurar"));
  dialog.show();
  dialog.FieldCombo()->setCurrentIndex(dialog.FieldCombo()->findData(QStringLiteral("NAME")));
  dialog.ValueEdit()->setText(QStringLiteral("nada"));
  EXPECT_FALSE(dialog.Search());
  EXPECT_EQ(dialog.MessageLabel()->text(), QStringLiteral("Registro não encontrado."));
  EXPECT_EQ(data.dataset->RecNo(), 0);
  dialog.ValueEdit()->setText(QStringLiteral("TRES"));
  EXPECT_TRUE(dialog.Search());
  EXPECT_EQ(data.dataset->RecNo(), 2);
}

TEST(HelpWindow, ShowsThePageOfTheContext) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile page(dir.filePath(QStringLiteral("11153600.html")));
  ASSERT_TRUE(page.open(QIODevice::WriteOnly));
  page.write("<html><body><h1>Relação Idade/Peso/Altura</h1></body></html>");
  page.close();
  fw::Host::Instance().SetHelpDir(dir.path());
  fw::HelpWindow found(QStringLiteral("Qelhelp.hlp"), 11153600);
  EXPECT_TRUE(found.Found());
  EXPECT_TRUE(found.Browser()->toPlainText().contains(QStringLiteral("Relação Idade/Peso/Altura")));
  fw::HelpWindow missing(QStringLiteral("Qelhelp.hlp"), 1);
  EXPECT_FALSE(missing.Found());
  EXPECT_TRUE(missing.Browser()->toPlainText().contains(QStringLiteral("contexto 1")));
  fw::Host::Instance().Reset();
}

}  // namespace
