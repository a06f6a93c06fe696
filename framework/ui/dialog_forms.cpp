#include "framework/ui/dialog_forms.h"

#include "framework/data/errors.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"
#include "framework/ui/icons.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace fw {

namespace {

QToolButton* DialogButton(const QString& name, const QString& caption, const QString& hint,
                          QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(caption);
  button->setToolTip(hint);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setIconSize(QSize(16, 16));
  button->setIcon(ToolIcon(QString(caption).remove(QLatin1Char(' '))));
  return button;
}

Panel* Toolbar(QWidget* owner) {
  auto* panel = new Panel(QStringLiteral("panMenu"), owner);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(1);
  return panel;
}

IReportEngine* reportEngine = nullptr;

}  // namespace

// --- dialog base

TfrmDialogBase::TfrmDialogBase(const QString& name, QWidget* parent) : QDialog(parent) {
  setObjectName(name);
  setModal(true);
  tracker_ = new ActiveControlTracker(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  lblCodTela = MakeLabel(QStringLiteral("lblCodTela"), QString(), this);
  msgPadrao = new TMessages(QStringLiteral("msgPadrao"), this);
}

void TfrmDialogBase::Create() {
  if (created_) return;
  created_ = true;
  Guard([this] { FormCreate(this); });
}

void TfrmDialogBase::Activate() {
  Guard([this] { FormActivate(this); });
}

void TfrmDialogBase::FormCreate(QObject*) {}

void TfrmDialogBase::FormActivate(QObject*) { update(); }

void TfrmDialogBase::FormClose(QObject*, CloseAction& action) { action = CloseAction::caHide; }

void TfrmDialogBase::showEvent(QShowEvent* event) {
  Create();
  QDialog::showEvent(event);
}

bool TfrmDialogBase::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) Activate();
  return QDialog::event(event);
}

void TfrmDialogBase::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    Guard([this] { Dialogs().ShowHelp(helpFile_, helpContext_); });
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TfrmDialogBase::RunClose() {
  CloseAction action = CloseAction::caHide;
  Guard([&] { FormClose(this, action); });
  if (action == CloseAction::caNone || action == CloseAction::caMinimize) return false;
  if (action == CloseAction::caFree) deleteLater();
  return true;
}

void TfrmDialogBase::done(int result) {
  // Every way out (confirm, Esc, the close button) passes here once.
  if (closing_) return;
  closing_ = true;
  const bool close = RunClose();
  closing_ = false;
  if (close) QDialog::done(result);
}

void TfrmDialogBase::closeEvent(QCloseEvent* event) {
  if (!isVisible()) {
    event->accept();
    return;
  }
  done(QDialog::Rejected);
  if (isVisible())
    event->ignore();
  else
    event->accept();
}

// --- routine dialog

TfrmRotiGeral::TfrmRotiGeral(const QString& name, QWidget* parent) : TfrmDialogBase(name, parent) {
  panMenu = Toolbar(this);
  sbtConfirma = DialogButton(QStringLiteral("sbtConfirma"), QStringLiteral("Confirmar"),
                             QStringLiteral("Confirmar"), panMenu);
  sbtFechar = DialogButton(QStringLiteral("sbtFechar"), QStringLiteral("Fechar"),
                           QStringLiteral("Fechar sem confirmar (Esc)"), panMenu);
  auto* toolbar = static_cast<QHBoxLayout*>(panMenu->layout());
  toolbar->addWidget(sbtConfirma);
  toolbar->addWidget(sbtFechar);
  toolbar->addStretch(1);
  toolbar->addWidget(lblCodTela);
  grbDadosRel = new QGroupBox(this);
  grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
  layout()->addWidget(panMenu);
  layout()->addWidget(grbDadosRel);
  connect(sbtConfirma, &QToolButton::clicked, this,
          [this] { Guard([this] { sbtConfirmaClick(sbtConfirma); }); });
  connect(sbtFechar, &QToolButton::clicked, this, &QDialog::reject);
}

void TfrmRotiGeral::sbtConfirmaClick(QObject*) { accept(); }

// --- report parameters

TQueryParams::TQueryParams(const QStringList& names) {
  for (const QString& name : names) Add(name);
}

void TQueryParams::Add(const QString& name) {
  if (!ExistParam(name)) params_ << TQueryParam(name);
}

bool TQueryParams::ExistParam(const QString& name) const {
  for (const TQueryParam& p : params_)
    if (p.Name().compare(name, Qt::CaseInsensitive) == 0) return true;
  return false;
}

TQueryParam& TQueryParams::ParamByName(const QString& name) {
  for (TQueryParam& p : params_)
    if (p.Name().compare(name, Qt::CaseInsensitive) == 0) return p;
  throw Error(QStringLiteral("Parâmetro '%1' não existe na consulta do relatório.").arg(name));
}

const TQueryParam& TQueryParams::ParamByName(const QString& name) const {
  return const_cast<TQueryParams*>(this)->ParamByName(name);
}

bool ExistParam(const TQueryParams& params, const QString& name) { return params.ExistParam(name); }

TReportDesignerDialog::TReportDesignerDialog(const QString& name, QObject* parent)
    : QObject(parent) {
  setObjectName(name);
}

void TReportDesignerDialog::GetQueryParams(TQueryParams& params) {
  bool handled = false;
  if (OnBeforeGetQueryParams) OnBeforeGetQueryParams(this, params, handled);
}

void InstallReportEngine(IReportEngine* engine) { reportEngine = engine; }

IReportEngine* ReportEngine() { return reportEngine; }

// --- report parameter screen

TfrmDadosGerRel::TfrmDadosGerRel(const QString& name, QWidget* parent)
    : TfrmDialogBase(name, parent) {
  panMenu = Toolbar(this);
  sbtPrint = DialogButton(QStringLiteral("sbtPrint"), QStringLiteral("Imprimir"),
                          QStringLiteral("Imprimir"), panMenu);
  sbtPreview = DialogButton(QStringLiteral("sbtPreview"), QStringLiteral("Visualizar"),
                            QStringLiteral("Visualizar a impressão"), panMenu);
  sbtSalvarComo = DialogButton(QStringLiteral("sbtSalvarComo"), QStringLiteral("Salvar como"),
                               QStringLiteral("Salvar em arquivo (PDF)"), panMenu);
  sbtAjuda = DialogButton(QStringLiteral("sbtAjuda"), QStringLiteral("Ajuda"),
                          QStringLiteral("Ajuda (F1)"), panMenu);
  sbtFechar = DialogButton(QStringLiteral("sbtFechar"), QStringLiteral("Fechar"),
                           QStringLiteral("Fechar"), panMenu);
  lblCodRel = MakeLabel(QStringLiteral("lblCodRel"), QString(), panMenu, true);
  auto* toolbar = static_cast<QHBoxLayout*>(panMenu->layout());
  for (QToolButton* b : {sbtPrint, sbtPreview, sbtSalvarComo, sbtAjuda, sbtFechar})
    toolbar->addWidget(b);
  toolbar->addStretch(1);
  toolbar->addWidget(lblCodRel);
  toolbar->addSpacing(8);
  toolbar->addWidget(lblCodTela);
  grbDadosRel = new QGroupBox(this);
  grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
  layout()->addWidget(panMenu);
  layout()->addWidget(grbDadosRel);
  rpddPadrao = new TReportDesignerDialog(QStringLiteral("rpddPadrao"), this);

  connect(sbtPrint, &QToolButton::clicked, this,
          [this] { Guard([this] { sbtPrintClick(sbtPrint); }); });
  connect(sbtPreview, &QToolButton::clicked, this,
          [this] { Guard([this] { sbtPreviewClick(sbtPreview); }); });
  connect(sbtSalvarComo, &QToolButton::clicked, this,
          [this] { Guard([this] { sbtSalvarComoClick(sbtSalvarComo); }); });
  connect(sbtAjuda, &QToolButton::clicked, this,
          [this] { Guard([this] { Dialogs().ShowHelp(HelpFile(), HelpContext()); }); });
  connect(sbtFechar, &QToolButton::clicked, this, &QDialog::reject);
}

void TfrmDadosGerRel::sbtPrintClick(QObject*) { RunReport(ReportOutput::Print); }

void TfrmDadosGerRel::sbtPreviewClick(QObject*) { RunReport(ReportOutput::Preview); }

void TfrmDadosGerRel::sbtSalvarComoClick(QObject*) { RunReport(ReportOutput::SaveAs); }

void TfrmDadosGerRel::RunReport(ReportOutput output) {
  IReportEngine* engine = ReportEngine();
  if (!engine)
    MensErro(QStringLiteral("Nenhum gerador de relatórios está disponível nesta instalação."));
  engine->Run(*this, output);
}

}  // namespace fw
