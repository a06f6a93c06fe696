#include "framework/ui/gui_dialogs.h"

#include "framework/data/dataset.h"
#include "framework/ui/find_locate.h"
#include "framework/ui/gui_widgets.h"
#include "framework/ui/host_services.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSpacerItem>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace fw {

namespace {

QWidget* DialogParent() {
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  if (QWidget* w = QApplication::activeWindow()) return w;
  return nullptr;
}

QStringList ShownFields(const PickRequest& request) {
  if (!request.fieldNames.isEmpty()) return request.fieldNames;
  QStringList names;
  for (const Field* field : request.dataset->Fields())
    if (field->Visible()) names << field->FieldName();
  return names;
}

// Codes and names in the order a person reads them: "3" before "10",
// "Ávila" beside "Avila", whatever order the query gave.
class ReadingOrderProxy : public QSortFilterProxyModel {
 public:
  explicit ReadingOrderProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    collator_.setNumericMode(true);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
  }

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
    const int order = collator_.compare(left.data().toString(), right.data().toString());
    return order != 0 ? order < 0 : left.row() < right.row();
  }

 private:
  QCollator collator_{QLocale(QLocale::Portuguese, QLocale::Brazil)};
};

}  // namespace

// --- pick list

PickListDialog::PickListDialog(const PickRequest& request, bool multi, const QList<int>& ticked,
                               QWidget* parent)
    : QDialog(parent), multi_(multi) {
  setObjectName(QStringLiteral("frmPesquisa"));
  setWindowTitle(request.title.isEmpty() ? QStringLiteral("Pesquisa") : request.title);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* label = new QLabel(QStringLiteral("&Filtrar:"), this);
  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("edtFiltro"));
  filter_->setClearButtonEnabled(true);
  label->setBuddy(filter_);
  top->addWidget(label);
  top->addWidget(filter_, 1);
  layout->addLayout(top);

  Dataset* ds = request.dataset;
  const QStringList names = ShownFields(request);
  model_ = new QStandardItemModel(this);
  QStringList headers;
  QList<const Field*> fields;
  for (const QString& name : names)
    if (const Field* f = ds->FindField(name)) {
      fields << f;
      headers << f->DisplayLabel();
    }
  model_->setHorizontalHeaderLabels(headers);
  const int rows = ds->RecordCount();
  for (int row = 0; row < rows; ++row) {
    QList<QStandardItem*> items;
    for (const Field* f : fields) {
      auto* item = new QStandardItem(ds->DisplayTextAt(row, f->Index()));
      item->setEditable(false);
      items << item;
    }
    if (items.isEmpty()) continue;
    items.first()->setData(row, Qt::UserRole);
    if (multi) {
      items.first()->setCheckable(true);
      items.first()->setCheckState(ticked.contains(row) ? Qt::Checked : Qt::Unchecked);
    }
    model_->appendRow(items);
  }
  proxy_ = new ReadingOrderProxy(this);
  proxy_->setSourceModel(model_);
  proxy_->setFilterKeyColumn(-1);
  proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("grdLista"));
  table_->setModel(proxy_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  // By the first column (the code); a click on a title sorts by that one.
  table_->setSortingEnabled(true);
  table_->sortByColumn(0, Qt::AscendingOrder);
  table_->resizeColumnsToContents();
  layout->addWidget(table_, 1);
  if (proxy_->rowCount() > 0) table_->selectRow(0);
  // Start on the dataset's current record when it is listed.
  for (int i = 0; i < proxy_->rowCount(); ++i)
    if (proxy_->index(i, 0).data(Qt::UserRole).toInt() == ds->RecNo()) {
      table_->selectRow(i);
      break;
    }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)
      ->setText(multi ? QStringLiteral("Confirmar") : QStringLiteral("Selecionar"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &PickListDialog::Pick);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    proxy_->setFilterFixedString(text);
    if (proxy_->rowCount() > 0) table_->selectRow(0);
  });
  connect(table_, &QTableView::doubleClicked, this, [this] { Pick(); });
  filter_->installEventFilter(this);
  table_->installEventFilter(this);
  filter_->setFocus();
  resize(520, 360);
}

int PickListDialog::PickedRow() const { return picked_; }

QList<int> PickListDialog::TickedRows() const {
  QList<int> rows;
  for (int i = 0; i < model_->rowCount(); ++i)
    if (model_->item(i, 0)->checkState() == Qt::Checked)
      rows << model_->item(i, 0)->data(Qt::UserRole).toInt();
  std::sort(rows.begin(), rows.end());
  return rows;
}

int PickListDialog::VisibleCount() const { return proxy_->rowCount(); }

void PickListDialog::MoveSelection(int delta) {
  if (proxy_->rowCount() == 0) return;
  const QModelIndex current = table_->currentIndex();
  const int row =
      qBound(0, (current.isValid() ? current.row() : -1) + delta, proxy_->rowCount() - 1);
  table_->selectRow(row);
}

void PickListDialog::Pick() {
  if (multi_) {
    accept();
    return;
  }
  QModelIndex current = table_->currentIndex();
  if (!current.isValid() && proxy_->rowCount() > 0) current = proxy_->index(0, 0);
  if (!current.isValid()) return;  // nothing left by the filter: keep the dialog open
  picked_ = proxy_->index(current.row(), 0).data(Qt::UserRole).toInt();
  accept();
}

bool PickListDialog::eventFilter(QObject* object, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        Pick();
        return true;
      case Qt::Key_Escape:
        reject();
        return true;
      case Qt::Key_Up:
      case Qt::Key_Down:
        if (object == filter_) {
          MoveSelection(key->key() == Qt::Key_Up ? -1 : 1);
          return true;
        }
        break;
      case Qt::Key_Space:
        if (multi_ && object == table_ && table_->currentIndex().isValid()) {
          QStandardItem* item = model_->item(proxy_->mapToSource(table_->currentIndex()).row(), 0);
          item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
          return true;
        }
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(object, event);
}

// --- find

FindDialog::FindDialog(Dataset* dataset, const QString& title, QWidget* parent)
    : FindDialog(dataset, title, {}, parent) {}

FindDialog::FindDialog(Dataset* dataset, const QString& title, const QList<FindColumn>& columns,
                       QWidget* parent)
    : QDialog(parent), dataset_(dataset) {
  setObjectName(QStringLiteral("frmProcura"));
  setWindowTitle(title);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QHBoxLayout;
  fields_ = new QComboBox(this);
  fields_->setObjectName(QStringLiteral("cbbCampo"));
  for (const FindColumn& column : columns)
    if (dataset->FindField(column.fieldName)) fields_->addItem(column.label, column.fieldName);
  if (columns.isEmpty())
    for (const Field* f : dataset->Fields())
      if (f->Visible()) fields_->addItem(f->DisplayLabel(), f->FieldName());
  value_ = new QLineEdit(this);
  value_->setObjectName(QStringLiteral("edtValor"));
  form->addWidget(new QLabel(QStringLiteral("Campo:"), this));
  form->addWidget(fields_);
  form->addWidget(new QLabel(QStringLiteral("Valor:"), this));
  form->addWidget(value_, 1);
  layout->addLayout(form);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("lblMensagem"));
  layout->addWidget(message_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* find = buttons->addButton(QStringLiteral("Procurar"), QDialogButtonBox::AcceptRole);
  find->setObjectName(QStringLiteral("btnProcurar"));
  find->setDefault(true);
  buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (Search()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  value_->setFocus();
}

bool FindDialog::Search() {
  const QString field = fields_->currentData().toString();
  if (field.isEmpty() || value_->text().isEmpty()) {
    message_->setText(QStringLiteral("Informe o valor a procurar."));
    return false;
  }
  try {
    if (LocateForFind(*dataset_, field, value_->text())) return true;
    message_->setText(QStringLiteral("Registro não encontrado."));
  } catch (const std::exception& e) {
    // The move may be refused (a record being edited that cannot be posted).
    message_->setText(QString::fromUtf8(e.what()));
  }
  return false;
}

// --- busy

BusyWindow::BusyWindow(QWidget* over)
    : QWidget(over, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmAguarde"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* box = new QFrame(this);
  box->setFrameShape(QFrame::Box);
  outer->addWidget(box);
  auto* layout = new QVBoxLayout(box);
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("lblAguarde"));
  caption_->setAlignment(Qt::AlignCenter);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 0);  // busy mode: the bar keeps running
  bar_->setTextVisible(false);
  layout->addWidget(caption_);
  layout->addWidget(bar_);
  setFixedSize(220, 70);
}

void BusyWindow::SetKind(int kind) { caption_->setText(BusyCaption(kind)); }

QString BusyWindow::Caption() const { return caption_->text(); }

void BusyWindow::ShowOver(QWidget* window) {
  const QRect area = window ? window->frameGeometry() : QRect(0, 0, 800, 600);
  move(area.center() - QPoint(width() / 2, height() / 2));
  show();
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) raise();
  // The caller is about to block in server work: paint now or never.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// --- help

QString HelpWindow::PagePath(const QString& helpFile, int context) {
  const QString dir = Host::Instance().HelpDir();
  if (dir.isEmpty()) return {};
  const QString page = QString::number(context) + QStringLiteral(".html");
  const QString base = QFileInfo(helpFile).completeBaseName();
  QStringList candidates;
  if (!base.isEmpty()) candidates << QDir(dir).filePath(base + QLatin1Char('/') + page);
  candidates << QDir(dir).filePath(page);
  for (const QString& candidate : candidates)
    if (QFileInfo::exists(candidate)) return candidate;
  return {};
}

HelpWindow::HelpWindow(const QString& helpFile, int context, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAjuda"));
  setWindowTitle(QStringLiteral("Ajuda"));
  auto* layout = new QVBoxLayout(this);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("txbAjuda"));
  browser_->setOpenExternalLinks(false);
  layout->addWidget(browser_);
  const QString path = PagePath(helpFile, context);
  found_ = !path.isEmpty();
  if (found_) {
    browser_->setSearchPaths({QFileInfo(path).absolutePath()});
    browser_->setSource(QUrl::fromLocalFile(path));
  } else {
    browser_->setPlainText(
        QStringLiteral("Não há ajuda disponível para este assunto (%1, contexto %2).")
            .arg(helpFile)
            .arg(context));
  }
  resize(560, 420);
}

// --- the GUI seam

GuiDialogs::GuiDialogs() = default;

GuiDialogs::~GuiDialogs() { delete busy_; }

BusyWindow* GuiDialogs::Busy() const { return busyDepth_ > 0 ? busy_.data() : nullptr; }

MsgButton GuiDialogs::Message(const QString& text, MsgType type, MsgButtons buttons, int) {
  return MessageDetail(text, {}, type, buttons, 0);
}

void GuiDialogs::ShowStatus(const QString& text) {
  if (QMainWindow* window = Host::Instance().MainWindow())
    window->statusBar()->showMessage(text, 8000);
}

MsgButton GuiDialogs::MessageDetail(const QString& text, const QString& detail, MsgType type,
                                    MsgButtons buttons, int) {
  QMessageBox box(DialogParent());
  box.setObjectName(QStringLiteral("frmMensagem"));
  box.setText(text);
  box.setInformativeText(detail);
  switch (type) {
    case MsgType::Warning:
      box.setIcon(QMessageBox::Warning);
      box.setWindowTitle(QStringLiteral("Atenção"));
      break;
    case MsgType::Error:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle(QStringLiteral("Erro"));
      break;
    case MsgType::Information:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle(QStringLiteral("Informação"));
      break;
    case MsgType::Confirmation:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle(QStringLiteral("Confirmação"));
      break;
  }
  struct Map {
    MsgButton ours;
    QMessageBox::StandardButton qt;
    const char* text;
  };
  static const Map map[] = {{mbYes, QMessageBox::Yes, "&Sim"},
                            {mbNo, QMessageBox::No, "&Não"},
                            {mbOK, QMessageBox::Ok, "OK"},
                            {mbCancel, QMessageBox::Cancel, "Cancelar"}};
  if (buttons == mbNone) buttons = mbOK;
  for (const Map& m : map)
    if (buttons & m.ours) box.addButton(m.qt)->setText(QString::fromUtf8(m.text));
  if ((buttons & mbDefaultNo) && (buttons & mbNo)) {
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
  }
  // QMessageBox sizes itself to a short text only, cutting the title off.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(380, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  // The busy window stays on top: out of the way while the user reads.
  const bool hideBusy = busy_ && busy_->isVisible();
  if (hideBusy) busy_->hide();
  const int pressed = box.exec();
  if (hideBusy && busy_ && busyDepth_ > 0) busy_->show();
  for (const Map& m : map)
    if (pressed == m.qt) return m.ours;
  return mbNone;
}

bool GuiDialogs::PickRecord(const PickRequest& request) {
  if (!request.dataset) return false;
  PickListDialog dialog(request, false, {}, DialogParent());
  if (dialog.exec() != QDialog::Accepted || dialog.PickedRow() < 0) return false;
  request.dataset->SetRecNo(dialog.PickedRow());
  return true;
}

bool GuiDialogs::PickRecords(const PickRequest& request, const QString&, QList<int>& rows) {
  if (!request.dataset) return false;
  PickListDialog dialog(request, true, rows, DialogParent());
  if (dialog.exec() != QDialog::Accepted) return false;
  rows = dialog.TickedRows();
  return true;
}

bool GuiDialogs::Find(Dataset* dataset, const QString& title, const QList<FindColumn>& columns) {
  if (!dataset) return false;
  FindDialog dialog(dataset, title, columns, DialogParent());
  return dialog.exec() == QDialog::Accepted;
}

void GuiDialogs::BusyShow(QWidget* window, int kind) {
  ++busyDepth_;
  // One window, kept hidden between uses: a new top-level window per show
  // cost more than the server calls it stands over.
  QWidget* owner = window ? window->window() : nullptr;
  if (!busy_)
    busy_ = new BusyWindow(owner);
  else if (busy_->parentWidget() != owner && !busy_->isVisible())
    busy_->setParent(owner, busy_->windowFlags());
  busy_->SetKind(kind);
  busy_->ShowOver(window);
}

void GuiDialogs::BusyHide() {
  if (busyDepth_ == 0) return;
  if (--busyDepth_ > 0) return;
  if (busy_) busy_->hide();
}

void GuiDialogs::ShowHelp(const QString& helpFile, int helpContext) {
  if (Host::Instance().OnShowHelp) {
    Host::Instance().OnShowHelp(helpFile, helpContext);
    return;
  }
  auto* window = new HelpWindow(helpFile, helpContext, DialogParent());
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

bool GuiDialogs::InputText(const QString& caption, const QString& prompt, QString& value) {
  QInputDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(caption);
  dialog.setLabelText(prompt);
  dialog.setTextValue(value);
  // Wide enough for the caption and a title of a few words: the dialog's own
  // layout sizes it to its line, so the line is widened.
  if (auto* line = dialog.findChild<QLineEdit*>())
    line->setMinimumWidth(qMax(420, line->fontMetrics().horizontalAdvance(value) + 40));
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.textValue();
  return true;
}

namespace {

const QString kLastFolderKey = QStringLiteral("arquivos/ultimaPasta");

// The folder last chosen in a file dialog: kept beside the window layouts,
// or for this run when there is none; at first the user's documents.
QString& LastFolderOfRun() {
  static QString folder;
  return folder;
}

QString LastFolder() {
  QString folder = LastFolderOfRun();
  const QString file = Host::Instance().WindowStateFile();
  if (folder.isEmpty() && !file.isEmpty())
    folder = QSettings(file, QSettings::IniFormat).value(kLastFolderKey).toString();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void RememberFolder(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  LastFolderOfRun() = folder;
  const QString file = Host::Instance().WindowStateFile();
  if (!file.isEmpty()) QSettings(file, QSettings::IniFormat).setValue(kLastFolderKey, folder);
}

// The first pattern's extension of a filter ("Documento PDF (*.pdf)": "pdf").
QString SuffixOf(const QString& filter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
  return pattern.match(filter).captured(1);
}

bool AskFile(bool save, const QString& caption, const QString& filter, QString& path) {
  const QString offered =
      path.isEmpty() || QFileInfo(path).isRelative() ? QDir(LastFolder()).filePath(path) : path;
  QFileDialog dialog(DialogParent(), caption, offered, filter);
  dialog.setObjectName(QStringLiteral("dlgArquivo"));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) dialog.setDefaultSuffix(SuffixOf(filter));
  // Qt's own catalogue translates the rest; these are the dialog's words.
  dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Pasta:"));
  dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nome do arquivo:"));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Tipo:"));
  dialog.setLabelText(QFileDialog::Accept,
                      save ? QStringLiteral("Salvar") : QStringLiteral("Abrir"));
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Cancelar"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = dialog.selectedFiles().constFirst();
  RememberFolder(path);
  return true;
}

}  // namespace

bool GuiDialogs::SaveFileName(const QString& caption, const QString& filter, QString& path) {
  return AskFile(true, caption, filter, path);
}

bool GuiDialogs::OpenFileName(const QString& caption, const QString& filter, QString& path) {
  return AskFile(false, caption, filter, path);
}

}  // namespace fw
