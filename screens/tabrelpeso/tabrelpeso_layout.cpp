// Building the screen: components, pages, grids and menus, each under its
// name. Behaviour is bound separately (tabrelpeso_bind.cpp).

#include "framework/ui/host_services.h"
#include "framework/ui/window_state.h"
#include "model/datasets.h"
#include "model/messages.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "services/local_queries.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QVBoxLayout>

namespace trp::tabrelpeso {

namespace {

fw::Dataset* Build(const char* name, QObject* owner) {
  return model::BuildDataset(model::DatasetSpecByName(QString::fromLatin1(name)), owner);
}

fw::DataSource* Source(const char* name, fw::Dataset* dataset, QObject* owner) {
  auto* source = new fw::DataSource(QLatin1String(name), owner);
  source->SetDataSet(dataset);
  return source;
}

QSplitter* MakeSplitter(const char* name, QWidget* parent) {
  auto* splitter = new QSplitter(Qt::Vertical, parent);
  splitter->setObjectName(QLatin1String(name));
  splitter->setChildrenCollapsible(false);
  return splitter;
}

QWidget* PageBody(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return page;
}

// The sex panel: a bold "Sexo" label and the selector with both sexes.
fw::Panel* MakeSexPanel(const char* panel, const char* label, const char* combo, QWidget* parent,
                        QLabel*& labelOut, fw::ComboBox*& comboOut) {
  auto* pan = new fw::Panel(QLatin1String(panel), parent);
  auto* layout = new QHBoxLayout(pan);
  layout->setContentsMargins(4, 2, 4, 2);
  labelOut = fw::MakeLabel(QLatin1String(label), QStringLiteral("Sexo"), pan, true);
  comboOut = new fw::ComboBox(QLatin1String(combo), pan);
  comboOut->addItems({QStringLiteral("Masculino"), QStringLiteral("Feminino")});
  comboOut->SetItemIndex(0);
  layout->addWidget(labelOut);
  layout->addWidget(comboOut);
  layout->addStretch(1);
  return pan;
}

void PercentileColumns(fw::DBGrid* grid, int nameWidthPixels = 0) {
  const fw::DBGridUpdate batch(grid);
  grid->AddColumn(QStringLiteral("CDPERCENTIL"));
  fw::DBGridColumn& name = grid->AddColumn(QStringLiteral("NMPERCENTIL")).SetReadOnly(true);
  if (nameWidthPixels > 0) name.SetWidthPixels(nameWidthPixels);
}

void AgeColumns(fw::DBGrid* grid, const char* sex) {
  const fw::DBGridUpdate batch(grid);
  grid->AddColumn(QStringLiteral("NRIDADEINI")).SetWidthPixels(44);
  grid->AddColumn(QStringLiteral("NRIDADEFIN")).SetWidthPixels(42);
  for (const char* value :
       {"VRPESO%1IDA", "VRMDPS%1IDA", "VRDPPS%1IDA", "VRALTU%1IDA", "VRMDAT%1IDA", "VRDPAT%1IDA",
        "VRPMCF%1IDA", "VRMDPC%1IDA", "VRDPPC%1IDA"})
    grid->AddColumn(QString::fromLatin1(value).arg(QLatin1String(sex)));
}

void NchsColumns(fw::DBGrid* grid, const char* sex) {
  const fw::DBGridUpdate batch(grid);
  grid->AddColumn(QStringLiteral("VRALTURAN2"));
  for (const char* value : {"VRMEDI%1N2", "VRDVPD%1N2", "VRPESO%1N2"})
    grid->AddColumn(QString::fromLatin1(value).arg(QLatin1String(sex)));
}

}  // namespace

TfrmTabRelPeso::TfrmTabRelPeso(QWidget* parent)
    : fw::TfrmPadraoGrid(QStringLiteral("frmTabRelPeso"), parent),
      netTabRelPeso(new fw::TNetConnection(QStringLiteral("netTabRelPeso"), this)),
      rdm_(*netTabRelPeso) {
  SetCaption(QStringLiteral("Relação Idade/Peso/Altura"));
  SetCodTela(QStringLiteral("Qel53600"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153600);
  resize(513, 306);
  BuildComponents();
  BuildReferencePage();
  BuildAgePage();
  BuildHeightWeightPage();
  BuildNchsPage();
  BuildMenus();
  // One sex's grid replaces the other's at the same place: a column sits
  // at the same spot in both, or a value goes into the wrong column.
  fw::ShareColumnWidths({dbgIdPesAltMasc, dbgIdPesAltFem});
  fw::ShareColumnWidths({dbgPesAltMascNCHS, dbgPesAltFemnNCHS});
  idade_ = {
      tshIdPesAlt,     mnuIdPesAlt,  dbgPercIdade,
      dtsPercIdade,    cdsPercIdade, {dbgIdPesAltMasc, dbgIdPesAltFem},
      dtsIdPesAlt,     cdsIdPesAlt,  {QStringLiteral("NRIDADEINI"), QStringLiteral("NRIDADEFIN")},
      panSexoIdPesAlt, false};
  altura_ = {tshPesAlt,     mnuPesAlt,     dbgPercAltura,
             dtsPercAltura, cdsPercAltura, {dbgPesAlt},
             dtsPesAlt,     cdsPesAlt,     {QStringLiteral("VRALTURA")},
             nullptr,       true};
  nchs_ = {tshPesAltNCHS,
           mnuPesAltNCHS,
           dbgPercAlturaNCHS,
           dtsPercAlturaNCHS,
           cdsPercAlturaNCHS,
           {dbgPesAltMascNCHS, dbgPesAltFemnNCHS},
           dtsPesAltNCHS,
           cdsPesAltNCHS,
           {QStringLiteral("VRALTURAN2")},
           panSexoPesAltNCHS,
           false};
  idade_.sexSelector = cbbSexoIdPesAlt;
  nchs_.sexSelector = cbbSexoPesAltNCHS;
  idade_.grava = &services::RdmTabRelPeso::SetIdPesAlt;
  idade_.recarrega = &services::RdmTabRelPeso::GetPercIdade;
  idade_.ultimoPar = &olePercIdade;
  idade_.cache = QStringLiteral("PESALTIDADE");
  altura_.grava = &services::RdmTabRelPeso::SetPesAlt;
  altura_.recarrega = &services::RdmTabRelPeso::GetPercAltura;
  altura_.ultimoPar = &olePercAltura;
  altura_.cache = QStringLiteral("PESOALTU");
  altura_.validaAltura = &services::RdmTabRelPeso::GetValidaAltura;
  altura_.valida = cdsValidaAltura;
  nchs_.grava = &services::RdmTabRelPeso::SetPesAltNCHS;
  nchs_.recarrega = &services::RdmTabRelPeso::GetPercAlturaNCHS;
  nchs_.ultimoPar = &olePercAlturaNCHS;
  nchs_.cache = QStringLiteral("PEALNCHS2000");
  nchs_.validaAltura = &services::RdmTabRelPeso::GetValidaAlturaNCHS;
  nchs_.valida = cdsValidaAlturaNCHS;
  idade_.regraLista = &TfrmTabRelPeso::dtsPercIdadeStateChange;
  idade_.regraLinhas = &TfrmTabRelPeso::dtsIdPesAltStateChange;
  idade_.filtraLinhas = &TfrmTabRelPeso::cdsPercIdadeAfterScroll;
  idade_.validaPercentil = &TfrmTabRelPeso::Vd_PercIdade;
  altura_.regraLista = &TfrmTabRelPeso::dtsPercAlturaStateChange;
  altura_.regraLinhas = &TfrmTabRelPeso::dtsPesAltStateChange;
  altura_.filtraLinhas = &TfrmTabRelPeso::cdsPercAlturaAfterScroll;
  altura_.validaPercentil = &TfrmTabRelPeso::Vd_PercAltura;
  nchs_.regraLista = &TfrmTabRelPeso::dtsPercAlturaNCHSStateChange;
  nchs_.regraLinhas = &TfrmTabRelPeso::dtsPesAltNCHSStateChange;
  nchs_.filtraLinhas = &TfrmTabRelPeso::cdsPercAlturaNCHSAfterScroll;
  nchs_.validaPercentil = &TfrmTabRelPeso::Vd_PercAlturaNCHS;
  idade_.deleta = &services::RdmTabRelPeso::DeletaIdade;
  altura_.deleta = &services::RdmTabRelPeso::DeletaAltura;
  nchs_.deleta = &services::RdmTabRelPeso::DeletaAlturaNCHS;
  idade_.copia = cdsValidaPercIdade;
  altura_.copia = cdsValidaPercAltura;
  nchs_.copia = cdsValidaPercAlturaNCHS;
  BindHandlers();
  ouvinteCache_ = fw::Host::Instance().AddCacheListener(
      [this](const QStringList& tables) { AtualizaNomes(tables); });
}

QSize TfrmTabRelPeso::FirstOpenSize(const QSize& area) const {
  // Every column of the widest page and as many rows as the area holds.
  return {fw::WidthForAllColumns(*this, 48), area.height()};
}

TfrmTabRelPeso::~TfrmTabRelPeso() {
  fw::Host::Instance().RemoveCacheListener(ouvinteCache_);
  // Nothing of the screen may run while its parts go one by one.
  for (fw::DataSource* source : findChildren<fw::DataSource*>()) source->OnStateChange = nullptr;
  for (fw::Dataset* dataset : findChildren<fw::Dataset*>()) {
    dataset->AfterScroll = nullptr;
    dataset->AfterCancel = nullptr;
    dataset->BeforeInsert = nullptr;
    dataset->BeforeEdit = nullptr;
    dataset->BeforePost = nullptr;
    dataset->AfterPost = nullptr;
    dataset->AfterDelete = nullptr;
  }
  // Unbind the controls before the data sources and datasets they show go.
  for (fw::DBGrid* grid : findChildren<fw::DBGrid*>()) grid->SetDataSource(nullptr);
  dbnPadrao->SetDataSource(nullptr);
  dbtNome->SetDataSource(nullptr);
}

void TfrmTabRelPeso::BuildComponents() {
  netTabRelPeso->SetServerName(QLatin1String(services::kServerName));
  msgPadrao->SetLines(model::TabRelPesoMessages());

  cdsReferencia = Build("cdsReferencia", this);
  cdsPercIdade = Build("cdsPercIdade", this);
  cdsIdPesAlt = Build("cdsIdPesAlt", this);
  cdsPercAltura = Build("cdsPercAltura", this);
  cdsPesAlt = Build("cdsPesAlt", this);
  cdsPercAlturaNCHS = Build("cdsPercAlturaNCHS", this);
  cdsPesAltNCHS = Build("cdsPesAltNCHS", this);
  cdsValidaRefe = Build("cdsValidaRefe", this);
  cdsValidaIdade = Build("cdsValidaIdade", this);
  cdsValidaAltura = Build("cdsValidaAltura", this);
  cdsValidaAlturaNCHS = Build("cdsValidaAlturaNCHS", this);
  cdsValidaPercIdade = Build("cdsValidaPercIdade", this);
  cdsValidaPercAltura = Build("cdsValidaPercAltura", this);
  cdsValidaPercAlturaNCHS = Build("cdsValidaPercAlturaNCHS", this);

  qryPesqRefe =
      services::BuildQuery(model::Screen::TabRelPeso, QStringLiteral("qryPesqRefe"), this);
  qryPesqPercentil =
      services::BuildQuery(model::Screen::TabRelPeso, QStringLiteral("qryPesqPercentil"), this);

  dtsPadrao->SetDataSet(cdsReferencia);
  dtsReferencia = Source("dtsReferencia", nullptr, this);
  dtsPercIdade = Source("dtsPercIdade", cdsPercIdade, this);
  dtsIdPesAlt = Source("dtsIdPesAlt", cdsIdPesAlt, this);
  dtsPercAltura = Source("dtsPercAltura", cdsPercAltura, this);
  dtsPesAlt = Source("dtsPesAlt", cdsPesAlt, this);
  dtsPercAlturaNCHS = Source("dtsPercAlturaNCHS", cdsPercAlturaNCHS, this);
  dtsPesAltNCHS = Source("dtsPesAltNCHS", cdsPesAltNCHS, this);
  dtsPesqReferencia = Source("dtsPesqReferencia", qryPesqRefe->DataSet(), this);
  dtsPesqPercentil = Source("dtsPesqPercentil", qryPesqPercentil->DataSet(), this);

  // The navigator and the name display start on dtsReferencia, which has no
  // dataset: both stay empty until the first page change. Then the name
  // display follows the current reference (dtsReferencia gets its dataset).
  dbnPadrao->SetDataSource(dtsReferencia);
  dbtNome = new fw::DBText(QStringLiteral("dbtNome"), panNavigator);
  QFont bold = dbtNome->font();
  bold.setBold(true);
  dbtNome->setFont(bold);
  dbtNome->SetDataSource(dtsReferencia);
  dbtNome->SetDataField(QStringLiteral("NMREFEBIBL"));
  dbtNome->SetCodeField(QStringLiteral("CDREFEBIBL"));
  auto* nav = static_cast<QHBoxLayout*>(panNavigator->layout());
  nav->insertWidget(nav->indexOf(dbnPadrao) + 1, dbtNome, 1);
}

fw::DBGrid* TfrmTabRelPeso::MakeTableGrid(const QString& name, QWidget* parent,
                                          fw::DataSource* source,
                                          const std::function<void(fw::DBGrid*)>& columns) {
  auto* grid = new fw::DBGrid(name, parent);
  // Binding and columns in one update: otherwise the grid first lays out a
  // column per field, then again per declared column.
  const fw::DBGridUpdate batch(grid);
  grid->SetDataSource(source);
  columns(grid);
  grid->SetConfirmDelete(true);
  grid->SetInfoBackground(true);
  grid->SetBorderless(true);
  return grid;
}

void TfrmTabRelPeso::BuildReferencePage() {
  tshPadrao->SetCaption(QStringLiteral("Referência"));
  dbgPadrao->SetConfirmDelete(true);
  const fw::DBGridUpdate batch(dbgPadrao);
  dbgPadrao->AddColumn(QStringLiteral("CDREFEBIBL"));
  dbgPadrao->AddColumn(QStringLiteral("NMREFEBIBL")).SetReadOnly(true);
}

void TfrmTabRelPeso::BuildAgePage() {
  tshIdPesAlt =
      pgcPadrao->AddPage(QStringLiteral("tshIdPesAlt"), QStringLiteral("Idade/Peso/Altura"));
  PageBody(tshIdPesAlt);
  Splitter1 = MakeSplitter("Splitter1", tshIdPesAlt);
  tshIdPesAlt->layout()->addWidget(Splitter1);

  dbgPercIdade = MakeTableGrid(QStringLiteral("dbgPercIdade"), Splitter1, dtsPercIdade,
                               [](fw::DBGrid* grid) { PercentileColumns(grid, 214); });
  dbgPercIdade->SetCancelOnExit(true);

  auto* lower = new QWidget(Splitter1);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->setSpacing(0);
  panSexoIdPesAlt = MakeSexPanel("panSexoIdPesAlt", "lblSexoIdPesAlt", "cbbSexoIdPesAlt", lower,
                                 lblSexoIdPesAlt, cbbSexoIdPesAlt);
  nbkIdPesAlt = new fw::Notebook(QStringLiteral("nbkIdPesAlt"), lower);
  lowerLayout->addWidget(panSexoIdPesAlt);
  lowerLayout->addWidget(nbkIdPesAlt, 1);

  QWidget* masc = PageBody(nbkIdPesAlt->AddPage(QStringLiteral("pgMasculino")));
  dbgIdPesAltMasc = MakeTableGrid(QStringLiteral("dbgIdPesAltMasc"), masc, dtsIdPesAlt,
                                  [](fw::DBGrid* grid) { AgeColumns(grid, "MAS"); });
  masc->layout()->addWidget(dbgIdPesAltMasc);
  QWidget* fem = PageBody(nbkIdPesAlt->AddPage(QStringLiteral("pgFeminino")));
  dbgIdPesAltFem = MakeTableGrid(QStringLiteral("dbgIdPesAltFem"), fem, dtsIdPesAlt,
                                 [](fw::DBGrid* grid) { AgeColumns(grid, "FEM"); });
  fem->layout()->addWidget(dbgIdPesAltFem);
  nbkIdPesAlt->SetActivePage(QStringLiteral("pgMasculino"));

  Splitter1->addWidget(dbgPercIdade);
  Splitter1->addWidget(lower);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({73, 200});
}

void TfrmTabRelPeso::BuildHeightWeightPage() {
  tshPesAlt = pgcPadrao->AddPage(QStringLiteral("tshPesAlt"), QStringLiteral("Peso/Altura"));
  PageBody(tshPesAlt);
  Splitter2 = MakeSplitter("Splitter2", tshPesAlt);
  tshPesAlt->layout()->addWidget(Splitter2);

  dbgPercAltura = MakeTableGrid(QStringLiteral("dbgPercAltura"), Splitter2, dtsPercAltura,
                                [](fw::DBGrid* grid) { PercentileColumns(grid); });
  dbgPercAltura->SetCancelOnExit(true);

  dbgPesAlt =
      MakeTableGrid(QStringLiteral("dbgPesAlt"), Splitter2, dtsPesAlt, [](fw::DBGrid* grid) {
        grid->AddColumn(QStringLiteral("VRALTURA"))
            .SetTitleAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->AddColumn(QStringLiteral("VRPESOMASALT"))
            .SetTitleAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->AddColumn(QStringLiteral("VRPESOFEMALT"));
      });

  Splitter2->addWidget(dbgPercAltura);
  Splitter2->addWidget(dbgPesAlt);
  Splitter2->setStretchFactor(1, 1);
  Splitter2->setSizes({73, 200});
}

void TfrmTabRelPeso::BuildNchsPage() {
  tshPesAltNCHS = pgcPadrao->AddPage(QStringLiteral("tshPesAltNCHS"),
                                     QStringLiteral("Peso/Altura (NCHS 2000)"));
  PageBody(tshPesAltNCHS);
  Splitter3 = MakeSplitter("Splitter3", tshPesAltNCHS);
  tshPesAltNCHS->layout()->addWidget(Splitter3);

  dbgPercAlturaNCHS =
      MakeTableGrid(QStringLiteral("dbgPercAlturaNCHS"), Splitter3, dtsPercAlturaNCHS,
                    [](fw::DBGrid* grid) { PercentileColumns(grid); });
  dbgPercAlturaNCHS->SetCancelOnExit(true);

  auto* lower = new QWidget(Splitter3);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->setSpacing(0);
  panSexoPesAltNCHS = MakeSexPanel("panSexoPesAltNCHS", "lblSexoPesAltNCHS", "cbbSexoPesAltNCHS",
                                   lower, lblSexoPesAltNCHS, cbbSexoPesAltNCHS);
  nbkPesAltNCHS = new fw::Notebook(QStringLiteral("nbkPesAltNCHS"), lower);
  lowerLayout->addWidget(panSexoPesAltNCHS);
  lowerLayout->addWidget(nbkPesAltNCHS, 1);

  QWidget* masc = PageBody(nbkPesAltNCHS->AddPage(QStringLiteral("pgMasculinoNCHS")));
  dbgPesAltMascNCHS = MakeTableGrid(QStringLiteral("dbgPesAltMascNCHS"), masc, dtsPesAltNCHS,
                                    [](fw::DBGrid* grid) { NchsColumns(grid, "MAS"); });
  masc->layout()->addWidget(dbgPesAltMascNCHS);
  QWidget* fem = PageBody(nbkPesAltNCHS->AddPage(QStringLiteral("pgFemininoNCHS")));
  dbgPesAltFemnNCHS = MakeTableGrid(QStringLiteral("dbgPesAltFemnNCHS"), fem, dtsPesAltNCHS,
                                    [](fw::DBGrid* grid) { NchsColumns(grid, "FEM"); });
  fem->layout()->addWidget(dbgPesAltFemnNCHS);
  nbkPesAltNCHS->SetActivePage(QStringLiteral("pgMasculinoNCHS"));

  Splitter3->addWidget(dbgPercAlturaNCHS);
  Splitter3->addWidget(lower);
  Splitter3->setStretchFactor(1, 1);
  Splitter3->setSizes({73, 200});
}

void TfrmTabRelPeso::BuildMenus() {
  mnuReferncia =
      InsertMenuItem(mnuOperacao, QStringLiteral("mnuReferncia"), QStringLiteral("&Referência"), 0);
  mnuIdPesAlt = InsertMenuItem(mnuOperacao, QStringLiteral("mnuIdPesAlt"),
                               QStringLiteral("Idade/Peso/Altua"), 1);
  mnuPesAlt =
      InsertMenuItem(mnuOperacao, QStringLiteral("mnuPesAlt"), QStringLiteral("Peso/Altura"), 2);
  mnuPesAltNCHS = InsertMenuItem(mnuOperacao, QStringLiteral("mnuPesAltNCHS"),
                                 QStringLiteral("Peso/Altura (NCHS 2000)"), 3);
  InsertMenuSeparator(mnuOperacao, 4);
  for (QAction* item : {mnuReferncia, mnuIdPesAlt, mnuPesAlt, mnuPesAltNCHS})
    item->setCheckable(true);

  InsertMenuSeparator(mnuManutencao);
  mnuCopiar = InsertMenuItem(mnuManutencao, QStringLiteral("mnuCopiar"),
                             QStringLiteral("Ca&dastramento Automático"));
  mnuCopiar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  mnuCopiar->setEnabled(false);
  MarkChangingAction(mnuCopiar);
  sbtCopiar = AddToolButton(QStringLiteral("sbtCopiar"), QStringLiteral("Cadastramento Automático"),
                            mnuCopiar, QStringLiteral("sbtImprimir"));
  sbtCopiar->setAutoRaise(true);
  sbtCopiar->setFixedSize(21, 21);

  // The curves of the active table, beside Imprimir.
  mnuGrafico = InsertMenuItem(mnuManutencao, QStringLiteral("mnuGrafico"),
                              QStringLiteral("&Gráfico das curvas"));
  mnuGrafico->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  sbtGrafico = AddToolButton(QStringLiteral("sbtGrafico"),
                             QStringLiteral("Gráfico das curvas da tabela (Ctrl+G)"), mnuGrafico,
                             QStringLiteral("sbtAjuda"));
  BuildHistory();
  BuildExport();
}

}  // namespace trp::tabrelpeso
