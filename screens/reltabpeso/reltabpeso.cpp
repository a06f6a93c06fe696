// The report selection screen: its layout, the two choices and their lists,
// the check before output and the report query's parameters.

#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"
#include "model/datasets.h"
#include "model/messages.h"
#include "screens/reltabpeso/reltabpeso_form.h"
#include "services/local_queries.h"

#include <QHBoxLayout>

namespace trp::reltabpeso {

QString stReferencia;
QString stPercentil;

namespace {

QGroupBox* ChoiceBox(const QString& name, const QString& caption, QWidget* parent,
                     QRadioButton*& todos, const QString& todosName, QRadioButton*& lista,
                     const QString& listaName, fw::TBtnPesquisa*& button,
                     const QString& buttonName) {
  auto* box = new QGroupBox(caption, parent);
  box->setObjectName(name);
  box->setFixedSize(190, 46);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(8, 2, 6, 4);
  todos = new QRadioButton(QStringLiteral("Todos"), box);
  todos->setObjectName(todosName);
  todos->setChecked(true);
  lista = new QRadioButton(QStringLiteral("Lista"), box);
  lista->setObjectName(listaName);
  button = new fw::TBtnPesquisa(buttonName, box);
  button->setFixedSize(21, 21);
  button->setEnabled(false);
  button->SetAssociate(lista);
  row->addWidget(todos);
  row->addWidget(lista);
  row->addStretch(1);
  row->addWidget(button);
  return box;
}

}  // namespace

TfrmRelTabPeso::TfrmRelTabPeso(QWidget* parent)
    : fw::TfrmDadosGerRel(QStringLiteral("frmRelTabPeso"), parent) {
  SetCaption(QStringLiteral("Tabela de Relação Peso/Altura"));
  SetCodTela(QStringLiteral("Qel53601"));
  SetReportCode(QStringLiteral("QEL536"));
  SetHelpFile(QStringLiteral("Qelhelp.hlp"));
  SetHelpContext(11153601);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  msgPadrao->SetLines(model::RelTabPesoMessages());

  qryReferencia =
      services::BuildQuery(model::Screen::RelTabPeso, QStringLiteral("qryReferencia"), this);
  dtsReferencia = new fw::DataSource(QStringLiteral("dtsReferencia"), this);
  dtsReferencia->SetDataSet(qryReferencia->DataSet());
  qryPercentil =
      services::BuildQuery(model::Screen::RelTabPeso, QStringLiteral("qryPercentil"), this);
  dtsPercentil = new fw::DataSource(QStringLiteral("dtsPercentil"), this);
  dtsPercentil->SetDataSet(qryPercentil->DataSet());

  grpReferencia = ChoiceBox(QStringLiteral("grpReferencia"), QStringLiteral("Referência"),
                            grbDadosRel, rbtTodosRefe, QStringLiteral("rbtTodosRefe"),
                            rbtListaRefe, QStringLiteral("rbtListaRefe"), btpReferencia,
                            QStringLiteral("btpReferencia"));
  grmPercentil = ChoiceBox(QStringLiteral("grmPercentil"), QStringLiteral("Percentil"),
                           grbDadosRel, rbtTodosPerc, QStringLiteral("rbtTodosPerc"),
                           rbtListaPerc, QStringLiteral("rbtListaPerc"), btpPercentil,
                           QStringLiteral("btpPercentil"));
  btpReferencia->setToolTip(QStringLiteral("Escolher as referências"));
  btpPercentil->setToolTip(QStringLiteral("Escolher os percentis"));
  auto* row = new QHBoxLayout(grbDadosRel);
  row->addWidget(grpReferencia);
  row->addWidget(grmPercentil);
  row->addStretch(1);
  Bind();
}

void TfrmRelTabPeso::Bind() {
  auto on = [this](QRadioButton* button, void (TfrmRelTabPeso::*handler)(QObject*)) {
    connect(button, &QRadioButton::clicked, this,
            [this, button, handler] { fw::Guard([&] { (this->*handler)(button); }); });
  };
  on(rbtTodosRefe, &TfrmRelTabPeso::rbtTodosRefeClick);
  on(rbtListaRefe, &TfrmRelTabPeso::rbtListaRefeClick);
  on(rbtTodosPerc, &TfrmRelTabPeso::rbtTodosPercClick);
  on(rbtListaPerc, &TfrmRelTabPeso::rbtListaPercClick);
  btpReferencia->OnClick = [this](fw::TBtnPesquisa*) { btpReferenciaClick(btpReferencia); };
  btpPercentil->OnClick = [this](fw::TBtnPesquisa*) { btpPercentilClick(btpPercentil); };
  rpddPadrao->OnBeforeGetQueryParams = [this](fw::TReportDesignerDialog* sender,
                                              fw::TQueryParams& params, bool& handled) {
    rpddPadraoBeforeGetQueryParams(sender, params, handled);
  };
}

void TfrmRelTabPeso::FormCreate(QObject* sender) {
  fw::TfrmDadosGerRel::FormCreate(sender);
  stReferencia.clear();
  stPercentil.clear();
}

void TfrmRelTabPeso::FormActivate(QObject* sender) {
  fw::TfrmDadosGerRel::FormActivate(sender);
  update();
}

void TfrmRelTabPeso::rbtTodosRefeClick(QObject*) {
  btpReferencia->setEnabled(rbtListaRefe->isChecked());
  stReferencia.clear();
}

void TfrmRelTabPeso::rbtListaRefeClick(QObject*) {
  btpReferencia->setEnabled(rbtListaRefe->isChecked());
}

void TfrmRelTabPeso::rbtTodosPercClick(QObject*) {
  btpPercentil->setEnabled(rbtListaPerc->isChecked());
  stPercentil.clear();
}

void TfrmRelTabPeso::rbtListaPercClick(QObject*) {
  btpPercentil->setEnabled(rbtListaPerc->isChecked());
}

namespace {

void SayChosen(const QString& what, const QString& codes) {
  if (!codes.isEmpty())
    fw::Dialogs().ShowStatus(
        what + QStringLiteral(": ") +
        codes.split(QLatin1Char(','), Qt::SkipEmptyParts).join(QStringLiteral(", ")));
}

}  // namespace

void TfrmRelTabPeso::btpReferenciaClick(QObject*) {
  qryReferencia->Close();
  qryReferencia->Open();
  const QString text = msgPadrao->Msg(QStringLiteral("Referencia")) + QLatin1Char('|') +
                       msgPadrao->Msg(QStringLiteral("Refe_Vazia"));
  fw::PesquisaLista(dtsReferencia, QStringLiteral("CDREFEBIBL"), text, false, stReferencia);
  SayChosen(QStringLiteral("Referências escolhidas"), stReferencia);
}

void TfrmRelTabPeso::btpPercentilClick(QObject*) {
  qryPercentil->Close();
  qryPercentil->Open();
  const QString text = msgPadrao->Msg(QStringLiteral("Percentil")) + QLatin1Char('|') +
                       msgPadrao->Msg(QStringLiteral("Perc_Vazio"));
  fw::PesquisaLista(dtsPercentil, QStringLiteral("CDPERCENTIL"), text, false, stPercentil);
  SayChosen(QStringLiteral("Percentis escolhidos"), stPercentil);
}

void TfrmRelTabPeso::Vd_Impressao() {
  if (rbtListaRefe->isChecked() && stReferencia.isEmpty()) {
    rbtListaRefe->setFocus();
    fw::MensErro(msgPadrao->Msg(QStringLiteral("Refe_Deve")));
  }
  if (rbtListaPerc->isChecked() && stPercentil.isEmpty()) {
    rbtListaPerc->setFocus();
    fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_Deve")));
  }
}

void TfrmRelTabPeso::sbtPrintClick(QObject* sender) {
  Vd_Impressao();
  fw::TfrmDadosGerRel::sbtPrintClick(sender);
}

void TfrmRelTabPeso::sbtPreviewClick(QObject* sender) {
  Vd_Impressao();
  fw::TfrmDadosGerRel::sbtPreviewClick(sender);
}

void TfrmRelTabPeso::sbtSalvarComoClick(QObject* sender) {
  Vd_Impressao();
  fw::TfrmDadosGerRel::sbtSalvarComoClick(sender);
}

void TfrmRelTabPeso::rpddPadraoBeforeGetQueryParams(fw::TReportDesignerDialog*,
                                                    fw::TQueryParams& params, bool&) {
  if (fw::ExistParam(params, QStringLiteral("P_CDREFERENCIA")))
    params.ParamByName(QStringLiteral("P_CDREFERENCIA"))
        .SetAsString(rbtListaRefe->isChecked() ? stReferencia : QStringLiteral("T"));
  if (fw::ExistParam(params, QStringLiteral("P_CDPERCENTIL")))
    params.ParamByName(QStringLiteral("P_CDPERCENTIL"))
        .SetAsString(rbtListaPerc->isChecked() ? stPercentil : QStringLiteral("T"));
}

}  // namespace trp::reltabpeso
