// The screen's controls under their names, with captions, columns, menus and
// grid options. No server needed: the screen is only built.

#include "framework/ui/dbgrid.h"
#include "model/messages.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "tests/screens/screen_fixture.h"

#include <QKeySequence>
#include <QLayout>
#include <QMenu>

using trp::tabrelpeso::TfrmTabRelPeso;

namespace screentest {
namespace {

class Layout : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    screen_.reset(fw::CreateForm<TfrmTabRelPeso>());
  }
  void TearDown() override {
    screen_.reset();
    ScreenTest::TearDown();
  }
  template <class T>
  T* Named(const char* name) const {
    return screen_->findChild<T*>(QLatin1String(name));
  }
  std::unique_ptr<TfrmTabRelPeso> screen_;
};

TEST_F(Layout, ScreenPropertiesAndComponentsByName) {
  EXPECT_EQ(screen_->objectName(), QStringLiteral("frmTabRelPeso"));
  EXPECT_EQ(screen_->windowTitle(), QStringLiteral("Relação Idade/Peso/Altura"));
  EXPECT_EQ(screen_->lblCodTela->text(), QStringLiteral("Qel53600"));
  EXPECT_EQ(screen_->HelpFile(), QStringLiteral("Qelhelp.hlp"));
  EXPECT_EQ(screen_->HelpContext(), 11153600);
  for (const char* name : {"cdsReferencia", "cdsPercIdade", "cdsIdPesAlt", "cdsPercAltura",
                           "cdsPesAlt", "cdsPercAlturaNCHS", "cdsPesAltNCHS", "cdsValidaRefe",
                           "cdsValidaIdade", "cdsValidaAltura", "cdsValidaAlturaNCHS",
                           "cdsValidaPercIdade", "cdsValidaPercAltura", "cdsValidaPercAlturaNCHS"})
    EXPECT_NE(Named<fw::Dataset>(name), nullptr) << name;
  for (const char* name : {"qryPesqRefe", "qryPesqPercentil"})
    EXPECT_NE(Named<fw::TADOIBQuery>(name), nullptr) << name;
  const QList<QPair<const char*, QObject*>> sources{
      {"dtsPadrao", screen_->cdsReferencia},
      {"dtsReferencia", nullptr},
      {"dtsPercIdade", screen_->cdsPercIdade},
      {"dtsIdPesAlt", screen_->cdsIdPesAlt},
      {"dtsPercAltura", screen_->cdsPercAltura},
      {"dtsPesAlt", screen_->cdsPesAlt},
      {"dtsPercAlturaNCHS", screen_->cdsPercAlturaNCHS},
      {"dtsPesAltNCHS", screen_->cdsPesAltNCHS},
      {"dtsPesqReferencia", screen_->qryPesqRefe->DataSet()},
      {"dtsPesqPercentil", screen_->qryPesqPercentil->DataSet()}};
  for (const auto& [name, dataset] : sources) {
    auto* source = Named<fw::DataSource>(name);
    ASSERT_NE(source, nullptr) << name;
    EXPECT_EQ(source->DataSet(), dataset) << name;
  }
  EXPECT_NE(Named<fw::TNetConnection>("netTabRelPeso"), nullptr);
  EXPECT_EQ(screen_->msgPadrao->Lines(), trp::model::TabRelPesoMessages());
  EXPECT_TRUE(screen_->msgMensagensPadroes->HasKey(QStringLiteral("Canc")));
  for (const char* name : {"Splitter1", "Splitter2", "Splitter3"})
    EXPECT_NE(Named<QSplitter>(name), nullptr) << name;
  // Before the first page change the navigator and the name show nothing.
  EXPECT_EQ(screen_->dbnPadrao->DataSource(), screen_->dtsReferencia);
  EXPECT_EQ(screen_->dbtNome->DataField(), QStringLiteral("NMREFEBIBL"));
}

TEST_F(Layout, PagesInOrderWithCaptions) {
  const QStringList names{"tshPadrao", "tshIdPesAlt", "tshPesAlt", "tshPesAltNCHS"};
  const QStringList captions{"Referência", "Idade/Peso/Altura", "Peso/Altura",
                             "Peso/Altura (NCHS 2000)"};
  ASSERT_EQ(screen_->pgcPadrao->PageCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(screen_->pgcPadrao->Page(i)->objectName(), names[i]);
    EXPECT_EQ(screen_->pgcPadrao->Page(i)->Caption(), captions[i]);
  }
  EXPECT_EQ(screen_->pgcPadrao->ActivePage(), screen_->tshPadrao);
  const QStringList nbkAge{"pgMasculino", "pgFeminino"};
  for (const QString& page : nbkAge) EXPECT_NE(screen_->nbkIdPesAlt->Page(page), nullptr);
  for (const QString& page : {QStringLiteral("pgMasculinoNCHS"), QStringLiteral("pgFemininoNCHS")})
    EXPECT_NE(screen_->nbkPesAltNCHS->Page(page), nullptr);
  for (fw::ComboBox* combo : {screen_->cbbSexoIdPesAlt, screen_->cbbSexoPesAltNCHS}) {
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("Masculino"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("Feminino"));
    EXPECT_FALSE(combo->isEditable());
  }
  for (QLabel* label : {screen_->lblSexoIdPesAlt, screen_->lblSexoPesAltNCHS}) {
    EXPECT_EQ(label->text(), QStringLiteral("Sexo"));
    EXPECT_TRUE(label->font().bold());
  }
}

TEST_F(Layout, GridColumnsInOrderWithWidthsAndFlags) {
  struct Column {
    QByteArray field;
    int widthPixels;
    bool readOnly;
    bool titleRight;
  };
  struct Grid {
    const char* name;
    const char* source;
    QList<Column> columns;
  };
  const QList<Column> perc{{"CDPERCENTIL", 0, false, false}, {"NMPERCENTIL", 0, true, false}};
  auto age = [](const char* sex) {
    QList<Column> c{{"NRIDADEINI", 44, false, false}, {"NRIDADEFIN", 42, false, false}};
    for (const char* v :
         {"VRPESO", "VRMDPS", "VRDPPS", "VRALTU", "VRMDAT", "VRDPAT", "VRPMCF", "VRMDPC", "VRDPPC"})
      c << Column{QByteArray(v) + sex + "IDA", 0, false, false};
    return c;
  };
  const QList<Grid> grids{
      {"dbgPadrao", "dtsPadrao", {{"CDREFEBIBL", 0, false, false}, {"NMREFEBIBL", 0, true, false}}},
      {"dbgPercIdade",
       "dtsPercIdade",
       {{"CDPERCENTIL", 0, false, false}, {"NMPERCENTIL", 214, true, false}}},
      {"dbgIdPesAltMasc", "dtsIdPesAlt", age("MAS")},
      {"dbgIdPesAltFem", "dtsIdPesAlt", age("FEM")},
      {"dbgPercAltura", "dtsPercAltura", perc},
      {"dbgPesAlt",
       "dtsPesAlt",
       {{"VRALTURA", 0, false, true},
        {"VRPESOMASALT", 0, false, true},
        {"VRPESOFEMALT", 0, false, false}}},
      {"dbgPercAlturaNCHS", "dtsPercAlturaNCHS", perc},
      {"dbgPesAltMascNCHS",
       "dtsPesAltNCHS",
       {{"VRALTURAN2", 0, false, false},
        {"VRMEDIMASN2", 0, false, false},
        {"VRDVPDMASN2", 0, false, false},
        {"VRPESOMASN2", 0, false, false}}},
      {"dbgPesAltFemnNCHS",
       "dtsPesAltNCHS",
       {{"VRALTURAN2", 0, false, false},
        {"VRMEDIFEMN2", 0, false, false},
        {"VRDVPDFEMN2", 0, false, false},
        {"VRPESOFEMN2", 0, false, false}}}};
  for (const Grid& g : grids) {
    auto* grid = Named<fw::DBGrid>(g.name);
    ASSERT_NE(grid, nullptr) << g.name;
    EXPECT_EQ(grid->DataSource()->objectName(), QLatin1String(g.source)) << g.name;
    ASSERT_EQ(grid->ColumnCount(), g.columns.size()) << g.name;
    for (int i = 0; i < g.columns.size(); ++i) {
      const fw::DBGridColumn* c = grid->Column(i);
      const Column& want = g.columns[i];
      EXPECT_EQ(c->FieldName(), QString::fromLatin1(want.field)) << g.name << " " << i;
      if (want.widthPixels) {
        EXPECT_EQ(c->WidthPixels(), want.widthPixels) << want.field.constData();
      }
      EXPECT_EQ(c->ReadOnly(), want.readOnly) << g.name << " " << want.field.constData();
      EXPECT_EQ(bool(c->TitleAlignment() & Qt::AlignRight), want.titleRight)
          << want.field.constData();
    }
    const bool addedPage = QByteArray(g.name) != "dbgPadrao";
    EXPECT_EQ(grid->InfoBackground(), addedPage) << g.name;
    EXPECT_TRUE(grid->ConfirmDelete()) << g.name;
    EXPECT_FALSE(grid->ReadOnly()) << g.name;
    EXPECT_EQ(grid->CancelOnExit(), QByteArray(g.name).startsWith("dbgPerc")) << g.name;
  }
}

TEST_F(Layout, MenusAndTheCopyButton) {
  const QList<QAction*> op = screen_->mnuOperacao->actions();
  ASSERT_GE(op.size(), 5);
  const QStringList names{"mnuReferncia", "mnuIdPesAlt", "mnuPesAlt", "mnuPesAltNCHS"};
  const QStringList texts{"&Referência", "Idade/Peso/Altua", "Peso/Altura",
                          "Peso/Altura (NCHS 2000)"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(op[i]->objectName(), names[i]);
    EXPECT_EQ(op[i]->text(), texts[i]);
    EXPECT_TRUE(op[i]->isCheckable());
  }
  EXPECT_TRUE(op[4]->isSeparator());
  const QList<QAction*> man = screen_->mnuManutencao->actions();
  ASSERT_GE(man.size(), 2);
  // The copy after a separator, then the curves.
  ASSERT_GE(man.size(), 3);
  EXPECT_EQ(man.last(), screen_->mnuGrafico);
  EXPECT_EQ(man[man.size() - 2], screen_->mnuCopiar);
  EXPECT_TRUE(man[man.size() - 3]->isSeparator());
  EXPECT_EQ(screen_->mnuGrafico->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
  EXPECT_EQ(screen_->mnuCopiar->objectName(), QStringLiteral("mnuCopiar"));
  EXPECT_EQ(screen_->mnuCopiar->text(), QStringLiteral("Ca&dastramento Automático"));
  EXPECT_EQ(screen_->mnuCopiar->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));

  QToolButton* copiar = screen_->ToolButton(QStringLiteral("sbtCopiar"));
  ASSERT_EQ(copiar, screen_->sbtCopiar);
  EXPECT_EQ(copiar->defaultAction(), screen_->mnuCopiar);
  EXPECT_EQ(copiar->toolTip(), QStringLiteral("Cadastramento Automático"));
  EXPECT_FALSE(copiar->isEnabled());
  EXPECT_TRUE(copiar->autoRaise());
  EXPECT_EQ(copiar->size(), QSize(21, 21));
  // Left of the print button.
  auto* bar = screen_->panMenu->layout();
  EXPECT_EQ(bar->indexOf(copiar) + 1,
            bar->indexOf(screen_->ToolButton(QStringLiteral("sbtImprimir"))));
}

}  // namespace
}  // namespace screentest
