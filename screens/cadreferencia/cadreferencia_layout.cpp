// The screen's controls, datasets and bindings, and its two pages.

#include "framework/ui/guard.h"
#include "framework/ui/host_services.h"
#include "screens/cadreferencia/cadreferencia_form.h"
#include "services/rdm_tabrelpeso.h"

#include <QVBoxLayout>

namespace trp::cadreferencia {

namespace {

// Code fields carry an odd tag: typed only into a new record.
constexpr int kKeyFieldTag = 1;

struct FieldSpec {
  const char* name;
  fw::FieldType type;
  int size;
  const char* label;
};

fw::Dataset* Build(const char* name, std::initializer_list<FieldSpec> fields, QObject* owner) {
  auto* ds = new fw::Dataset(QLatin1String(name), owner);
  QList<fw::FieldDef> defs;
  for (const FieldSpec& f : fields) {
    const fw::FieldDef def{QLatin1String(f.name), f.type, f.size};
    fw::Field* field = ds->AddField(def);
    field->SetDisplayLabel(QString::fromUtf8(f.label));
    defs << def;
  }
  ds->FieldByName(ds->Fields().first()->FieldName())->SetTag(kKeyFieldTag);
  ds->SetData(fw::DataPacket(defs));
  return ds;
}

}  // namespace

TfrmCadReferencia::TfrmCadReferencia(QWidget* parent)
    : fw::TfrmPadraoGrid(QStringLiteral("frmCadReferencia"), parent),
      netCadReferencia(new fw::TNetConnection(QStringLiteral("netCadReferencia"), this)),
      rdm_(*netCadReferencia) {
  SetCaption(QStringLiteral("Referências Bibliográficas e Percentis"));
  SetCodTela(QStringLiteral("Qel53610"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153610);
  resize(620, 420);
  netCadReferencia->SetServerName(QLatin1String(services::kServerName));
  msgPadrao->SetLines({QStringLiteral("Cod_Deve|Código deve ser informado."),
                       QStringLiteral("Nome_Deve|Nome deve ser informado.")});
  cdsReferencia = Build("cdsReferencia",
                        {{"CDREFEBIBL", fw::FieldType::String, 2, "Código"},
                         {"NMREFEBIBL", fw::FieldType::String, 60, "Nome"},
                         {"DSCITACAO", fw::FieldType::String, 4000, "Citação"},
                         {"DSFONTE", fw::FieldType::String, 4000, "Fonte"},
                         {"DSLICENCA", fw::FieldType::String, 4000, "Licença"}},
                        this);
  cdsPercentil = Build("cdsPercentil",
                       {{"CDPERCENTIL", fw::FieldType::String, 3, "Código"},
                        {"NMPERCENTIL", fw::FieldType::String, 30, "Nome"},
                        {"VRPERCENTIL", fw::FieldType::Float, 0, "Valor"}},
                       this);
  dtsPadrao->SetDataSet(cdsReferencia);
  dtsPercentil = new fw::DataSource(QStringLiteral("dtsPercentil"), this);
  dtsPercentil->SetDataSet(cdsPercentil);
  BuildPages();
  BindHandlers();
}

TfrmCadReferencia::~TfrmCadReferencia() {
  dtsPadrao->OnStateChange = nullptr;
  dtsPercentil->OnStateChange = nullptr;
  for (fw::Dataset* ds : {cdsReferencia, cdsPercentil}) {
    ds->BeforeEdit = nullptr;
    ds->BeforePost = nullptr;
    ds->AfterPost = nullptr;
    disconnect(ds, nullptr, this, nullptr);
  }
  dbgPercentil->SetDataSource(nullptr);
}

void TfrmCadReferencia::BuildPages() {
  tshPadrao->SetCaption(QStringLiteral("Referências"));
  {
    const fw::DBGridUpdate batch(dbgPadrao);
    dbgPadrao->AddColumn(QStringLiteral("CDREFEBIBL")).SetWidthChars(6);
    dbgPadrao->AddColumn(QStringLiteral("NMREFEBIBL")).SetWidthChars(36);
    dbgPadrao->AddColumn(QStringLiteral("DSFONTE")).SetWidthChars(20);
    dbgPadrao->AddColumn(QStringLiteral("DSLICENCA")).SetWidthChars(14);
  }
  lblCitacao = fw::MakeLabel(QStringLiteral("lblCitacao"), QStringLiteral("Citação"), tshPadrao);
  memCitacao = new QPlainTextEdit(tshPadrao);
  memCitacao->setObjectName(QStringLiteral("memCitacao"));
  memCitacao->setTabChangesFocus(true);
  memCitacao->setReadOnly(true);
  memCitacao->setMaximumHeight(90);
  lblCitacao->setBuddy(memCitacao);
  tshPadrao->layout()->addWidget(lblCitacao);
  tshPadrao->layout()->addWidget(memCitacao);

  tshPercentil = pgcPadrao->AddPage(QStringLiteral("tshPercentil"), QStringLiteral("Percentis"));
  auto* layout = new QVBoxLayout(tshPercentil);
  layout->setContentsMargins(2, 2, 2, 2);
  dbgPercentil = new fw::DBGrid(QStringLiteral("dbgPercentil"), tshPercentil);
  {
    const fw::DBGridUpdate batch(dbgPercentil);
    dbgPercentil->SetDataSource(dtsPercentil);
    dbgPercentil->AddColumn(QStringLiteral("CDPERCENTIL")).SetWidthChars(6);
    dbgPercentil->AddColumn(QStringLiteral("NMPERCENTIL")).SetWidthChars(30);
    dbgPercentil->AddColumn(QStringLiteral("VRPERCENTIL")).SetWidthChars(8);
  }
  layout->addWidget(dbgPercentil);
  pgcPadrao->SetActivePage(tshPadrao);
}

void TfrmCadReferencia::BindHandlers() {
  netCadReferencia->BeforeConnect = [](fw::TNetConnection& net) {
    net.SetHost(fw::WebURL());
    net.SetPort(fw::WebPort());
    net.SetToken(fw::Host::Instance().Token());
  };
  dtsPercentil->OnStateChange = [this](fw::DataSource* source) { dtsPadraoStateChange(source); };
  pgcPadrao->OnChange = [this](fw::PageControl* pages) { pgcPadraoChange(pages); };
  for (fw::DBGrid* grid : {dbgPadrao, dbgPercentil}) {
    grid->OnColExit = [this](fw::DBGrid* g) { CodeColExit(g); };
    grid->OnDeleteRecord = [this](fw::DBGrid* g) { sbtExcluirClick(g); };
  }
  dbgPercentil->OnKeyPress = [this](fw::DBGrid* g, QChar& key) { dbgPadraoKeyPress(g, key); };
  cdsReferencia->BeforeEdit = [this](fw::Dataset& ds) { cdsReferenciaBeforeEdit(ds); };
  cdsReferencia->BeforePost = [this](fw::Dataset& ds) { cdsReferenciaBeforePost(ds); };
  cdsReferencia->AfterPost = [this](fw::Dataset& ds) { AfterChange(ds); };
  cdsPercentil->BeforeEdit = [this](fw::Dataset& ds) { cdsPercentilBeforeEdit(ds); };
  cdsPercentil->BeforePost = [this](fw::Dataset& ds) { cdsPercentilBeforePost(ds); };
  cdsPercentil->AfterPost = [this](fw::Dataset& ds) { AfterChange(ds); };
  // The citation follows the current reference and its state.
  connect(cdsReferencia, &fw::Dataset::currentChanged, this, [this] { ShowCitation(); });
  connect(cdsReferencia, &fw::Dataset::contentReset, this, [this] { ShowCitation(); });
  connect(cdsReferencia, &fw::Dataset::stateChanged, this, [this] { ShowCitation(); });
  connect(memCitacao, &QPlainTextEdit::textChanged, this,
          [this] { fw::Guard([this] { memCitacaoChanged(); }); });
}

fw::Dataset* TfrmCadReferencia::ActiveDataset() const {
  return pgcPadrao->ActivePage() == tshPercentil ? cdsPercentil : cdsReferencia;
}

void TfrmCadReferencia::ShowPage(bool percentiles) {
  if (AnyDatasetEditing()) return;
  pgcPadrao->SetActivePage(percentiles ? tshPercentil : tshPadrao);
  dtsPadraoStateChange(nullptr);
  SetActiveControl(percentiles ? dbgPercentil : dbgPadrao);
}

void TfrmCadReferencia::pgcPadraoChange(QObject*) {
  dtsPadraoStateChange(nullptr);
  SetActiveControl(ActiveDataset() == cdsPercentil ? dbgPercentil : dbgPadrao);
}

void TfrmCadReferencia::dtsPadraoStateChange(QObject*) {
  auto editing = [](const fw::Dataset* ds) {
    return ds->State() == fw::DatasetState::Edit || ds->State() == fw::DatasetState::Insert;
  };
  const fw::Dataset* ds = ActiveDataset();
  // The navigator moves through the list shown.
  fw::DataSource* shown = ds == cdsPercentil ? dtsPercentil : dtsPadrao;
  if (dbnPadrao->DataSource() != shown) dbnPadrao->SetDataSource(shown);
  const bool browse = ds->State() == fw::DatasetState::Browse;
  const bool rows = browse && !ds->IsEmpty();
  Twin(QStringLiteral("sbtIncluir"))->setEnabled(browse);
  for (const char* op : {"sbtAlterar", "sbtExcluir", "sbtProcurar"})
    Twin(QLatin1String(op))->setEnabled(rows);
  Twin(QStringLiteral("sbtVerificar"))->setEnabled(false);
  Twin(QStringLiteral("sbtImprimir"))->setEnabled(false);
  Twin(QStringLiteral("sbtConfirmar"))->setEnabled(editing(ds));
  Twin(QStringLiteral("sbtCancelar"))->setEnabled(editing(ds));
  // One entry at a time: the other page waits while one is typed.
  tshPercentil->setEnabled(!editing(cdsReferencia));
  tshPadrao->setEnabled(!editing(cdsPercentil));
}

void TfrmCadReferencia::ShowCitation() {
  const bool editing = cdsReferencia->State() == fw::DatasetState::Edit ||
                       cdsReferencia->State() == fw::DatasetState::Insert;
  const QString text = cdsReferencia->IsEmpty() && !editing
                           ? QString()
                           : cdsReferencia->FieldByName(u"DSCITACAO")->AsString();
  if (memCitacao->toPlainText() != text) {
    showingCitation_ = true;
    memCitacao->setPlainText(text);
    showingCitation_ = false;
  }
  memCitacao->setReadOnly(!editing);
}

void TfrmCadReferencia::memCitacaoChanged() {
  if (showingCitation_) return;
  if (cdsReferencia->State() != fw::DatasetState::Edit &&
      cdsReferencia->State() != fw::DatasetState::Insert)
    return;
  cdsReferencia->FieldByName(u"DSCITACAO")->SetAsString(memCitacao->toPlainText());
}

}  // namespace trp::cadreferencia
