#include "framework/ui/padrao_grid.h"

#include "framework/data/errors.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"
#include "framework/ui/host_services.h"
#include "framework/ui/search.h"
#include "framework/ui/window_state.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>

#include <utility>

namespace fw {

namespace {

void AddShortcutAction(QWidget* owner, QAction* action) {
  action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  owner->addAction(action);
}

bool IsEditing(const Dataset* ds) {
  return ds && (ds->State() == DatasetState::Edit || ds->State() == DatasetState::Insert);
}

}  // namespace

TfrmPadraoGrid::TfrmPadraoGrid(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  tracker_ = new ActiveControlTracker(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  mnuMenu = new QMenuBar(this);
  mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
  mnuMenu->setNativeMenuBar(false);
  layout->setMenuBar(mnuMenu);
  mnuOperacao = mnuMenu->addMenu(QStringLiteral("&Operação"));
  mnuOperacao->setObjectName(QStringLiteral("mnuOperacao"));
  mnuManutencao = mnuMenu->addMenu(QStringLiteral("&Manutenção"));
  mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));

  panMenu = new Panel(QStringLiteral("panMenu"), this);
  panMenu->setFrameShape(QFrame::StyledPanel);
  auto* toolbar = new QHBoxLayout(panMenu);
  toolbar->setContentsMargins(2, 2, 2, 2);
  toolbar->setSpacing(1);
  layout->addWidget(panMenu);

  AddOperation(QStringLiteral("Incluir"), QStringLiteral("&Incluir"), QStringLiteral("Incluir"),
               mnuManutencao, &TfrmPadraoGrid::sbtIncluirClick);
  AddOperation(QStringLiteral("Alterar"), QStringLiteral("&Alterar"), QStringLiteral("Alterar"),
               mnuManutencao, &TfrmPadraoGrid::sbtAlterarClick);
  AddOperation(QStringLiteral("Excluir"), QStringLiteral("&Excluir"), QStringLiteral("Excluir"),
               mnuManutencao, &TfrmPadraoGrid::sbtExcluirClick);
  InsertMenuSeparator(mnuManutencao);
  AddOperation(QStringLiteral("Verificar"), QStringLiteral("&Verificar"),
               QStringLiteral("Verificar"), nullptr, &TfrmPadraoGrid::sbtVerificarClick);
  AddOperation(QStringLiteral("Cancelar"), QStringLiteral("&Cancelar"), QStringLiteral("Cancelar"),
               nullptr, &TfrmPadraoGrid::sbtCancelarClick);
  AddOperation(QStringLiteral("Confirmar"), QStringLiteral("C&onfirmar"),
               QStringLiteral("Confirmar"), nullptr, &TfrmPadraoGrid::sbtConfirmarClick);
  AddOperation(QStringLiteral("Procurar"), QStringLiteral("&Procurar"), QStringLiteral("Procurar"),
               nullptr, &TfrmPadraoGrid::sbtProcurarClick);
  // Menu order differs from the toolbar's: find and verify, then confirm and cancel.
  mnuManutencao->addAction(Twin(QStringLiteral("sbtProcurar")));
  mnuManutencao->addAction(Twin(QStringLiteral("sbtVerificar")));
  InsertMenuSeparator(mnuManutencao);
  mnuManutencao->addAction(Twin(QStringLiteral("sbtConfirmar")));
  mnuManutencao->addAction(Twin(QStringLiteral("sbtCancelar")));
  AddOperation(QStringLiteral("Imprimir"), QStringLiteral("&Imprimir"), QStringLiteral("Imprimir"),
               mnuOperacao, &TfrmPadraoGrid::sbtImprimirClick);
  InsertMenuSeparator(mnuOperacao);
  AddOperation(QStringLiteral("Ajuda"), QStringLiteral("Aj&uda"), QStringLiteral("Ajuda (F1)"),
               mnuOperacao, &TfrmPadraoGrid::sbtAjudaClick);
  Twin(QStringLiteral("sbtAjuda"))->setShortcut(QKeySequence(Qt::Key_F1));
  AddOperation(QStringLiteral("Fechar"), QStringLiteral("&Fechar"), QStringLiteral("Fechar"),
               mnuOperacao, &TfrmPadraoGrid::sbtFecharClick);
  for (const char* op : {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtConfirmar"})
    MarkChangingAction(Twin(QLatin1String(op)));
  // Keys of their own, clear of the grids' (Insert, F2, Ctrl+Delete, Enter,
  // Escape inside a grid) and of the screens' Ctrl+A, Ctrl+G, Ctrl+H and F1;
  // shown in the menu and in the button's hint.
  const std::pair<const char*, QKeySequence> teclas[] = {
      {"sbtIncluir", QKeySequence(Qt::CTRL | Qt::Key_N)},
      {"sbtAlterar", QKeySequence(Qt::CTRL | Qt::Key_E)},
      {"sbtExcluir", QKeySequence(Qt::CTRL | Qt::Key_D)},
      {"sbtConfirmar", QKeySequence(Qt::CTRL | Qt::Key_S)},
      {"sbtCancelar", QKeySequence(Qt::Key_Escape)}};
  for (const auto& [op, tecla] : teclas) {
    QAction* action = Twin(QLatin1String(op));
    action->setShortcut(tecla);
    action->setToolTip(
        QStringLiteral("%1 (%2)").arg(action->toolTip(), tecla.toString(QKeySequence::NativeText)));
  }
  toolbar->addStretch(1);
  lblSomenteLeitura =
      MakeLabel(QStringLiteral("lblSomenteLeitura"), QStringLiteral("Somente leitura"), panMenu);
  lblSomenteLeitura->setStyleSheet(QStringLiteral("font-weight: bold; color: #a00000;"));
  lblSomenteLeitura->setVisible(false);
  // Apart from the screen's code beside it.
  lblSomenteLeitura->setContentsMargins(0, 0, 12, 0);
  toolbar->addWidget(lblSomenteLeitura);
  lblCodTela = MakeLabel(QStringLiteral("lblCodTela"), QString(), panMenu);
  toolbar->addWidget(lblCodTela);

  pgcPadrao = new PageControl(QStringLiteral("pgcPadrao"), this);
  layout->addWidget(pgcPadrao, 1);
  tshPadrao = pgcPadrao->AddPage(QStringLiteral("tshPadrao"), QStringLiteral("Padrão"));
  auto* pageLayout = new QVBoxLayout(tshPadrao);
  pageLayout->setContentsMargins(2, 2, 2, 2);
  dtsPadrao = new fw::DataSource(QStringLiteral("dtsPadrao"), this);
  dbgPadrao = new DBGrid(QStringLiteral("dbgPadrao"), tshPadrao);
  dbgPadrao->SetDataSource(dtsPadrao);
  pageLayout->addWidget(dbgPadrao);

  panNavigator = new Panel(QStringLiteral("panNavigator"), this);
  auto* navLayout = new QHBoxLayout(panNavigator);
  navLayout->setContentsMargins(2, 2, 2, 2);
  dbnPadrao = new DBNavigator(QStringLiteral("dbnPadrao"), panNavigator);
  dbnPadrao->SetDataSource(dtsPadrao);
  navLayout->addWidget(dbnPadrao);
  navLayout->addStretch(1);
  layout->addWidget(panNavigator);

  msgPadrao = new TMessages(QStringLiteral("msgPadrao"), this);
  msgMensagensPadroes = new TMessages(QStringLiteral("msgMensagensPadroes"), this);
  msgMensagensPadroes->SetLines(StandardMessages());

  // The handlers are virtual: these bindings reach the derived screen's.
  dtsPadrao->OnStateChange = [this](fw::DataSource* source) { dtsPadraoStateChange(source); };
  dbgPadrao->OnKeyPress = [this](DBGrid* grid, QChar& key) { dbgPadraoKeyPress(grid, key); };
}

TfrmPadraoGrid::~TfrmPadraoGrid() {
  // Data sources go before the grids would see them die one by one.
  dbgPadrao->SetDataSource(nullptr);
  dbnPadrao->SetDataSource(nullptr);
}

QAction* TfrmPadraoGrid::AddOperation(const QString& op, const QString& caption,
                                      const QString& hint, QMenu* menu,
                                      void (TfrmPadraoGrid::*handler)(QObject*)) {
  QAction* action = MakeAction(QStringLiteral("mnu") + op, caption, this);
  action->setIconText(op);
  if (menu) menu->addAction(action);
  AddShortcutAction(this, action);
  QToolButton* button = MakeToolButton(QStringLiteral("sbt") + op, action, hint, panMenu);
  static_cast<QHBoxLayout*>(panMenu->layout())->addWidget(button);
  // Cancel leaves the editors alone: answered No, its question keeps what
  // the user typed; answered Yes, the cancelled dataset closes them.
  const bool writes = op != QLatin1String("Cancelar");
  connect(action, &QAction::triggered, this, [this, handler, button, writes] {
    Guard([&] {
      if (writes && !CommitEditors()) return;
      (this->*handler)(button);
    });
  });
  return action;
}

QToolButton* TfrmPadraoGrid::ToolButton(const QString& name) const {
  return panMenu->findChild<QToolButton*>(name, Qt::FindDirectChildrenOnly);
}

QAction* TfrmPadraoGrid::Twin(const QString& buttonName) const {
  QToolButton* button = ToolButton(buttonName);
  return button ? button->defaultAction() : nullptr;
}

QToolButton* TfrmPadraoGrid::AddToolButton(const QString& name, const QString& hint, QAction* twin,
                                           const QString& beforeButton) {
  if (!twin) {
    twin = MakeAction(name + QStringLiteral("Action"), hint, this);
    AddShortcutAction(this, twin);
  }
  QToolButton* button = MakeToolButton(name, twin, hint, panMenu);
  auto* toolbar = static_cast<QHBoxLayout*>(panMenu->layout());
  int at = -1;
  if (QToolButton* before = ToolButton(beforeButton)) at = toolbar->indexOf(before);
  if (at < 0) at = toolbar->indexOf(ToolButton(QStringLiteral("sbtFechar"))) + 1;
  toolbar->insertWidget(at, button);
  return button;
}

QAction* TfrmPadraoGrid::InsertMenuItem(QMenu* menu, const QString& name, const QString& caption,
                                        int position) {
  QAction* action = MakeAction(name, caption, this);
  const QList<QAction*> actions = menu->actions();
  if (position < 0 || position >= actions.size())
    menu->addAction(action);
  else
    menu->insertAction(actions.at(position), action);
  AddShortcutAction(this, action);
  return action;
}

QAction* TfrmPadraoGrid::InsertMenuSeparator(QMenu* menu, int position) {
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  const QList<QAction*> actions = menu->actions();
  if (position < 0 || position >= actions.size())
    menu->addAction(separator);
  else
    menu->insertAction(actions.at(position), separator);
  return separator;
}

void TfrmPadraoGrid::BindAction(QAction* action, std::function<void()> handler) {
  connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] {
    Guard([&] {
      if (CommitEditors()) handler();
    });
  });
}

bool TfrmPadraoGrid::CommitEditors() {
  const auto grids = findChildren<DBGrid*>();
  for (DBGrid* grid : grids)
    if (!grid->CommitEditor()) return false;
  return true;
}

void TfrmPadraoGrid::DiscardEditors() {
  const auto grids = findChildren<DBGrid*>();
  for (DBGrid* grid : grids) grid->CloseEditor(false);
}

// --- read-only screens

namespace {
const QString kReadOnlyTitle = QStringLiteral(" - Somente leitura");
}  // namespace

void TfrmPadraoGrid::MarkChangingAction(QAction* action) {
  if (!action) return;
  changingActions_ << action;
  // The screen's rules enable actions as the data moves; a read-only screen
  // turns them off again at once.
  connect(action, &QAction::changed, this, [this, action] {
    if (readOnly_ && action->isEnabled()) action->setEnabled(false);
  });
  if (readOnly_) action->setEnabled(false);
}

void TfrmPadraoGrid::SetCaption(const QString& caption) {
  setWindowTitle(readOnly_ && !caption.endsWith(kReadOnlyTitle) ? caption + kReadOnlyTitle
                                                                : caption);
}

void TfrmPadraoGrid::ApplyReadOnly() {
  if (!readOnly_) return;
  for (QAction* action : changingActions_)
    if (action) action->setEnabled(false);
  const auto grids = findChildren<DBGrid*>();
  for (DBGrid* grid : grids) grid->SetReadOnly(true);
  lblSomenteLeitura->setVisible(true);
  SetCaption(windowTitle());
}

// --- lifecycle

void TfrmPadraoGrid::Create() {
  if (created_) return;
  created_ = true;
  readOnly_ = SomenteLeitura();
  ApplyReadOnly();
  Guard([this] { FormCreate(this); });
  // Grids and captions the screen set up while it was created.
  ApplyReadOnly();
}

void TfrmPadraoGrid::Activate() {
  Guard([this] { FormActivate(this); });
}

void TfrmPadraoGrid::Close() {
  if (subWindow_)
    subWindow_->close();
  else
    close();
}

bool TfrmPadraoGrid::RestoreLayout(QMdiArea& area) {
  const QSize bounds = area.viewport()->size();
  bool found = false;
  const bool maximized =
      RestoreWindowState(Host::Instance().WindowStateFile(), *this, *subWindow_, bounds, found);
  if (found) return maximized;
  const QSize first = FirstOpenSize(bounds);
  if (first.isValid()) {
    // The screen's size inside the frame's border and title.
    const QSize frame = subWindow_->size() - size();
    subWindow_->setGeometry(
        QRect(QPoint(0, 0), (first + frame).expandedTo(subWindow_->size()).boundedTo(bounds)));
  }
  return false;
}

QSize TfrmPadraoGrid::FirstOpenSize(const QSize&) const { return {}; }

void TfrmPadraoGrid::SaveLayout() const {
  const QWidget* frame = subWindow_ ? static_cast<const QWidget*>(subWindow_.data()) : this;
  SaveWindowState(Host::Instance().WindowStateFile(), *this, *frame);
}

void TfrmPadraoGrid::ShowChild() {
  QMdiArea* area = Host::Instance().MdiArea();
  bool maximize = false;
  if (area && !subWindow_) {
    // The size the screen was given (its design size) survives the move
    // into the sub-window, which otherwise shrinks to the layout's minimum.
    designSize_ = testAttribute(Qt::WA_Resized) ? size() : QWidget::sizeHint();
    area->addSubWindow(this);
    AttachToSubWindow();
    if (subWindow_) subWindow_->adjustSize();
    Create();
    if (subWindow_) maximize = RestoreLayout(*area);
  }
  Create();
  if (subWindow_) {
    if (maximize)
      subWindow_->showMaximized();
    else
      subWindow_->showNormal();
    if (auto* mdi = subWindow_->mdiArea()) mdi->setActiveSubWindow(subWindow_);
    subWindow_->raise();
    FocusFirstControl();
  } else {
    showNormal();
    raise();
    activateWindow();
  }
}

void TfrmPadraoGrid::FocusFirstControl() {
  // The control that had the focus keeps it.
  QWidget* current = ActiveControl();
  if (current && current != this && isAncestorOf(current)) {
    ActiveControlTracker::TakeFocus(current);
    return;
  }
  // The first grid shown, as data screens are worked in their grids; else
  // the first control Tab would reach.
  QWidget* first = nullptr;
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
    if (!isAncestorOf(w) || !w->isVisibleTo(this) || !w->isEnabled() ||
        !(w->focusPolicy() & Qt::TabFocus))
      continue;
    if (qobject_cast<DBGrid*>(w)) {
      first = w;
      break;
    }
    if (!first) first = w;
  }
  if (first)
    ActiveControlTracker::TakeFocus(first);
  else
    setFocus();
}

QSize TfrmPadraoGrid::sizeHint() const {
  return designSize_.isValid() ? designSize_.expandedTo(minimumSizeHint()) : QWidget::sizeHint();
}

void TfrmPadraoGrid::showEvent(QShowEvent* event) {
  Create();
  ApplyReadOnly();
  AttachToSubWindow();
  QWidget::showEvent(event);
}

void TfrmPadraoGrid::AttachToSubWindow() {
  auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
  if (sub == subWindow_) return;
  disconnect(subWindowConnection_);
  subWindow_ = sub;
  if (!sub) return;
  subWindowConnection_ = connect(sub, &QMdiSubWindow::windowStateChanged, this,
                                 [this](Qt::WindowStates before, Qt::WindowStates now) {
                                   if ((now & Qt::WindowActive) && !(before & Qt::WindowActive))
                                     Activate();
                                 });
  if (sub->windowState() & Qt::WindowActive) Activate();
}

bool TfrmPadraoGrid::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ParentChange:
      AttachToSubWindow();
      break;
    case QEvent::WindowActivate:
      // An MDI child is activated through its sub-window (above).
      if (!subWindow_ && isWindow()) Activate();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

bool TfrmPadraoGrid::AnyDatasetEditing() const {
  const auto datasets = findChildren<Dataset*>();
  for (const Dataset* ds : datasets)
    if (IsEditing(ds)) return true;
  return false;
}

void TfrmPadraoGrid::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  if (!Guard([&] { FormCloseQuery(this, canClose); }) || !canClose) {
    event->ignore();
    return;
  }
  CloseAction action = CloseAction::caFree;
  Guard([&] { FormClose(this, action); });
  switch (action) {
    case CloseAction::caNone:
      event->ignore();
      return;
    case CloseAction::caMinimize:
      event->ignore();
      if (subWindow_)
        subWindow_->showMinimized();
      else
        showMinimized();
      return;
    case CloseAction::caHide:
      SaveLayout();
      event->accept();
      return;
    case CloseAction::caFree:
      SaveLayout();
      setAttribute(Qt::WA_DeleteOnClose);
      if (subWindow_) {
        subWindow_->setAttribute(Qt::WA_DeleteOnClose);
        subWindow_->hide();
        subWindow_->deleteLater();
      }
      event->accept();
      return;
  }
}

// --- inherited handlers

void TfrmPadraoGrid::FormCreate(QObject*) {
  pgcPadrao->SetActivePage(tshPadrao);
  // The base rule only: a derived rule runs once the derived screen is set up.
  TfrmPadraoGrid::dtsPadraoStateChange(dtsPadrao);
}

void TfrmPadraoGrid::FormActivate(QObject*) { update(); }

void TfrmPadraoGrid::FormCloseQuery(QObject*, bool& canClose) {
  if (!AnyDatasetEditing()) return;
  // Neither a silent post nor a silent loss of what is being typed.
  canClose =
      Dialogs().MessageDetail(msgMensagensPadroes->Msg(QStringLiteral("Canc")), EdicaoEmAndamento(),
                              MsgType::Confirmation, mbYesNoDefaultNo, 0) == mbYes;
  if (!canClose) return;
  DiscardEditors();
  const auto datasets = findChildren<Dataset*>();
  for (Dataset* ds : datasets)
    if (IsEditing(ds)) ds->Cancel();
}

QString TfrmPadraoGrid::EdicaoEmAndamento() const {
  QStringList partes;
  const auto grids = findChildren<DBGrid*>();
  for (const Dataset* ds : findChildren<Dataset*>()) {
    if (!IsEditing(ds)) continue;
    const DBGrid* grid = nullptr;
    for (const DBGrid* g : grids)
      if (g->DataSet() == ds && (!grid || g->isVisibleTo(this))) grid = g;
    QString onde = ds->objectName();
    QStringList valores;
    if (grid) {
      for (const QWidget* w = grid; w; w = w->parentWidget())
        if (const auto* page = qobject_cast<const TabSheet*>(w)) {
          onde = page->Caption();
          break;
        }
      for (const DBGridColumn* c : grid->Columns())
        if (const Field* f = c->GetField(); f && !f->DisplayText().isEmpty())
          valores << QStringLiteral("%1 %2").arg(c->Title().simplified(), f->DisplayText());
    }
    partes << QStringLiteral("%1 em %2%3")
                  .arg(ds->State() == DatasetState::Insert ? QStringLiteral("Inclusão")
                                                           : QStringLiteral("Alteração"),
                       onde,
                       valores.isEmpty()
                           ? QString()
                           : QStringLiteral(": ") + valores.join(QStringLiteral("; ")));
  }
  if (partes.isEmpty()) return {};
  return QStringLiteral("Ao fechar, será descartado o que não foi confirmado:\n") +
         partes.join(QLatin1Char('\n'));
}

void TfrmPadraoGrid::FormClose(QObject*, CloseAction& action) { action = CloseAction::caFree; }

void TfrmPadraoGrid::dbgPadraoKeyPress(QObject* sender, QChar& key) {
  auto* grid = qobject_cast<DBGrid*>(sender);
  if (!grid) return;
  const Field* field = grid->SelectedField();
  const Dataset* ds = grid->DataSet();
  if (!field || !ds || (field->Tag() % 2) == 0 || ds->State() == DatasetState::Insert) return;
  if (key == QLatin1Char('\t') || key == QLatin1Char('\r') || key == QChar(27)) return;
  key = QChar();  // a key column is typed only into a new record
}

void TfrmPadraoGrid::dtsPadraoStateChange(QObject*) {
  const Dataset* ds = dtsPadrao->DataSet();
  const bool browse = ds && ds->State() == DatasetState::Browse;
  const bool rows = browse && !ds->IsEmpty();
  Twin(QStringLiteral("sbtIncluir"))->setEnabled(browse);
  for (const char* op : {"sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar"})
    Twin(QLatin1String(op))->setEnabled(rows);
  Twin(QStringLiteral("sbtConfirmar"))->setEnabled(IsEditing(ds));
  Twin(QStringLiteral("sbtCancelar"))->setEnabled(IsEditing(ds));
}

void TfrmPadraoGrid::sbtIncluirClick(QObject*) {
  if (Dataset* ds = dtsPadrao->DataSet()) ds->Insert();
}

void TfrmPadraoGrid::sbtAlterarClick(QObject*) {
  if (Dataset* ds = dtsPadrao->DataSet()) ds->Edit();
}

void TfrmPadraoGrid::sbtExcluirClick(QObject*) {
  Dataset* ds = dtsPadrao->DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty()) return;
  if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), MsgType::Confirmation, mbYesNoDefaultNo,
                                   0) != mbYes)
    return;
  ds->Delete();
}

void TfrmPadraoGrid::sbtVerificarClick(QObject*) {}

void TfrmPadraoGrid::sbtCancelarClick(QObject*) {
  Dataset* ds = dtsPadrao->DataSet();
  if (IsEditing(ds)) ds->Cancel();
}

void TfrmPadraoGrid::sbtConfirmarClick(QObject*) {
  Dataset* ds = dtsPadrao->DataSet();
  if (IsEditing(ds)) ds->Post();
}

void TfrmPadraoGrid::sbtProcurarClick(QObject*) {
  if (Dataset* ds = dtsPadrao->DataSet()) Procura(ds);
}

void TfrmPadraoGrid::sbtImprimirClick(QObject*) {}

void TfrmPadraoGrid::sbtAjudaClick(QObject*) { Dialogs().ShowHelp(helpFile_, helpContext_); }

void TfrmPadraoGrid::sbtFecharClick(QObject*) { Close(); }

}  // namespace fw
