#include "framework/ui/controls.h"

#include "framework/data/datasource.h"
#include "framework/data/errors.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/guard.h"
#include "framework/ui/icons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QTabBar>

namespace fw {

// --- twins

QAction* MakeAction(const QString& name, const QString& caption, QObject* parent) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(name);
  return action;
}

QToolButton* MakeToolButton(const QString& name, QAction* twin, const QString& hint,
                            QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setAutoRaise(true);
  button->setFocusPolicy(
      Qt::NoFocus);  // a click leaves the focus (and a grid's editor) where it is
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setIconSize(QSize(16, 16));
  if (twin) {
    // The operation's name after the prefix picks the icon: sbtIncluir -> Incluir.
    if (twin->icon().isNull()) twin->setIcon(ToolIcon(name.mid(3)));
    if (!hint.isEmpty()) twin->setToolTip(hint);
    button->setDefaultAction(twin);
  } else {
    button->setIcon(ToolIcon(name.mid(3)));
    button->setToolTip(hint);
  }
  return button;
}

// --- page control

PageControl::PageControl(const QString& name, QWidget* parent) : QTabWidget(parent) {
  setObjectName(name);
  connect(this, &QTabWidget::currentChanged, this, &PageControl::CurrentChanged);
}

TabSheet* PageControl::AddPage(const QString& name, const QString& caption) {
  auto* sheet = new TabSheet(name);
  ++settingFromCode_;  // adding the first page makes it current: not the user's pick
  addTab(sheet, caption);
  --settingFromCode_;
  return sheet;
}

TabSheet* PageControl::Page(int index) const { return qobject_cast<TabSheet*>(widget(index)); }

TabSheet* PageControl::PageByName(const QString& name) const {
  for (int i = 0; i < count(); ++i)
    if (widget(i)->objectName() == name) return Page(i);
  return nullptr;
}

TabSheet* PageControl::ActivePage() const { return qobject_cast<TabSheet*>(currentWidget()); }

void PageControl::SetActivePage(TabSheet* page) {
  if (!page || indexOf(page) < 0) return;
  ++settingFromCode_;
  setCurrentWidget(page);
  --settingFromCode_;
}

void PageControl::SetActivePage(const QString& name) {
  TabSheet* page = PageByName(name);
  if (!page) throw Error(QStringLiteral("Página '%1' não existe em '%2'.").arg(name, objectName()));
  SetActivePage(page);
}

void PageControl::CurrentChanged(int) {
  if (settingFromCode_ || !OnChange) return;
  Guard([this] { OnChange(this); });
}

TabSheet::TabSheet(const QString& name, QWidget* parent) : QWidget(parent) { setObjectName(name); }

PageControl* TabSheet::PageControlOf() const {
  // A page lives in the tab widget's stack: the stack's parent is the control.
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* pc = qobject_cast<PageControl*>(w)) return pc;
  return nullptr;
}

int TabSheet::PageIndex() const {
  PageControl* pc = PageControlOf();
  return pc ? pc->indexOf(const_cast<TabSheet*>(this)) : -1;
}

QString TabSheet::Caption() const {
  PageControl* pc = PageControlOf();
  const int index = PageIndex();
  return pc && index >= 0 ? pc->tabText(index) : windowTitle();
}

void TabSheet::SetCaption(const QString& caption) {
  PageControl* pc = PageControlOf();
  const int index = PageIndex();
  if (pc && index >= 0)
    pc->setTabText(index, caption);
  else
    setWindowTitle(caption);
}

void TabSheet::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    PageControl* pc = PageControlOf();
    const int index = PageIndex();
    // Only the sheet's own flag greys its tab, not a disabled page control.
    if (pc && index >= 0) pc->tabBar()->setTabEnabled(index, !testAttribute(Qt::WA_ForceDisabled));
  }
  QWidget::changeEvent(event);
}

// --- notebook

Notebook::Notebook(const QString& name, QWidget* parent) : QStackedWidget(parent) {
  setObjectName(name);
}

QWidget* Notebook::AddPage(const QString& pageName) {
  auto* page = new QWidget;
  page->setObjectName(pageName);
  addWidget(page);
  return page;
}

QWidget* Notebook::Page(const QString& pageName) const {
  for (int i = 0; i < count(); ++i)
    if (widget(i)->objectName() == pageName) return widget(i);
  return nullptr;
}

void Notebook::SetActivePage(const QString& pageName) {
  QWidget* page = Page(pageName);
  if (!page)
    throw Error(QStringLiteral("Página '%1' não existe em '%2'.").arg(pageName, objectName()));
  setCurrentWidget(page);
}

QString Notebook::ActivePage() const {
  return currentWidget() ? currentWidget()->objectName() : QString();
}

// --- combo box

ComboBox::ComboBox(const QString& name, QWidget* parent) : QComboBox(parent) {
  setObjectName(name);
  connect(this, &QComboBox::activated, this, [this] {
    if (OnChange) Guard([this] { OnChange(this); });
  });
}

void ComboBox::SetItemIndex(int index) { setCurrentIndex(index); }

// --- panel and label

Panel::Panel(const QString& name, QWidget* parent) : QFrame(parent) { setObjectName(name); }

QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* parent, bool bold) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

// --- navigator

DBNavigator::DBNavigator(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  auto make = [this, layout](const QString& buttonName, const QString& glyph, const QString& hint,
                             void (Dataset::*move)()) {
    auto* button = new QToolButton(this);
    button->setObjectName(buttonName);
    button->setText(glyph);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(button);
    connect(button, &QToolButton::clicked, this, Guarded([this, move] {
              Dataset* ds = source_ ? source_->DataSet() : nullptr;
              if (ds && ds->Active()) (ds->*move)();
            }));
    return button;
  };
  first_ = make(QStringLiteral("nbFirst"), QStringLiteral("|\u25C0"), QStringLiteral("Primeiro"),
                &Dataset::First);
  prior_ = make(QStringLiteral("nbPrior"), QStringLiteral("\u25C0"), QStringLiteral("Anterior"),
                &Dataset::Prior);
  next_ = make(QStringLiteral("nbNext"), QStringLiteral("\u25B6"), QStringLiteral("Próximo"),
               &Dataset::Next);
  last_ = make(QStringLiteral("nbLast"), QStringLiteral("\u25B6|"), QStringLiteral("Último"),
               &Dataset::Last);
  UpdateButtons();
}

QToolButton* DBNavigator::Button(const QString& name) const {
  return findChild<QToolButton*>(name);
}

void DBNavigator::SetDataSource(fw::DataSource* source) {
  for (const auto& c : connections_) disconnect(c);
  connections_.clear();
  source_ = source;
  if (source) {
    connections_ << connect(source, &DataSource::dataSetChanged, this, [this] { Rebind(); });
    connections_ << connect(source, &DataSource::stateChanged, this, [this] { UpdateButtons(); });
  }
  Rebind();
}

void DBNavigator::Rebind() {
  for (const auto& c : datasetConnections_) disconnect(c);
  datasetConnections_.clear();
  if (Dataset* ds = source_ ? source_->DataSet() : nullptr) {
    datasetConnections_ << connect(ds, &Dataset::currentChanged, this, [this] { UpdateButtons(); });
    datasetConnections_ << connect(ds, &Dataset::contentReset, this, [this] { UpdateButtons(); });
  }
  UpdateButtons();
}

void DBNavigator::UpdateButtons() {
  const Dataset* ds = source_ ? source_->DataSet() : nullptr;
  const bool usable = isEnabled() && ds && ds->Active() && !ds->IsEmpty();
  const int row = usable ? ds->RecNo() : -1;
  const int last = usable ? ds->RecordCount() - 1 : -1;
  first_->setEnabled(usable && row > 0);
  prior_->setEnabled(usable && row > 0);
  next_->setEnabled(usable && row < last);
  last_->setEnabled(usable && row < last);
}

void DBNavigator::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) UpdateButtons();
  QWidget::changeEvent(event);
}

// --- data text

DBText::DBText(const QString& name, QWidget* parent) : QLabel(parent) { setObjectName(name); }

void DBText::SetDataSource(fw::DataSource* source) {
  for (const auto& c : connections_) disconnect(c);
  connections_.clear();
  source_ = source;
  if (source)
    connections_ << connect(source, &DataSource::dataSetChanged, this, [this] { Rebind(); });
  Rebind();
}

void DBText::SetDataField(const QString& fieldName) {
  fieldName_ = fieldName;
  Refresh();
}

void DBText::SetCodeField(const QString& fieldName) {
  codeName_ = fieldName;
  Refresh();
}

void DBText::Rebind() {
  for (const auto& c : datasetConnections_) disconnect(c);
  datasetConnections_.clear();
  if (Dataset* ds = source_ ? source_->DataSet() : nullptr) {
    datasetConnections_ << connect(ds, &Dataset::currentChanged, this, [this] { Refresh(); });
    datasetConnections_ << connect(ds, &Dataset::contentReset, this, [this] { Refresh(); });
    datasetConnections_ << connect(ds, &Dataset::fieldChanged, this, [this] { Refresh(); });
    datasetConnections_ << connect(ds, &Dataset::stateChanged, this, [this] { Refresh(); });
  }
  Refresh();
}

void DBText::Refresh() {
  const Dataset* ds = source_ ? source_->DataSet() : nullptr;
  const Field* field = ds && ds->Active() ? ds->FindField(fieldName_) : nullptr;
  QString text = field && ds->RecNo() >= 0 ? field->DisplayText() : QString();
  const Field* code = field && !codeName_.isEmpty() ? ds->FindField(codeName_) : nullptr;
  if (code && ds->RecNo() >= 0 && !code->DisplayText().isEmpty())
    text =
        text.isEmpty() ? code->DisplayText() : code->DisplayText() + QStringLiteral(" - ") + text;
  setText(text);
}

// --- focus

QWidget* ControlOf(QWidget* widget) {
  for (QWidget* w = widget; w; w = w->parentWidget()) {
    if (auto* grid = qobject_cast<DBGrid*>(w)) return grid;
    if (w->isWindow()) break;
  }
  return widget;
}

}  // namespace fw
