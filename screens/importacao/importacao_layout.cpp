// The wizard's controls and their binding.

#include "framework/ui/guard.h"
#include "screens/importacao/importacao_form.h"
#include "services/rdm_tabrelpeso.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QVBoxLayout>

namespace trp::importacao {

namespace {

QLineEdit* Edit(const char* name, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  return e;
}

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QLatin1String(name));
  return b;
}

}  // namespace

TfrmImportacao::TfrmImportacao(QWidget* parent)
    : fw::TfrmPadraoGrid(QStringLiteral("frmImportacao"), parent),
      netImportacao(new fw::TNetConnection(QStringLiteral("netImportacao"), this)) {
  SetCaption(QStringLiteral("Importação de tabela"));
  SetCodTela(QStringLiteral("Qel53612"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153612);
  netImportacao->SetServerName(QLatin1String(services::kServerName));
  for (const char* op : {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar",
                         "sbtConfirmar", "sbtCancelar", "sbtImprimir"}) {
    ToolButton(QLatin1String(op))->setVisible(false);
    Twin(QLatin1String(op))->setVisible(false);
  }
  AddToolButton(QStringLiteral("sbtImportar"),
                QStringLiteral("Gravar a prévia na referência, numa só transação auditada"),
                nullptr, QStringLiteral("sbtAjuda"));
  Twin(QStringLiteral("sbtImportar"))->setText(QStringLiteral("Importar"));
  // The wizard's last step: its name beside the drawn letter.
  ToolButton(QStringLiteral("sbtImportar"))->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  MarkChangingAction(Twin(QStringLiteral("sbtImportar")));
  tshPadrao->SetCaption(QStringLiteral("Prévia"));
  panNavigator->setVisible(false);
  dbgPadrao->setVisible(false);

  auto* arquivo = new QGroupBox(QStringLiteral("1. Arquivo"), tshPadrao);
  arquivo->setObjectName(QStringLiteral("grbArquivo"));
  auto* a = new QHBoxLayout(arquivo);
  edtArquivo = Edit("edtArquivo", arquivo);
  edtArquivo->setReadOnly(true);
  btnAbrir = Button("btnAbrir", QStringLiteral("A&brir planilha..."), arquivo);
  btnColar = Button("btnColar", QStringLiteral("Co&lar"), arquivo);
  btnColar->setToolTip(QStringLiteral("Células copiadas de uma planilha (área de transferência)"));
  cbbPlanilha = new fw::ComboBox(QStringLiteral("cbbPlanilha"), arquivo);
  cbbPlanilha->setMinimumWidth(160);
  a->addWidget(edtArquivo, 1);
  a->addWidget(btnAbrir);
  a->addWidget(btnColar);
  a->addWidget(new QLabel(QStringLiteral("Planilha"), arquivo));
  a->addWidget(cbbPlanilha);

  auto* colunas = new QGroupBox(QStringLiteral("2. Colunas"), tshPadrao);
  colunas->setObjectName(QStringLiteral("grbColunas"));
  auto* c = new QGridLayout(colunas);
  cbbTabela = new fw::ComboBox(QStringLiteral("cbbTabela"), colunas);
  cbbTabela->addItems({QStringLiteral("Idade/Peso/Altura"), QStringLiteral("Peso/Altura"),
                       QStringLiteral("Peso/Altura (NCHS 2000)")});
  cbbChave = new fw::ComboBox(QStringLiteral("cbbChave"), colunas);
  cbbChave->addItems({QStringLiteral("Idade em anos e meses"), QStringLiteral("Idade em meses"),
                      QStringLiteral("Idade em dias"), QStringLiteral("Altura em cm")});
  cbbMedida = new fw::ComboBox(QStringLiteral("cbbMedida"), colunas);
  cbbMedida->addItems(
      {QStringLiteral("Peso"), QStringLiteral("Estatura"), QStringLiteral("Perímetro cefálico")});
  cbbSexo = new fw::ComboBox(QStringLiteral("cbbSexo"), colunas);
  cbbSexo->addItems({QStringLiteral("(coluna ou nome da planilha)"), QStringLiteral("Masculino"),
                     QStringLiteral("Feminino")});
  edtColunas = Edit("edtColunas", colunas);
  edtColunas->setToolTip(
      QStringLiteral("COLUNA=PAPEL separados por vírgula: chave, anos, meses, sexo, P3..P97, L, "
                     "M, S ou ignorar (COLUNA: o cabeçalho ou a letra)"));
  edtPercentis = Edit("edtPercentis", colunas);
  edtPercentis->setText(QStringLiteral("3,5,10,25,50,75,90,95,97"));
  edtPercentis->setToolTip(QStringLiteral("Percentis calculados de L, M e S"));
  lblMapa = new QLabel(colunas);
  lblMapa->setObjectName(QStringLiteral("lblMapa"));
  lblMapa->setWordWrap(true);
  c->addWidget(new QLabel(QStringLiteral("Tabela"), colunas), 0, 0);
  c->addWidget(cbbTabela, 0, 1);
  c->addWidget(new QLabel(QStringLiteral("Chave"), colunas), 0, 2);
  c->addWidget(cbbChave, 0, 3);
  c->addWidget(new QLabel(QStringLiteral("Medida"), colunas), 0, 4);
  c->addWidget(cbbMedida, 0, 5);
  c->addWidget(new QLabel(QStringLiteral("Sexo"), colunas), 0, 6);
  c->addWidget(cbbSexo, 0, 7);
  c->addWidget(new QLabel(QStringLiteral("Colunas"), colunas), 1, 0);
  c->addWidget(edtColunas, 1, 1, 1, 5);
  c->addWidget(new QLabel(QStringLiteral("Percentis de L, M e S"), colunas), 1, 6);
  c->addWidget(edtPercentis, 1, 7);
  c->addWidget(lblMapa, 2, 0, 1, 8);

  auto* destino = new QGroupBox(QStringLiteral("3. Referência de destino"), tshPadrao);
  destino->setObjectName(QStringLiteral("grbDestino"));
  auto* d = new QGridLayout(destino);
  cbbReferencia = new fw::ComboBox(QStringLiteral("cbbReferencia"), destino);
  cbbReferencia->setMinimumWidth(260);
  edtCodigo = Edit("edtCodigo", destino);
  edtCodigo->setMaxLength(2);
  edtCodigo->setFixedWidth(40);
  edtNome = Edit("edtNome", destino);
  edtNome->setMaxLength(60);
  memCitacao = new QPlainTextEdit(destino);
  memCitacao->setObjectName(QStringLiteral("memCitacao"));
  memCitacao->setFixedHeight(48);
  memCitacao->setTabChangesFocus(true);
  edtFonte = Edit("edtFonte", destino);
  edtLicenca = Edit("edtLicenca", destino);
  d->addWidget(new QLabel(QStringLiteral("Referência"), destino), 0, 0);
  d->addWidget(cbbReferencia, 0, 1);
  d->addWidget(new QLabel(QStringLiteral("Código"), destino), 0, 2);
  d->addWidget(edtCodigo, 0, 3);
  d->addWidget(new QLabel(QStringLiteral("Nome"), destino), 0, 4);
  d->addWidget(edtNome, 0, 5);
  d->addWidget(new QLabel(QStringLiteral("Citação"), destino), 1, 0);
  d->addWidget(memCitacao, 1, 1, 1, 5);
  d->addWidget(new QLabel(QStringLiteral("Fonte"), destino), 2, 0);
  d->addWidget(edtFonte, 2, 1, 1, 2);
  d->addWidget(new QLabel(QStringLiteral("Licença"), destino), 2, 3);
  d->addWidget(edtLicenca, 2, 4, 1, 2);

  btnPrevia = Button("btnPrevia", QStringLiteral("&Pré-visualizar"), tshPadrao);
  lblResumo = new QLabel(tshPadrao);
  lblResumo->setObjectName(QStringLiteral("lblResumo"));
  lblResumo->setWordWrap(true);
  tblPrevia = new QTableWidget(tshPadrao);
  tblPrevia->setObjectName(QStringLiteral("tblPrevia"));
  tblPrevia->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblPrevia->verticalHeader()->setDefaultSectionSize(20);
  lstOcorrencias = new QListWidget(tshPadrao);
  lstOcorrencias->setObjectName(QStringLiteral("lstOcorrencias"));

  auto* page = static_cast<QVBoxLayout*>(tshPadrao->layout());
  page->insertWidget(0, arquivo);
  page->insertWidget(1, colunas);
  page->insertWidget(2, destino);
  auto* linha = new QHBoxLayout;
  linha->addWidget(btnPrevia);
  linha->addWidget(lblResumo, 1);
  page->insertLayout(3, linha);
  auto* split = new QSplitter(Qt::Vertical, tshPadrao);
  split->setObjectName(QStringLiteral("splPrevia"));
  split->addWidget(tblPrevia);
  split->addWidget(lstOcorrencias);
  split->setStretchFactor(0, 3);
  page->addWidget(split, 1);
  Bind();
  resize(1100, 820);
}

void TfrmImportacao::Bind() {
  fw::GuardedConnect(btnAbrir, &QPushButton::clicked, this, [this] { btnAbrirClick(btnAbrir); });
  fw::GuardedConnect(btnColar, &QPushButton::clicked, this, [this] { btnColarClick(btnColar); });
  fw::GuardedConnect(btnPrevia, &QPushButton::clicked, this, [this] { btnPreviaClick(btnPrevia); });
  fw::GuardedConnect(cbbPlanilha, &QComboBox::currentIndexChanged, this,
                     [this] { cbbPlanilhaChange(cbbPlanilha); });
  fw::GuardedConnect(cbbReferencia, &QComboBox::currentIndexChanged, this,
                     [this] { cbbReferenciaChange(cbbReferencia); });
  for (fw::ComboBox* combo : {cbbTabela, cbbChave, cbbMedida, cbbSexo})
    fw::GuardedConnect(combo, &QComboBox::currentIndexChanged, this,
                       [this, combo] { EntradaChange(combo); });
  for (QLineEdit* edit : {edtColunas, edtPercentis, edtCodigo, edtNome, edtFonte, edtLicenca})
    fw::GuardedConnect(edit, &QLineEdit::textChanged, this, [this, edit] { EntradaChange(edit); });
  fw::GuardedConnect(memCitacao, &QPlainTextEdit::textChanged, this,
                     [this] { EntradaChange(memCitacao); });
  BindAction(Twin(QStringLiteral("sbtImportar")),
             [this] { sbtImportarClick(ToolButton(QStringLiteral("sbtImportar"))); });
  netImportacao->BeforeConnect = [this](fw::TNetConnection& net) {
    netImportacaoBeforeConnect(net);
  };
}

}  // namespace trp::importacao
