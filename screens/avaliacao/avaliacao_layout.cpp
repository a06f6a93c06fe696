// The screen's controls and their binding.

#include "framework/ui/guard.h"
#include "framework/ui/number_entry.h"
#include "framework/ui/status_text.h"
#include "screens/avaliacao/avaliacao_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace trp::avaliacao {

namespace {

QLineEdit* Edit(const char* name, QWidget* parent, int width) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  if (width > 0) e->setFixedWidth(width);
  return e;
}

// The program's number entry on a line edit: digits and one decimal comma
// within the field's digits ("." gives the comma); a refused key beeps and
// says why in the status text, as the grids' numeric cells do.
class EntradaNumerica : public QObject {
 public:
  EntradaNumerica(QLineEdit* edit, int inteiros, int decimais)
      : QObject(edit), inteiros_(inteiros), decimais_(decimais) {
    edit->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* edit = static_cast<QLineEdit*>(watched);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->text().size() != 1 || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
      return false;
    const QChar typed = key->text().at(0);
    if (typed.category() == QChar::Other_Control) return false;
    const QChar numero = fw::NumberKey(typed);
    const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const int length = int(edit->selectedText().size());
    QString reason =
        numero.isDigit() || numero == u','
            ? fw::NumberRefusal(edit->text(), inteiros_, decimais_, numero, start, length)
            : fw::NumberKeyReason(numero);
    if (!reason.isEmpty()) {
      fw::RefuseInput(reason, edit);
      return true;
    }
    if (numero != typed) {
      edit->insert(QString(numero));
      return true;
    }
    return false;
  }

 private:
  int inteiros_, decimais_;
};

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
  edtNome = Edit("edtNome", grbCrianca, 0);
  edtNome->setToolTip(QStringLiteral("Só para a impressão: não é gravado no servidor"));
  edtProntuario = Edit("edtProntuario", grbCrianca, 90);
  edtProntuario->setToolTip(edtNome->toolTip());
  cbbSexo = new fw::ComboBox(QStringLiteral("cbbSexo"), grbCrianca);
  cbbSexo->addItems({QStringLiteral("Masculino"), QStringLiteral("Feminino")});
  cbbSexo->setPlaceholderText(QStringLiteral("(escolha)"));
  cbbSexo->setCurrentIndex(-1);
  medNascimento = Edit("medNascimento", grbCrianca, 90);
  medMedicao = Edit("medMedicao", grbCrianca, 90);
  for (QLineEdit* date : {medNascimento, medMedicao})
    date->setInputMask(QStringLiteral("00/00/0000;_"));
  edtSemanas = Edit("edtSemanas", grbCrianca, 40);
  edtDiasGestacao = Edit("edtDiasGestacao", grbCrianca, 30);
  edtSemanas->setToolTip(
      QStringLiteral("Idade gestacional ao nascer (semanas e dias); vazio: a termo"));
  edtDiasGestacao->setToolTip(edtSemanas->toolTip());
  lblIdade = new QLabel(grbCrianca);
  lblIdade->setObjectName(QStringLiteral("lblIdade"));
  lblIdadeCorrigida = new QLabel(grbCrianca);
  lblIdadeCorrigida->setObjectName(QStringLiteral("lblIdadeCorrigida"));
  edtPeso = Edit("edtPeso", grbCrianca, 70);
  edtMedida = Edit("edtMedida", grbCrianca, 70);
  cbbPosicao = new fw::ComboBox(QStringLiteral("cbbPosicao"), grbCrianca);
  cbbPosicao->addItems(
      {QStringLiteral("Deitado (comprimento)"), QStringLiteral("Em pé (estatura)")});
  lblPosicao = new QLabel(grbCrianca);
  lblPosicao->setObjectName(QStringLiteral("lblPosicao"));
  edtPerimetro = Edit("edtPerimetro", grbCrianca, 70);
  new EntradaNumerica(edtPeso, 3, 3);
  new EntradaNumerica(edtMedida, 3, 2);
  new EntradaNumerica(edtPerimetro, 3, 2);
  new EntradaNumerica(edtSemanas, 2, 0);
  new EntradaNumerica(edtDiasGestacao, 1, 0);
  lstReferencias = new QListWidget(grbCrianca);
  lstReferencias->setObjectName(QStringLiteral("lstReferencias"));
  lstReferencias->setFixedHeight(64);
  lstReferencias->setMinimumWidth(300);
  lstReferencias->setToolTip(QStringLiteral("Referências da avaliação (lembradas para o usuário)"));
  btnAvaliar = new QPushButton(QStringLiteral("&Avaliar"), grbCrianca);
  btnAvaliar->setObjectName(QStringLiteral("btnAvaliar"));
  label(QStringLiteral("Nome"), 0, 0);
  form->addWidget(edtNome, 0, 1, 1, 3);
  label(QStringLiteral("Prontuário"), 0, 4);
  form->addWidget(edtProntuario, 0, 5);
  label(QStringLiteral("Sexo"), 0, 6);
  form->addWidget(cbbSexo, 0, 7);
  label(QStringLiteral("Nascimento"), 1, 0);
  form->addWidget(medNascimento, 1, 1);
  label(QStringLiteral("Idade gestacional"), 1, 2);
  auto* gestacao = new QHBoxLayout;
  gestacao->addWidget(edtSemanas);
  gestacao->addWidget(new QLabel(QStringLiteral("sem."), grbCrianca));
  gestacao->addWidget(edtDiasGestacao);
  gestacao->addWidget(new QLabel(QStringLiteral("dias"), grbCrianca));
  form->addLayout(gestacao, 1, 3);
  label(QStringLiteral("Medição"), 1, 4);
  form->addWidget(medMedicao, 1, 5);
  label(QStringLiteral("Idade"), 1, 6);
  form->addWidget(lblIdade, 1, 7, 1, 2);
  form->addWidget(lblIdadeCorrigida, 2, 6, 1, 3);
  label(QStringLiteral("Peso (kg)"), 3, 0);
  form->addWidget(edtPeso, 3, 1);
  label(QStringLiteral("Comprimento/estatura (cm)"), 3, 2);
  form->addWidget(edtMedida, 3, 3);
  form->addWidget(cbbPosicao, 3, 4, 1, 2);
  label(QStringLiteral("Perímetro cefálico (cm)"), 3, 6);
  form->addWidget(edtPerimetro, 3, 7);
  form->addWidget(lblPosicao, 4, 2, 1, 4);
  label(QStringLiteral("Referências"), 0, 9);
  form->addWidget(lstReferencias, 1, 9, 3, 1);
  form->addWidget(btnAvaliar, 4, 9);
  form->setColumnStretch(8, 1);
  setTabOrder(edtNome, edtProntuario);
  setTabOrder(edtProntuario, cbbSexo);
  setTabOrder(cbbSexo, medNascimento);
  setTabOrder(medNascimento, edtSemanas);
  setTabOrder(edtSemanas, edtDiasGestacao);
  setTabOrder(edtDiasGestacao, medMedicao);
  setTabOrder(medMedicao, edtPeso);
  setTabOrder(edtPeso, edtMedida);
  setTabOrder(edtMedida, cbbPosicao);
  setTabOrder(cbbPosicao, edtPerimetro);
  setTabOrder(edtPerimetro, lstReferencias);
  setTabOrder(lstReferencias, btnAvaliar);

  grbVisitas = new QGroupBox(QStringLiteral("Visitas anteriores (série)"), tshPadrao);
  grbVisitas->setObjectName(QStringLiteral("grbVisitas"));
  auto* visitas = new QHBoxLayout(grbVisitas);
  cdsVisitas = new fw::Dataset(QStringLiteral("cdsVisitas"), this);
  dtsVisitas = new fw::DataSource(QStringLiteral("dtsVisitas"), this);
  dtsVisitas->SetDataSet(cdsVisitas);
  dbgVisitas = new fw::DBGrid(QStringLiteral("dbgVisitas"), grbVisitas);
  dbgVisitas->SetDataSource(dtsVisitas);
  dbgVisitas->SetReadOnly(true);
  dbgVisitas->setMinimumHeight(70);
  dbgVisitas->setMaximumHeight(110);
  struct Column {
    const char* field;
    const char* title;
    int chars;
  };
  for (const Column& c : {Column{"DSDATA", "Data", 10}, Column{"DSIDADE", "Idade", 24},
                          Column{"DSMEDIDAS", "Medidas", 48}})
    dbgVisitas->AddColumn(QLatin1String(c.field))
        .SetTitle(QString::fromUtf8(c.title))
        .SetWidthChars(c.chars)
        .SetReadOnly(true);
  auto* botoes = new QVBoxLayout;
  const auto botao = [&](QPushButton*& b, const char* name, const char* text) {
    b = new QPushButton(QString::fromUtf8(text), grbVisitas);
    b->setObjectName(QLatin1String(name));
    botoes->addWidget(b);
  };
  botao(btnIncluirVisita, "btnIncluirVisita", "Incluir a medição na série");
  botao(btnExcluirVisita, "btnExcluirVisita", "Excluir visita");
  botao(btnAbrirVisitas, "btnAbrirVisitas", "Abrir CSV...");
  botao(btnSalvarVisitas, "btnSalvarVisitas", "Salvar CSV...");
  visitas->addWidget(dbgVisitas, 1);
  visitas->addLayout(botoes);

  lblSituacao = new QLabel(tshPadrao);
  lblSituacao->setObjectName(QStringLiteral("lblSituacao"));
  grfCrianca = new report::ChartView(QStringLiteral("grfCrianca"), tshPadrao);
  grfCrianca->setMinimumHeight(220);
  auto* page = static_cast<QVBoxLayout*>(tshPadrao->layout());
  page->insertWidget(0, grbCrianca);
  page->insertWidget(1, grbVisitas);
  page->insertWidget(2, lblSituacao);
  auto* split = new QSplitter(Qt::Vertical, tshPadrao);
  split->setObjectName(QStringLiteral("splResultados"));
  page->removeWidget(dbgPadrao);
  split->addWidget(dbgPadrao);
  split->addWidget(grfCrianca);
  page->addWidget(split, 1);

  cdsAvaliacao = new fw::Dataset(QStringLiteral("cdsAvaliacao"), this);
  dtsPadrao->SetDataSet(cdsAvaliacao);
  // Wide enough for the longest class and alert ("Estatura adequada para a
  // idade", "⚠ implausível; posição ignorada...").
  for (const Column& c :
       {Column{"CDREFEBIBL", "Ref.", 4}, Column{"DSINDICADOR", "Indicador", 40},
        Column{"VRZ", "Escore z", 8}, Column{"VRPERCENTIL", "Percentil", 8},
        Column{"DSFAIXA", "Faixa", 16}, Column{"DSCLASSIFICACAO", "Classificação", 36},
        Column{"DSALERTA", "Alerta", 40}})
    dbgPadrao->AddColumn(QLatin1String(c.field))
        .SetTitle(QString::fromUtf8(c.title))
        .SetWidthChars(c.chars)
        .SetReadOnly(true);
  Bind();
  resize(1200, 820);
}

void TfrmAvaliacao::Bind() {
  fw::GuardedConnect(btnAvaliar, &QPushButton::clicked, this,
                     [this] { btnAvaliarClick(btnAvaliar); });
  for (QLineEdit* date : {medNascimento, medMedicao, edtSemanas, edtDiasGestacao})
    fw::GuardedConnect(date, &QLineEdit::textChanged, this, [this, date] { medDatasChange(date); });
  for (QLineEdit* edit : {edtPeso, edtMedida, edtPerimetro}) {
    fw::GuardedConnect(edit, &QLineEdit::textChanged, this, [this, edit] { EntradaChange(edit); });
    fw::GuardedConnect(edit, &QLineEdit::returnPressed, this,
                       [this] { btnAvaliarClick(btnAvaliar); });
  }
  for (fw::ComboBox* combo : {cbbSexo, cbbPosicao})
    fw::GuardedConnect(combo, &QComboBox::currentIndexChanged, this,
                       [this, combo] { EntradaChange(combo); });
  fw::GuardedConnect(cbbPosicao, &QComboBox::activated, this,
                     [this] { cbbPosicaoActivated(cbbPosicao); });
  fw::GuardedConnect(lstReferencias, &QListWidget::itemChanged, this,
                     [this] { lstReferenciasChange(lstReferencias); });
  fw::GuardedConnect(btnIncluirVisita, &QPushButton::clicked, this,
                     [this] { btnIncluirVisitaClick(btnIncluirVisita); });
  fw::GuardedConnect(btnExcluirVisita, &QPushButton::clicked, this,
                     [this] { btnExcluirVisitaClick(btnExcluirVisita); });
  fw::GuardedConnect(btnAbrirVisitas, &QPushButton::clicked, this,
                     [this] { btnAbrirVisitasClick(btnAbrirVisitas); });
  fw::GuardedConnect(btnSalvarVisitas, &QPushButton::clicked, this,
                     [this] { btnSalvarVisitasClick(btnSalvarVisitas); });
  BindAction(Twin(QStringLiteral("sbtPdf")),
             [this] { sbtPdfClick(ToolButton(QStringLiteral("sbtPdf"))); });
  cdsAvaliacao->AfterScroll = [this](fw::Dataset& ds) { cdsAvaliacaoAfterScroll(ds); };
  netAvaliacao->BeforeConnect = [this](fw::TNetConnection& net) { netAvaliacaoBeforeConnect(net); };
}

}  // namespace trp::avaliacao
