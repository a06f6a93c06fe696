// Search dialogs through the seam (scripted) and the GUI windows behind it
// (real dialogs, driven by keys on the offscreen platform).
#include "framework/data/errors.h"
#include "framework/ui/dbgrid.h"
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

// cdsPeso: the values the grid shows differ from those stored. VRPESO under
// "#,##0.000", VRALTURA under "0.00", VRBRUTO and NRIDADE with no display format.
struct Weights {
  Weights() : dataset(QStringLiteral("cdsPeso")) {
    const QList<fw::FieldDef> defs{
        {"CODE", fw::FieldType::String, 3},   {"NAME", fw::FieldType::String, 20},
        {"VRPESO", fw::FieldType::Float, 0},  {"VRALTURA", fw::FieldType::Float, 0},
        {"VRBRUTO", fw::FieldType::Float, 0}, {"NRIDADE", fw::FieldType::Integer, 0}};
    for (const fw::FieldDef& def : defs) dataset.AddField(def);
    fw::DataPacket packet(defs);
    packet.appendRow({QStringLiteral("001"), QStringLiteral("Abacate"), 1.5, 1.5, 1.5, 3});
    packet.appendRow(
        {QStringLiteral("002"), QStringLiteral("Aba"), 8.534275, 8.534275, 8.534275, 12});
    packet.appendRow({QStringLiteral("003"), QStringLiteral("Caju"), 2.675, 1.005, 0.1, 1234});
    packet.appendRow({QStringLiteral("004"), QStringLiteral("Dende"), 1234.5, 1234.5, -2.5, 7});
    dataset.SetData(packet);
    dataset.FieldByName(u"VRPESO")->SetDisplayFormat(QStringLiteral("#,##0.000"));
    dataset.FieldByName(u"VRALTURA")->SetDisplayFormat(QStringLiteral("0.00"));
  }
  fw::Dataset dataset;
};

TEST(LocateForFind, MatchesWhatTheGridShows) {
  struct Case {
    const char* field;
    const char* typed;
    const char* filter;
    int row;  // visible row found; -1: not found, the current record stays
  };
  const Case cases[] = {
      // a float under a 3-decimal format, at the decimals shown
      {"VRPESO", "8,534", "", 1},
      {"VRPESO", "8.534", "", 1},
      {"VRPESO", " 8,534 ", "", 1},
      {"VRPESO", "8,5343", "", 1},  // the typed value rounds to what is shown too
      {"VRPESO", "8,53", "", -1},
      {"VRPESO", "8,535", "", -1},
      {"VRPESO", "8,534275", "", 1},
      {"VRPESO", "2,675", "", 2},
      {"VRPESO", "2,68", "", -1},
      // the same values shown with 2 decimals
      {"VRALTURA", "8,53", "", 1},
      {"VRALTURA", "8,534", "", 1},
      {"VRALTURA", "1,01", "", 2},  // 1.005 is shown "1,01"; llround(100.4999...) would miss it
      {"VRALTURA", "1,00", "", -1},
      {"VRPESO", "1.234,5", "", 3},
      {"VRPESO", "1234,500", "", 3},
      // not a number on a numeric field: nothing, no exception
      {"VRPESO", "abc", "", -1},
      {"VRPESO", "8,534x", "", -1},
      {"VRPESO", "", "", -1},
      {"NRIDADE", "doze", "", -1},
      // no display format: the value exactly as shown
      {"VRBRUTO", "8,534275", "", 1},
      {"VRBRUTO", "8,534", "", -1},
      {"VRBRUTO", "0,1", "", 2},
      {"VRBRUTO", "-2,5", "", 3},
      {"NRIDADE", "12", "", 1},
      {"NRIDADE", "12,0", "", 1},
      {"NRIDADE", "12,4", "", -1},
      {"NRIDADE", "1234", "", 2},
      // strings: exact first, then the start ignoring case
      {"NAME", "Aba", "", 1},
      {"NAME", "aba", "", 0},
      {"NAME", "cA", "", 2},
      {"NAME", "Zz", "", -1},
      // only the visible records, rows counted under the filter
      {"VRPESO", "8,534", "CODE = '001'", -1},
      {"VRPESO", "8,534", "CODE = '002'", 0},
      {"NAME", "aba", "CODE = '002'", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " '" + c.typed + "' " + c.filter);
    Weights w;
    if (*c.filter) {
      w.dataset.SetFilter(QString::fromUtf8(c.filter));
      w.dataset.SetFiltered(true);
    }
    w.dataset.Last();
    const int start = w.dataset.RecNo();
    const bool found =
        fw::LocateForFind(w.dataset, QString::fromUtf8(c.field), QString::fromUtf8(c.typed));
    EXPECT_EQ(found, c.row >= 0);
    EXPECT_EQ(w.dataset.RecNo(), c.row >= 0 ? c.row : start);
  }
}

TEST(LocateForFind, UnknownFieldThrowsWithoutMoving) {
  Weights w;
  w.dataset.Last();
  EXPECT_THROW(fw::LocateForFind(w.dataset, QStringLiteral("NADA"), QStringLiteral("1")),
               fw::Error);
  EXPECT_EQ(w.dataset.RecNo(), 3);
}

// Two age grids over one dataset, as the screen's male and female grids:
// the ages shared, weight and height per sex under the same titles.
struct AgeGrids {
  AgeGrids() : dataset(QStringLiteral("cdsIdade")), source(QStringLiteral("dtsIdade")) {
    QList<fw::FieldDef> defs;
    for (const char* name : {"NRIDADEINI", "NRIDADEFIN", "VRPESOMASIDA", "VRALTUMASIDA",
                             "VRPESOFEMIDA", "VRALTUFEMIDA"})
      defs.append({QString::fromLatin1(name), fw::FieldType::Float, 0});
    for (const fw::FieldDef& def : defs) dataset.AddField(def);
    fw::DataPacket packet(defs);
    packet.appendRow({0.0, 0.0, 3.5, 50.0, 3.4, 49.5});
    packet.appendRow({1.0, 0.0, 10.2, 76.0, 8.534275, 74.5});
    dataset.SetData(packet);
    dataset.FieldByName(u"VRPESOFEMIDA")->SetDisplayFormat(QStringLiteral("##0.000"));
    source.SetDataSet(&dataset);
    for (auto [grid, sex] : {std::pair{&male, "MAS"}, std::pair{&female, "FEM"}}) {
      grid->SetDataSource(&source);
      grid->AddColumn(QStringLiteral("NRIDADEINI")).SetTitle(QStringLiteral("Anos"));
      grid->AddColumn(QStringLiteral("NRIDADEFIN")).SetTitle(QStringLiteral("Meses"));
      grid->AddColumn(QStringLiteral("VRPESO%1IDA").arg(QLatin1String(sex)))
          .SetTitle(QStringLiteral("Peso"));
      grid->AddColumn(QStringLiteral("VRALTU%1IDA").arg(QLatin1String(sex)))
          .SetTitle(QStringLiteral("Altura"));
    }
  }
  fw::Dataset dataset;
  fw::DataSource source;
  fw::DBGrid male{QStringLiteral("dbgMasculino")};
  fw::DBGrid female{QStringLiteral("dbgFeminino")};
};

QStringList Labels(const QList<fw::FindColumn>& columns) {
  QStringList labels;
  for (const fw::FindColumn& c : columns) labels << c.label;
  return labels;
}

QStringList FieldNames(const QList<fw::FindColumn>& columns) {
  QStringList names;
  for (const fw::FindColumn& c : columns) names << c.fieldName;
  return names;
}

TEST(FindColumnsOf, GridOrderOnceEachQualifiedWhenNotInEveryGrid) {
  AgeGrids g;
  const QString mas = QStringLiteral("Masculino"), fem = QStringLiteral("Feminino");
  struct Case {
    const char* what;
    QList<QPair<fw::DBGrid*, QString>> grids;
    QString labels;  // joined by "|"
    QString fields;
  };
  const Case cases[] = {
      {"male then female",
       {{&g.male, mas}, {&g.female, fem}},
       QStringLiteral("Anos|Meses|Peso (Masculino)|Altura (Masculino)|Peso (Feminino)|"
                      "Altura (Feminino)"),
       QStringLiteral("NRIDADEINI|NRIDADEFIN|VRPESOMASIDA|VRALTUMASIDA|VRPESOFEMIDA|VRALTUFEMIDA")},
      {"female then male",
       {{&g.female, fem}, {&g.male, mas}},
       QStringLiteral("Anos|Meses|Peso (Feminino)|Altura (Feminino)|Peso (Masculino)|"
                      "Altura (Masculino)"),
       QStringLiteral("NRIDADEINI|NRIDADEFIN|VRPESOFEMIDA|VRALTUFEMIDA|VRPESOMASIDA|VRALTUMASIDA")},
      {"one grid: every field in every grid",
       {{&g.male, mas}},
       QStringLiteral("Anos|Meses|Peso|Altura"),
       QStringLiteral("NRIDADEINI|NRIDADEFIN|VRPESOMASIDA|VRALTUMASIDA")},
      {"an empty qualifier adds nothing",
       {{&g.male, QString()}, {&g.female, fem}},
       QStringLiteral("Anos|Meses|Peso|Altura|Peso (Feminino)|Altura (Feminino)"),
       QStringLiteral("NRIDADEINI|NRIDADEFIN|VRPESOMASIDA|VRALTUMASIDA|VRPESOFEMIDA|VRALTUFEMIDA")},
      {"a null grid is skipped",
       {{&g.male, mas}, {nullptr, QStringLiteral("X")}, {&g.female, fem}},
       QStringLiteral("Anos|Meses|Peso (Masculino)|Altura (Masculino)|Peso (Feminino)|"
                      "Altura (Feminino)"),
       QStringLiteral("NRIDADEINI|NRIDADEFIN|VRPESOMASIDA|VRALTUMASIDA|VRPESOFEMIDA|VRALTUFEMIDA")},
      {"no grid", {}, QString(), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QList<fw::FindColumn> columns = fw::FindColumnsOf(c.grids);
    EXPECT_EQ(Labels(columns).join(QLatin1Char('|')), c.labels);
    EXPECT_EQ(FieldNames(columns).join(QLatin1Char('|')), c.fields);
  }
}

TEST_F(SearchTest, ProcuraOffersTheColumnsAndFindsByFieldName) {
  AgeGrids g;
  const QList<fw::FindColumn> columns = fw::FindColumnsOf(
      {{&g.male, QStringLiteral("Masculino")}, {&g.female, QStringLiteral("Feminino")}});
  dlg_.QueueFind(QStringLiteral("VRPESOFEMIDA"), QStringLiteral("8,534"));
  EXPECT_TRUE(fw::Procura(&g.dataset, columns, QStringLiteral("Idade")));
  EXPECT_EQ(g.dataset.RecNo(), 1);
  EXPECT_EQ(dlg_.LastFindColumns(), columns);
  EXPECT_EQ(dlg_.Picks().last().title, QStringLiteral("Idade"));

  dlg_.QueueFind(QStringLiteral("NAME"), QStringLiteral("dois"));
  EXPECT_TRUE(fw::Procura(data_.dataset.get()));
  EXPECT_TRUE(dlg_.LastFindColumns().isEmpty());  // the old call offers every field
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

TEST(FindDialog, ListsTheGivenColumnsInOrderAndSearchesTheChosenOne) {
  AgeGrids g;
  const QList<fw::FindColumn> columns = fw::FindColumnsOf(
      {{&g.male, QStringLiteral("Masculino")}, {&g.female, QStringLiteral("Feminino")}});
  fw::FindDialog dialog(&g.dataset, QStringLiteral("Procurar"), columns);
  dialog.show();
  QStringList labels, fields;
  for (int i = 0; i < dialog.FieldCombo()->count(); ++i) {
    labels << dialog.FieldCombo()->itemText(i);
    fields << dialog.FieldCombo()->itemData(i).toString();
  }
  EXPECT_EQ(labels, Labels(columns));
  EXPECT_EQ(labels.join(QLatin1Char('|')),
            QStringLiteral("Anos|Meses|Peso (Masculino)|Altura (Masculino)|Peso (Feminino)|"
                           "Altura (Feminino)"));
  EXPECT_EQ(fields, FieldNames(columns));

  dialog.FieldCombo()->setCurrentIndex(labels.indexOf(QStringLiteral("Peso (Feminino)")));
  dialog.ValueEdit()->setText(QStringLiteral("8,53"));
  EXPECT_FALSE(dialog.Search());
  EXPECT_EQ(dialog.MessageLabel()->text(), QStringLiteral("Registro não encontrado."));
  dialog.ValueEdit()->setText(QStringLiteral("8,534"));
  EXPECT_TRUE(dialog.Search());
  EXPECT_EQ(g.dataset.RecNo(), 1);
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
