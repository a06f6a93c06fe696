// The screen's controls and their binding.

#include "framework/ui/guard.h"
#include "screens/avaliacao/avaliacao_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace trp::avaliacao {

namespace {

QLineEdit* Edit(const char* name, QWidget* parent, int width) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  e->setFixedWidth(width);
  return e;
}

}  // namespace

TfrmAvaliacao::TfrmAvaliacao(QWidget* parent)
    : fw::TfrmPadraoGrid(QStringLiteral("frmAvaliacao"), parent),
      netAvaliacao(new fw::TNetConnection(QStringLiteral("netAvaliacao"), this)),
      rdm_(*netAvaliacao) {
  SetCaption(QStringLiteral("Avaliação antropométrica"));
  SetCodTela(QStringLiteral("Qel53607"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153607);
  netAvaliacao->SetServerName(QLatin1String(services::kServerName));
  // A consultation: nothing to insert, change or delete.
  for (const char* op : {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar",
                         "sbtConfirmar", "sbtCancelar"}) {
    ToolButton(QLatin1String(op))->setVisible(false);
    Twin(QLatin1String(op))->setVisible(false);
  }
  AddToolButton(QStringLiteral("sbtPdf"), QStringLiteral("Salvar a avaliação em PDF"), nullptr,
                QStringLiteral("sbtAjuda"));
  Twin(QStringLiteral("sbtPdf"))->setText(QStringLiteral("Salvar em PDF"));
  tshPadrao->SetCaption(QStringLiteral("Resultados"));
  panNavigator->setVisible(false);

  grbCrianca = new QGroupBox(QStringLiteral("Criança"), tshPadrao);
  grbCrianca->setObjectName(QStringLiteral("grbCrianca"));
  auto* form = new QGridLayout(grbCrianca);
  auto label = [&](const QString& text, int row, int column) {
    form->addWidget(new QLabel(text, grbCrianca), row, column);
  };
  cbbSexo = new fw::ComboBox(QStringLiteral("cbbSexo"), grbCrianca);
  cbbSexo->addItems({QStringLiteral("Masculino"), QStringLiteral("Feminino")});
  medNascimento = Edit("medNascimento", grbCrianca, 90);
  medMedicao = Edit("medMedicao", grbCrianca, 90);
  for (QLineEdit* date : {medNascimento, medMedicao})
    date->setInputMask(QStringLiteral("00/00/0000;_"));
  lblIdade = new QLabel(grbCrianca);
  lblIdade->setObjectName(QStringLiteral("lblIdade"));
  edtPeso = Edit("edtPeso", grbCrianca, 70);
  edtMedida = Edit("edtMedida", grbCrianca, 70);
  cbbPosicao = new fw::ComboBox(QStringLiteral("cbbPosicao"), grbCrianca);
  cbbPosicao->addItems(
      {QStringLiteral("Deitado (comprimento)"), QStringLiteral("Em pé (estatura)")});
  edtPerimetro = Edit("edtPerimetro", grbCrianca, 70);
  btnAvaliar = new QPushButton(QStringLiteral("&Avaliar"), grbCrianca);
  btnAvaliar->setObjectName(QStringLiteral("btnAvaliar"));
  label(QStringLiteral("Sexo"), 0, 0);
  form->addWidget(cbbSexo, 0, 1);
  label(QStringLiteral("Nascimento"), 0, 2);
  form->addWidget(medNascimento, 0, 3);
  label(QStringLiteral("Medição"), 0, 4);
  form->addWidget(medMedicao, 0, 5);
  label(QStringLiteral("Idade"), 0, 6);
  form->addWidget(lblIdade, 0, 7, 1, 2);
  label(QStringLiteral("Peso (kg)"), 1, 0);
  form->addWidget(edtPeso, 1, 1);
  label(QStringLiteral("Comprimento/estatura (cm)"), 1, 2);
  form->addWidget(edtMedida, 1, 3);
  form->addWidget(cbbPosicao, 1, 4, 1, 2);
  label(QStringLiteral("Perímetro cefálico (cm)"), 1, 6);
  form->addWidget(edtPerimetro, 1, 7);
  form->addWidget(btnAvaliar, 1, 8);
  form->setColumnStretch(9, 1);
  setTabOrder(cbbSexo, medNascimento);
  setTabOrder(medNascimento, medMedicao);
  setTabOrder(medMedicao, edtPeso);
  setTabOrder(edtPeso, edtMedida);
  setTabOrder(edtMedida, cbbPosicao);
  setTabOrder(cbbPosicao, edtPerimetro);
  setTabOrder(edtPerimetro, btnAvaliar);

  grfCrianca = new report::ChartView(QStringLiteral("grfCrianca"), tshPadrao);
  grfCrianca->setMinimumHeight(220);
  auto* page = static_cast<QVBoxLayout*>(tshPadrao->layout());
  page->insertWidget(0, grbCrianca);
  auto* split = new QSplitter(Qt::Vertical, tshPadrao);
  split->setObjectName(QStringLiteral("splResultados"));
  page->removeWidget(dbgPadrao);
  split->addWidget(dbgPadrao);
  split->addWidget(grfCrianca);
  page->addWidget(split, 1);

  cdsAvaliacao = new fw::Dataset(QStringLiteral("cdsAvaliacao"), this);
  dtsPadrao->SetDataSet(cdsAvaliacao);
  struct Column {
    const char* field;
    const char* title;
    int chars;
  };
  for (const Column& c :
       {Column{"CDREFEBIBL", "Ref.", 4}, Column{"DSINDICADOR", "Indicador", 26},
        Column{"VRZ", "Escore z", 8}, Column{"VRPERCENTIL", "Percentil", 8},
        Column{"DSFAIXA", "Faixa", 16}, Column{"DSCLASSIFICACAO", "Classificação", 30},
        Column{"DSALERTA", "Alerta", 12}})
    dbgPadrao->AddColumn(QLatin1String(c.field))
        .SetTitle(QString::fromUtf8(c.title))
        .SetWidthChars(c.chars)
        .SetReadOnly(true);
  Bind();
  resize(900, 600);
}

void TfrmAvaliacao::Bind() {
  fw::GuardedConnect(btnAvaliar, &QPushButton::clicked, this,
                     [this] { btnAvaliarClick(btnAvaliar); });
  for (QLineEdit* date : {medNascimento, medMedicao})
    fw::GuardedConnect(date, &QLineEdit::textChanged, this, [this, date] { medDatasChange(date); });
  for (QLineEdit* edit : {edtPeso, edtMedida, edtPerimetro})
    fw::GuardedConnect(edit, &QLineEdit::returnPressed, this,
                       [this] { btnAvaliarClick(btnAvaliar); });
  BindAction(Twin(QStringLiteral("sbtPdf")),
             [this] { sbtPdfClick(ToolButton(QStringLiteral("sbtPdf"))); });
  cdsAvaliacao->AfterScroll = [this](fw::Dataset& ds) { cdsAvaliacaoAfterScroll(ds); };
  netAvaliacao->BeforeConnect = [this](fw::TNetConnection& net) { netAvaliacaoBeforeConnect(net); };
}

}  // namespace trp::avaliacao
