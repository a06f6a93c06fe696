#include "framework/ui/dbgrid.h"

#include "framework/data/errors.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/forms.h"
#include "framework/ui/guard.h"
#include "framework/ui/messages.h"
#include "framework/ui/number_entry.h"
#include "framework/ui/status_text.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include <utility>

namespace fw {

namespace {

const QColor kInfoBackground(0xFF, 0xFF, 0xE1);

bool IsNumeric(const Field* field) {
  return field &&
         (field->DataType() == FieldType::Float || field->DataType() == FieldType::Integer);
}

}  // namespace

// --- edit masks

QString ToQtInputMask(const QString& editMask) {
  if (editMask.isEmpty()) return {};
  // "mask;keepLiterals;blank": the last two parts are optional.
  QString mask = editMask;
  QChar blank = QLatin1Char('_');
  const QStringList parts = editMask.split(QLatin1Char(';'));
  if (parts.size() >= 3) {
    mask = parts.mid(0, parts.size() - 2).join(QLatin1Char(';'));
    if (!parts.last().isEmpty()) blank = parts.last().at(0);
  } else if (parts.size() == 2) {
    mask = parts.first();
  }
  static const QString qtSpecial = QStringLiteral("AaNnXx90Dd#HhBb><!{}[]\\");
  QString out;
  for (qsizetype i = 0; i < mask.size(); ++i) {
    const QChar c = mask.at(i);
    switch (c.unicode()) {
      case '\\':
        if (i + 1 < mask.size()) {
          const QChar literal = mask.at(++i);
          if (qtSpecial.contains(literal)) out += QLatin1Char('\\');
          out += literal;
        }
        break;
      case 'L':
        out += QLatin1Char('A');
        break;
      case 'l':
        out += QLatin1Char('a');
        break;
      case 'A':
        out += QLatin1Char('N');
        break;
      case 'a':
        out += QLatin1Char('n');
        break;
      case 'C':
        out += QLatin1Char('X');
        break;
      case 'c':
        out += QLatin1Char('x');
        break;
      case '0':
        out += QLatin1Char('9');
        break;
      case '9':
        out += QLatin1Char('0');
        break;
      case '#':
        out += QLatin1Char('#');
        break;
      case '>':
        out += QLatin1Char('>');
        break;
      case '<':
        if (i + 1 < mask.size() && mask.at(i + 1) == QLatin1Char('>')) {
          out += QLatin1Char('!');
          ++i;
        } else {
          out += QLatin1Char('<');
        }
        break;
      case '!':
        break;  // leading-blank trimming has no counterpart
      case '_':
        out += QLatin1Char(' ');
        break;
      default:
        if (qtSpecial.contains(c)) out += QLatin1Char('\\');
        out += c;
    }
  }
  return out + QLatin1Char(';') + blank;
}

// --- columns

DBGridColumn::DBGridColumn(DBGrid* grid, const QString& fieldName)
    : grid_(grid), fieldName_(fieldName) {}

Field* DBGridColumn::GetField() const {
  Dataset* ds = grid_->DataSet();
  return ds ? ds->FindField(fieldName_) : nullptr;
}

QString DBGridColumn::Title() const {
  if (!title_.isNull()) return title_;
  const Field* field = GetField();
  return field ? field->DisplayLabel() : fieldName_;
}

DBGridColumn& DBGridColumn::SetTitle(const QString& title) {
  title_ = title;
  grid_->ColumnsChanged();
  return *this;
}

DBGridColumn& DBGridColumn::SetTitleAlignment(Qt::Alignment alignment) {
  titleAlignment_ = alignment;
  if (!(alignment & Qt::AlignVertical_Mask)) titleAlignment_ |= Qt::AlignVCenter;
  grid_->ColumnsChanged();
  return *this;
}

DBGridColumn& DBGridColumn::SetWidthChars(int chars) {
  widthChars_ = chars;
  widthPixels_ = 0;
  grid_->ApplyWidths();
  return *this;
}

DBGridColumn& DBGridColumn::SetWidthPixels(int pixels) {
  widthPixels_ = pixels;
  widthChars_ = 0;
  grid_->ApplyWidths();
  return *this;
}

int DBGridColumn::WidthPixels() const {
  if (widthPixels_ > 0) return widthPixels_;
  const QFontMetrics fm(grid_->font());
  int chars = widthChars_;
  if (chars <= 0) {
    const Field* field = GetField();
    chars = field ? field->DisplayWidth() : 10;
  }
  const int byChars = fm.averageCharWidth() * chars + 8;
  return widthChars_ > 0 ? byChars : qMax(byChars, fm.horizontalAdvance(Title()) + 12);
}

DBGridColumn& DBGridColumn::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  return *this;
}

DBGridColumn& DBGridColumn::SetButtonStyle(ButtonStyle style) {
  buttonStyle_ = style;
  grid_->viewport()->update();
  return *this;
}

int DBGridColumn::Index() const {
  return int(grid_->Columns().indexOf(const_cast<DBGridColumn*>(this)));
}

// --- model

DatasetTableModel::DatasetTableModel(DBGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

int DatasetTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int DatasetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_->ColumnCount();
}

QVariant DatasetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !dataset_ || !dataset_->Active()) return {};
  const int row = index.row();
  if (row >= dataset_->RecordCount()) return {};
  const DBGridColumn* column = grid_->Column(index.column());
  const Field* field = column ? column->GetField() : nullptr;
  if (!field) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      if (row == dataset_->RecNo()) return field->DisplayText();
      return dataset_->DisplayTextAt(row, field->Index());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(
          Qt::Alignment((IsNumeric(field) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant DatasetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) {
    const DBGridColumn* column = grid_->Column(section);
    if (!column) return {};
    if (role == Qt::DisplayRole) return column->Title();
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(column->TitleAlignment());
    return {};
  }
  if (role != Qt::DisplayRole || !dataset_ || section != dataset_->RecNo()) return {};
  switch (dataset_->State()) {
    case DatasetState::Insert:
      return QStringLiteral("*");
    case DatasetState::Edit:
      return QStringLiteral("I");
    default:
      return QStringLiteral("\u25B8");
  }
}

Qt::ItemFlags DatasetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void DatasetTableModel::Rebind(bool reset) {
  for (const auto& c : connections_) disconnect(c);
  connections_.clear();
  if (reset) {
    beginResetModel();
    dataset_ = grid_->DataSet();
    rows_ = (dataset_ && dataset_->Active()) ? dataset_->RecordCount() : 0;
    endResetModel();
  } else {
    dataset_ = grid_->DataSet();
  }
  if (!dataset_) return;
  Dataset* ds = dataset_;
  connections_ << connect(ds, &Dataset::contentReset, this, [this] {
    beginResetModel();
    rows_ = (dataset_ && dataset_->Active()) ? dataset_->RecordCount() : 0;
    endResetModel();
  });
  connections_ << connect(ds, &Dataset::rowChanged, this, [this](int row) {
    if (row >= 0 && row < rows_)
      emit dataChanged(index(row, 0), index(row, qMax(0, columnCount() - 1)));
  });
  connections_ << connect(ds, &Dataset::rowInserted, this, [this](int row) {
    if (row < 0 || row > rows_) {
      beginResetModel();
      rows_ = dataset_ ? dataset_->RecordCount() : 0;
      endResetModel();
      return;
    }
    beginInsertRows({}, row, row);
    ++rows_;
    endInsertRows();
  });
  connections_ << connect(ds, &Dataset::rowRemoved, this, [this](int row) {
    if (row < 0 || row >= rows_) {
      beginResetModel();
      rows_ = dataset_ ? dataset_->RecordCount() : 0;
      endResetModel();
      return;
    }
    beginRemoveRows({}, row, row);
    --rows_;
    endRemoveRows();
  });
  // Only the rows whose marker changes are repainted: the dataset may be large.
  auto indicator = [this] {
    const int now = dataset_ ? dataset_->RecNo() : -1;
    for (int row : {markerRow_, now})
      if (row >= 0 && row < rows_) emit headerDataChanged(Qt::Vertical, row, row);
    markerRow_ = now;
  };
  connections_ << connect(ds, &Dataset::currentChanged, this, indicator);
  connections_ << connect(ds, &Dataset::stateChanged, this, indicator);
}

void DatasetTableModel::ColumnsChanged() {
  beginResetModel();
  rows_ = (dataset_ && dataset_->Active()) ? dataset_->RecordCount() : 0;
  endResetModel();
}

// --- delegate

class DBGridDelegate : public QStyledItemDelegate {
 public:
  explicit DBGridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("inplaceEditor"));
    editor->setFrame(false);
    grid_->EditorCreated(editor, index);
    return editor;
  }
  // The editor is filled once, when it opens; later changes of the record
  // must not overwrite what the user is typing.
  void setEditorData(QWidget*, const QModelIndex&) const override {}
  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override {
    QRect r = option.rect;
    if (grid_->IsCellButton(index)) r.setRight(grid_->CellButtonRect(index).left() - 1);
    editor->setGeometry(r);
  }
  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    grid_->EditorDestroyed(qobject_cast<QLineEdit*>(editor));
    QStyledItemDelegate::destroyEditor(editor, index);
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    if (!grid_->IsCellButton(index)) return;
    QStyleOptionButton button;
    button.rect = grid_->CellButtonRect(index);
    button.text = QStringLiteral("...");
    button.state = QStyle::State_Enabled | QStyle::State_Raised;
    grid_->style()->drawControl(QStyle::CE_PushButton, &button, painter, grid_);
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::KeyPress)
      return grid_->EditorKeyFilter(static_cast<QKeyEvent*>(event));
    // Every other way of putting text into the editor goes through the key
    // handlers too.
    auto* editor = qobject_cast<QLineEdit*>(object);
    switch (event->type()) {
      case QEvent::InputMethod: {
        const QString commit = static_cast<QInputMethodEvent*>(event)->commitString();
        if (commit.isEmpty()) return false;
        Guard([&] { grid_->TypeText(commit); });
        return true;
      }
      case QEvent::ContextMenu:
        if (editor)
          grid_->EditorContextMenu(editor, static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick: {
        if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton) break;
        const QClipboard* clipboard = QGuiApplication::clipboard();
        if (event->type() == QEvent::MouseButtonRelease && clipboard->supportsSelection())
          Guard([&] { grid_->TypeText(clipboard->text(QClipboard::Selection)); });
        return true;
      }
      default:
        break;
    }
    if (event->type() == QEvent::ShortcutOverride) {
      // Keys the grid acts on must reach it, not a shortcut of the window.
      auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Insert:
          event->accept();
          return false;
        default:
          break;
      }
    }
    // Focus changes are the grid's business (DoExit), not the delegate's.
    return false;
  }

 private:
  DBGrid* grid_;
};

// --- grid

DBGrid::DBGrid(const QString& name, QWidget* parent)
    : QTableView(parent), model_(new DatasetTableModel(this)), delegate_(new DBGridDelegate(this)) {
  setObjectName(name);
  setModel(model_);
  setItemDelegate(delegate_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(true);
  setWordWrap(false);
  setFocusPolicy(Qt::StrongFocus);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setMinimumWidth(14);
  verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  connect(qApp, &QApplication::focusChanged, this, &DBGrid::FocusChanged);
}

DBGrid::~DBGrid() { disconnect(qApp, &QApplication::focusChanged, this, &DBGrid::FocusChanged); }

Dataset* DBGrid::DataSet() const { return source_ ? source_->DataSet() : nullptr; }

void DBGrid::SetDataSource(fw::DataSource* source) {
  if (source == source_ && boundDataset_ == DataSet()) return;
  for (const auto& c : sourceConnections_) disconnect(c);
  sourceConnections_.clear();
  source_ = source;
  if (source) {
    sourceConnections_ << connect(source, &DataSource::dataSetChanged, this,
                                  [this] { DataSetRebound(); });
    sourceConnections_ << connect(source, &QObject::destroyed, this, [this] {
      source_ = nullptr;
      DataSetRebound();
    });
  }
  DataSetRebound();
}

void DBGrid::DataSetRebound() {
  CloseEditor(false);
  for (const auto& c : datasetConnections_) disconnect(c);
  datasetConnections_.clear();
  if (boundDataset_)
    for (Field* field : boundDataset_->Fields()) disconnect(field, nullptr, this, nullptr);
  boundDataset_ = DataSet();
  recordModified_ = false;
  if (Dataset* ds = boundDataset_) {
    auto connectFields = [this] {
      if (!boundDataset_) return;
      for (Field* field : boundDataset_->Fields())
        connect(field, &Field::focusRequested, this, &DBGrid::FieldFocusRequested,
                Qt::UniqueConnection);
    };
    connectFields();
    datasetConnections_ << connect(ds, &Dataset::contentReset, this, [this, connectFields] {
      ++contentResets_;
      CloseEditor(false);
      connectFields();
      // Automatic columns follow the fields, which a first packet may bring.
      if (columns_.empty() && AutoColumnsStale()) ColumnsChanged();
    });
    datasetConnections_ << connect(ds, &Dataset::currentChanged, this,
                                   [this] { SyncFromDataset(); });
    datasetConnections_ << connect(ds, &Dataset::stateChanged, this, [this](DatasetState state) {
      recordModified_ = false;
      if (state != DatasetState::Edit && state != DatasetState::Insert) CloseEditor(false);
    });
    datasetConnections_ << connect(ds, &Dataset::fieldChanged, this, [this] {
      const Dataset* d = boundDataset_;
      if (d && (d->State() == DatasetState::Edit || d->State() == DatasetState::Insert))
        recordModified_ = true;
    });
    datasetConnections_ << connect(ds, &QObject::destroyed, this, [this] { DataSetRebound(); });
  }
  autoColumns_.clear();
  if (updating_ > 0) {
    // The view is rebuilt once, when the update ends.
    model_->Rebind(false);
    columnsPending_ = true;
    return;
  }
  model_->Rebind();
  ApplyWidths();
  selectedCol_ = qBound(0, selectedCol_, qMax(0, ColumnCount() - 1));
  SyncFromDataset();
}

// --- columns

DBGridColumn& DBGrid::AddColumn(const QString& fieldName) {
  autoColumns_.clear();
  columns_.push_back(std::make_unique<DBGridColumn>(this, fieldName));
  ColumnsChanged();
  return *columns_.back();
}

void DBGrid::ClearColumns() {
  columns_.clear();
  autoColumns_.clear();
  ColumnsChanged();
}

bool DBGrid::AutoColumnsStale() const {
  QStringList names;
  if (boundDataset_)
    for (const Field* field : boundDataset_->Fields())
      if (field->Visible()) names << field->FieldName();
  QStringList shown;
  for (const auto& c : autoColumns_) shown << c->FieldName();
  return names != shown;
}

QList<DBGridColumn*> DBGrid::Columns() const {
  QList<DBGridColumn*> list;
  if (!columns_.empty()) {
    for (const auto& c : columns_) list << c.get();
    return list;
  }
  if (autoColumns_.empty() && boundDataset_) {
    for (Field* field : boundDataset_->Fields())
      if (field->Visible())
        autoColumns_.push_back(
            std::make_unique<DBGridColumn>(const_cast<DBGrid*>(this), field->FieldName()));
  }
  for (const auto& c : autoColumns_) list << c.get();
  return list;
}

DBGridColumn* DBGrid::Column(int index) const {
  if (index < 0) return nullptr;
  if (!columns_.empty())
    return index < int(columns_.size()) ? columns_[size_t(index)].get() : nullptr;
  const QList<DBGridColumn*> list = Columns();
  return index < list.size() ? list.at(index) : nullptr;
}

int DBGrid::ColumnCount() const {
  return columns_.empty() ? int(Columns().size()) : int(columns_.size());
}

void DBGrid::EndUpdate() {
  if (updating_ == 0 || --updating_ > 0) return;
  const bool columns = std::exchange(columnsPending_, false);
  const bool widths = std::exchange(widthsPending_, false);
  if (columns)
    ColumnsChanged();
  else if (widths)
    ApplyWidths();
}

void DBGrid::ColumnsChanged() {
  if (updating_ > 0) {
    columnsPending_ = true;
    return;
  }
  if (columns_.empty()) autoColumns_.clear();
  CloseEditor(false);
  model_->ColumnsChanged();
  ApplyWidths();
  selectedCol_ = qBound(0, selectedCol_, qMax(0, ColumnCount() - 1));
  SyncFromDataset();
}

void DBGrid::ApplyWidths() {
  if (updating_ > 0) {
    widthsPending_ = true;
    return;
  }
  const QList<DBGridColumn*> list = Columns();
  for (int i = 0; i < list.size() && i < horizontalHeader()->count(); ++i)
    setColumnWidth(i, list.at(i)->WidthPixels());
}

// --- selection

Field* DBGrid::SelectedField() const {
  const DBGridColumn* column = Column(selectedCol_);
  return column ? column->GetField() : nullptr;
}

void DBGrid::SetSelectedIndex(int column) {
  if (column < 0 || column >= ColumnCount()) return;
  if (EditorOpen() && column != selectedCol_) CommitEditor();
  selectedCol_ = column;
  SyncFromDataset();
}

void DBGrid::SetSelectedField(const Field* field) {
  if (!field) return;
  const QList<DBGridColumn*> list = Columns();
  for (int i = 0; i < list.size(); ++i)
    if (list.at(i)->FieldName() == field->FieldName()) {
      SetSelectedIndex(i);
      return;
    }
}

void DBGrid::SetViewCurrent(int row, int column) {
  ++syncing_;
  if (row >= 0 && row < model_->rowCount() && column >= 0 && column < model_->columnCount()) {
    const QModelIndex index = model_->index(row, column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    // Scrolling lays the whole view out; a hidden grid (another page) does it
    // once, when it is shown.
    if (isVisible())
      scrollTo(index);
    else
      scrollPending_ = true;
  } else {
    selectionModel()->clearCurrentIndex();
    selectionModel()->clearSelection();
  }
  --syncing_;
  viewport()->update();
}

void DBGrid::SyncFromDataset() {
  const Dataset* ds = boundDataset_;
  SetViewCurrent(ds && ds->Active() ? ds->RecNo() : -1, selectedCol_);
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (syncing_) return;
  // The view moved by itself (rows inserted or removed above the cell): the
  // dataset's current record is the truth; user moves go through MoveToCell.
  QTimer::singleShot(0, this, [this] { SyncFromDataset(); });
}

// --- editor

bool DBGrid::EditorOpen() const { return editor_ != nullptr; }

QLineEdit* DBGrid::Editor() const { return editor_; }

QString DBGrid::EditorText() const {
  if (editor_) return editor_->text();
  const Field* field = SelectedField();
  return field ? field->EditText() : QString();
}

int DBGrid::EditorSelStart() const {
  if (!editor_) return 0;
  return editor_->hasSelectedText() ? editor_->selectionStart() : editor_->cursorPosition();
}

int DBGrid::EditorSelLength() const {
  if (!editor_) return int(EditorText().size());
  return editor_->hasSelectedText() ? int(editor_->selectedText().size()) : 0;
}

void DBGrid::EditorCreated(QLineEdit* editor, const QModelIndex& index) {
  editor_ = editor;
  editorModified_ = false;
  const DBGridColumn* column = Column(index.column());
  const Field* field = column ? column->GetField() : nullptr;
  if (field) {
    const QString mask = ToQtInputMask(field->EditMask());
    if (!mask.isEmpty())
      editor->setInputMask(mask);
    else if (field->DataType() == FieldType::String && field->Size() > 0)
      editor->setMaxLength(field->Size());
    editor->setAlignment(IsNumeric(field) ? Qt::AlignRight | Qt::AlignVCenter
                                          : Qt::AlignLeft | Qt::AlignVCenter);
    editor->setText(field->EditText());
  }
  editor->selectAll();
  editor->setAcceptDrops(false);  // dropped text would skip the key handlers
  connect(editor, &QLineEdit::textEdited, this, [this] { editorModified_ = true; });
}

void DBGrid::EditorDestroyed(QLineEdit* editor) {
  if (editor == editor_) {
    editor_ = nullptr;
    editorModified_ = false;
  }
}

bool DBGrid::OpenEditor() {
  if (editor_) return true;
  // The dataset stays as it is: the first key accepted starts the edit.
  if (!CanEditCell()) return false;
  const Dataset* ds = boundDataset_;
  const int row = ds ? ds->RecNo() : -1;
  if (row < 0 || row >= model_->rowCount()) return false;
  SetViewCurrent(row, selectedCol_);
  const QModelIndex index = model_->index(row, selectedCol_);
  if (!QAbstractItemView::edit(index, QAbstractItemView::AllEditTriggers, nullptr)) return false;
  return editor_ != nullptr;
}

void DBGrid::CloseEditor(bool commit) {
  if (!editor_) return;
  if (commit) {
    CommitEditor();
    return;
  }
  QLineEdit* editor = editor_;
  editor_ = nullptr;
  editorModified_ = false;
  // While a question's window is up the editor is still its window's focus
  // child: closing it then must hand the focus to the grid, not to the next
  // control of the window (the page's tab).
  const bool hadFocus = editor->hasFocus() || editor->window()->focusWidget() == editor;
  QAbstractItemView::closeEditor(editor, QAbstractItemDelegate::NoHint);
  if (hadFocus) setFocus();
}

bool DBGrid::CommitEditor() {
  if (!editor_) return true;
  if (editorModified_) {
    Field* field = SelectedField();
    const QString text = editor_->text();
    const bool ok = Guard([&] {
      if (!field) return;
      if (!EnsureEditing()) Abort();
      field->SetEditText(text);
    });
    if (!ok) {
      if (editor_) editor_->setFocus();
      return false;
    }
    recordModified_ = true;
  }
  CloseEditor(false);
  return true;
}

bool DBGrid::RecordModified() const { return recordModified_ || (editor_ && editorModified_); }

// --- editing checks

bool DBGrid::CanEditCell() const {
  const Dataset* ds = boundDataset_;
  if (readOnly_ || !ds || !ds->Active()) return false;
  const DBGridColumn* column = Column(selectedCol_);
  const Field* field = column ? column->GetField() : nullptr;
  return column && field && !column->ReadOnly() && !field->ReadOnly();
}

bool DBGrid::EnsureEditing() {
  Dataset* ds = boundDataset_;
  if (!ds || !ds->Active()) return false;
  if (ds->State() == DatasetState::Edit || ds->State() == DatasetState::Insert) return true;
  // Typing into an empty grid starts a new record, as there is none to edit.
  const bool ok = Guard([ds] {
    if (ds->IsEmpty())
      ds->Append();
    else
      ds->Edit();
  });
  return ok && (ds->State() == DatasetState::Edit || ds->State() == DatasetState::Insert);
}

bool DBGrid::RunKeyPress(QChar& ch) {
  if (!OnKeyPress) return true;
  QChar key = ch;
  if (!Guard([&] { OnKeyPress(this, key); })) return false;
  ch = key;
  return !key.isNull();
}

bool DBGrid::RunColExit() {
  if (!OnColExit) return true;
  return Guard([this] { OnColExit(this); });
}

bool DBGrid::LeaveRow() {
  Dataset* ds = boundDataset_;
  if (!ds) return true;
  const DatasetState state = ds->State();
  if (state != DatasetState::Edit && state != DatasetState::Insert) return true;
  if (RecordModified()) return Guard([ds] { ds->Post(); });
  return Guard([ds] { ds->Cancel(); });
}

int DBGrid::LeaveRowFor(int target) {
  Dataset* ds = boundDataset_;
  const int current = ds->RecNo();
  const bool cancelsInsert = ds->State() == DatasetState::Insert && !RecordModified();
  // The target's key, in case leaving reloads the dataset (a save that
  // reloads the table): the row is then found again by it.
  QVariantList key;
  if (!locateFields_.isEmpty() && target >= 0 && target < ds->RecordCount())
    for (const QString& name : locateFields_.split(QLatin1Char(';')))
      if (const Field* field = ds->FindField(name)) key << ds->ValueAt(target, field->Index());
  const int resets = contentResets_;
  if (!LeaveRow()) return kLeaveRefused;
  if (contentResets_ != resets && !key.isEmpty()) {
    Guard([&] { ds->Locate(locateFields_, key); });
    return ds->RecNo();
  }
  // The cancelled new record no longer sits above the target row.
  if (cancelsInsert && target > current) --target;
  return qBound(-1, target, ds->RecordCount() - 1);
}

// --- user actions

bool DBGrid::MoveToCell(int row, int column) {
  Dataset* ds = boundDataset_;
  if (!ds || !ds->Active()) return false;
  column = qBound(0, column, qMax(0, ColumnCount() - 1));
  const int current = ds->RecNo();
  if (row < 0 || row >= ds->RecordCount()) row = current;
  if (row == current && column == selectedCol_) return true;
  if (!CommitEditor()) return false;
  const bool columnChanges = column != selectedCol_;
  if (columnChanges && !RunColExit()) return false;
  if (row != current) {
    row = LeaveRowFor(row);
    if (row == kLeaveRefused) return false;
    if (row >= 0 && !Guard([ds, row] { ds->SetRecNo(row); })) return false;
  }
  selectedCol_ = column;
  SyncFromDataset();
  if (columnChanges && OnColEnter) Guard([this] { OnColEnter(this); });
  return true;
}

bool DBGrid::NextColumn(bool backwards) {
  Dataset* ds = boundDataset_;
  if (!ds || !ds->Active()) return false;
  const int count = ColumnCount();
  if (count == 0) return false;
  const int target = selectedCol_ + (backwards ? -1 : 1);
  if (target >= 0 && target < count) return MoveToCell(ds->RecNo(), target);
  // Past the last column: the first column of the next record (appending
  // after the last); before the first: the last column of the previous one.
  if (!CommitEditor()) return false;
  if (backwards) {
    if (ds->RecNo() <= 0) return false;
    if (!RunColExit()) return false;
    const int wanted = count - 1;
    const int saved = selectedCol_;
    selectedCol_ = wanted;  // ColExit already ran for the old column
    if (!MoveRows(-1)) {
      selectedCol_ = saved;
      SyncFromDataset();
      return false;
    }
    if (OnColEnter) Guard([this] { OnColEnter(this); });
    return true;
  }
  if (!RunColExit()) return false;
  const int saved = selectedCol_;
  selectedCol_ = 0;
  if (!MoveRows(1)) {
    selectedCol_ = saved;
    SyncFromDataset();
    return false;
  }
  SyncFromDataset();
  if (OnColEnter) Guard([this] { OnColEnter(this); });
  return true;
}

bool DBGrid::MoveRows(int delta) {
  Dataset* ds = boundDataset_;
  if (!ds || !ds->Active() || delta == 0) return false;
  if (!CommitEditor()) return false;
  const int current = ds->RecNo();
  const int count = ds->RecordCount();
  const DatasetState state = ds->State();
  if (delta > 0 && state == DatasetState::Insert && !RecordModified()) {
    // An untouched new record: Down does not add another one after it.
    if (current >= count - 1) return true;
    return Guard([ds] { ds->Cancel(); });
  }
  if (delta > 0 && current >= count - 1) {
    if (!LeaveRow()) return false;
    if (delta != 1) return true;  // only Down appends, not a page down
    if (readOnly_ || !allowAppend_ || ds->State() != DatasetState::Browse) return true;
    return Guard([ds] { ds->Append(); });
  }
  const int target = LeaveRowFor(qBound(0, current + delta, count - 1));
  if (target == kLeaveRefused) return false;
  if (target < 0) return true;
  if (!Guard([ds, target] { ds->SetRecNo(target); })) return false;
  SyncFromDataset();
  return true;
}

bool DBGrid::InsertRecord() {
  Dataset* ds = boundDataset_;
  if (readOnly_ || !ds || !ds->Active()) return false;
  if (!CommitEditor() || !LeaveRow()) return false;
  return Guard([ds] { ds->Insert(); });
}

bool DBGrid::CancelRecord() {
  CloseEditor(false);
  Dataset* ds = boundDataset_;
  if (!ds || (ds->State() != DatasetState::Edit && ds->State() != DatasetState::Insert))
    return false;
  return Guard([ds] { ds->Cancel(); });
}

bool DBGrid::DeleteRecord() {
  Dataset* ds = boundDataset_;
  if (readOnly_ || !ds || !ds->Active()) return false;
  if (ds->IsEmpty() && ds->State() != DatasetState::Insert) return false;
  if (confirmDelete_ && Dialogs().Message(StandardMsg(QStringLiteral("Excl")),
                                          MsgType::Confirmation, mbYesNo, 0) != mbYes)
    return false;
  CloseEditor(false);
  return Guard([ds] {
    if (ds->State() == DatasetState::Insert) {
      ds->Cancel();
      return;
    }
    if (ds->State() == DatasetState::Edit) ds->Cancel();
    ds->Delete();
  });
}

void DBGrid::RaiseEditButton() {
  if (!CommitEditor()) return;
  if (OnEditButtonClick) Guard([this] { OnEditButtonClick(this); });
}

bool DBGrid::IsCellButton(const QModelIndex& index) const {
  if (!index.isValid() || index.column() != selectedCol_) return false;
  const Dataset* ds = boundDataset_;
  if (!ds || index.row() != ds->RecNo()) return false;
  const DBGridColumn* column = Column(index.column());
  return column && column->GetButtonStyle() == ButtonStyle::Ellipsis;
}

QRect DBGrid::CellButtonRect(const QModelIndex& index) const {
  const QRect cell = visualRect(index);
  const int width = qMin(cell.height(), 20);
  return QRect(cell.right() - width + 1, cell.top(), width, cell.height());
}

// --- focus

bool DBGrid::IsInside(const QWidget* widget) const {
  return widget && (widget == this || isAncestorOf(widget));
}

QWidget* DBGrid::Screen() const {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (w->isWindow() || qobject_cast<QMdiSubWindow*>(w)) return w;
  return window();
}

bool DBGrid::FocusedHere() const {
  const QWidget* focus = window()->focusWidget();
  return IsInside(focus);
}

void DBGrid::FocusChanged(QWidget*, QWidget* now) {
  // Only a move to another control of the same screen is an exit or an entry.
  // The focus leaving for another window (a message box), another MDI child
  // or out of the application comes back to the grid as it left it; and a
  // click on a toolbar or a menu passes the focus through the screen's frame
  // (an ancestor of the grid), which hands it straight back.
  if (!now) return;
  const bool inside = IsInside(now);
  if (!inside) {
    if (now->isAncestorOf(this)) return;
    const QWidget* screen = Screen();
    if (now != screen && !screen->isAncestorOf(now)) return;
  }
  if (inside && !hasFocus_)
    DoEnter();
  else if (!inside && hasFocus_)
    DoExit();
}

void DBGrid::DoEnter() {
  hasFocus_ = true;
  if (OnEnter) Guard([this] { OnEnter(this); });
}

void DBGrid::DoExit() {
  hasFocus_ = false;
  Dataset* ds = boundDataset_;
  bool ok = true;
  if (cancelOnExit_ && ds && ds->State() == DatasetState::Insert && !RecordModified()) {
    CloseEditor(false);
    ok = Guard([ds] { ds->Cancel(); });
  } else {
    ok = CommitEditor();
  }
  if (!ok) {
    // The field refused the text: the focus goes back to it.
    hasFocus_ = true;
    setFocus();
    return;
  }
  if (OnExit) Guard([this] { OnExit(this); });
}

void DBGrid::FieldFocusRequested(Field* field) {
  if (!field || field->DataSet() != boundDataset_ || startingEditForKey_) return;
  const QList<DBGridColumn*> list = Columns();
  int column = -1;
  for (int i = 0; i < list.size(); ++i)
    if (list.at(i)->FieldName() == field->FieldName()) column = i;
  if (column < 0) return;
  SetSelectedIndex(column);
  ActiveControlTracker::TakeFocus(this);
  if (!hasFocus_) DoEnter();  // the window may not be active (hidden, offscreen)
}

// --- keys

bool DBGrid::event(QEvent* event) {
  if (event->type() == QEvent::Show && scrollPending_) {
    const bool handled = QTableView::event(event);
    scrollPending_ = false;
    if (currentIndex().isValid()) scrollTo(currentIndex());
    return handled;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      keyPressEvent(key);
      return true;
    }
  }
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
      case Qt::Key_Escape:
      case Qt::Key_Insert:
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_F2:
      case Qt::Key_Up:
      case Qt::Key_Down:
        event->accept();
        return true;
      case Qt::Key_Delete:
        if (mods & Qt::ControlModifier) {
          event->accept();
          return true;
        }
        break;
      default:
        if (!key->text().isEmpty() && !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
          event->accept();
          return true;
        }
    }
  }
  return QTableView::event(event);
}

void DBGrid::keyPressEvent(QKeyEvent* event) {
  if (HandleKey(event, false))
    event->accept();
  else
    event->ignore();
}

bool DBGrid::EditorKeyFilter(QKeyEvent* event) {
  if (bypassFilter_) return false;
  return HandleKey(event, true);
}

namespace {

// Keys that take text out of the editor without typing a character: they
// pass the key handler as a backspace would.
bool IsDeletingKey(const QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && !(event->modifiers() & Qt::ControlModifier)) return true;
  for (QKeySequence::StandardKey key :
       {QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo, QKeySequence::DeleteEndOfWord,
        QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine})
    if (event->matches(key)) return true;
  return false;
}

}  // namespace

bool DBGrid::HandleKey(QKeyEvent* event, bool fromEditor) {
  int key = event->key();
  const Qt::KeyboardModifiers mods = event->modifiers();
  if (OnKeyDown) {
    if (!Guard([&] { OnKeyDown(this, key, mods); })) return true;
    if (key == 0) return true;
  }
  if (event->matches(QKeySequence::Paste)) {
    // Pasted text is typed, character by character, through the key handlers.
    TypeText(QGuiApplication::clipboard()->text());
    return true;
  }
  const bool ctrl = mods & Qt::ControlModifier;
  const bool alt = mods & Qt::AltModifier;
  Dataset* ds = boundDataset_;
  switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
      if (ctrl || alt) return false;
      QChar ch = QLatin1Char('\t');
      RunKeyPress(ch);  // Tab moves whatever the handler did with its character
      NextColumn(key == Qt::Key_Backtab || (mods & Qt::ShiftModifier));
      return true;
    }
    case Qt::Key_Escape:
      CancelRecord();
      return true;
    case Qt::Key_Up:
      MoveRows(-1);
      return true;
    case Qt::Key_Down:
      MoveRows(1);
      return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int page =
          qMax(1, viewport()->height() / qMax(1, verticalHeader()->defaultSectionSize()) - 1);
      MoveRows(key == Qt::Key_PageUp ? -page : page);
      return true;
    }
    case Qt::Key_Home:
    case Qt::Key_End:
      if (fromEditor && !ctrl) return false;
      if (!ds || !ds->Active()) return true;
      if (ctrl)
        MoveToCell(key == Qt::Key_Home ? 0 : ds->RecordCount() - 1, selectedCol_);
      else
        MoveToCell(ds->RecNo(), key == Qt::Key_Home ? 0 : ColumnCount() - 1);
      return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (fromEditor) return false;
      if (ds && ds->Active())
        MoveToCell(ds->RecNo(), selectedCol_ + (key == Qt::Key_Left ? -1 : 1));
      return true;
    case Qt::Key_Insert:
      if (mods & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) return false;
      InsertRecord();
      return true;
    case Qt::Key_Delete:
      if (!ctrl) break;
      if (OnDeleteRecord)
        Guard([this] { OnDeleteRecord(this); });
      else
        DeleteRecord();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      QChar ch = QLatin1Char('\r');
      if (!RunKeyPress(ch)) return true;
      if (ctrl) {
        if (IsCellButton(currentIndex())) RaiseEditButton();
        return true;
      }
      if (editor_)
        CommitEditor();
      else
        OpenEditor();
      return true;
    }
    case Qt::Key_F2:
      OpenEditor();
      return true;
    default:
      break;
  }
  if (fromEditor && IsDeletingKey(event)) {
    QChar ch = QLatin1Char('\b');
    if (!RunKeyPress(ch) || !BeginEditForKey()) return true;
    return !editor_;  // the editor deletes
  }
  const QString text = event->text();
  if (text.isEmpty() || ctrl || alt) return false;
  const QChar typed = text.at(0);
  if (typed.category() == QChar::Other_Control && typed != QLatin1Char('\b')) return false;
  return TypeChar(typed, event, fromEditor);
}

bool DBGrid::BeginEditForKey() {
  Dataset* ds = boundDataset_;
  if (!CanEditCell()) return false;
  if (ds->State() == DatasetState::Edit || ds->State() == DatasetState::Insert) return true;
  const int column = selectedCol_;
  // The focus moves of the before-edit handlers serve edits started from a
  // toolbar; an edit started by a key keeps the cell the key was typed into.
  startingEditForKey_ = true;
  const bool editing = EnsureEditing();
  startingEditForKey_ = false;
  if (!editing) return false;
  if (selectedCol_ == column && FocusedHere()) return true;
  // Moved all the same (another grid took the focus, the column was set):
  // the key lands nowhere, and the editor opens where the user now is.
  if (FocusedHere()) OpenEditor();
  return false;
}

bool DBGrid::TypeChar(QChar typed, QKeyEvent* original, bool fromEditor) {
  // A numeric cell takes the decimal key of the keyboard and of the keypad
  // as the comma; what it refuses is explained, never dropped unseen.
  const bool numeric = IsNumeric(SelectedField());
  QChar ch = numeric ? NumberKey(typed) : typed;
  const int refusals = RefusalCount();
  if (!RunKeyPress(ch)) {
    if (numeric && ch.isNull() && RefusalCount() == refusals)
      RefuseInput(NumberKeyReason(NumberKey(typed)), this);
    return true;
  }
  if (!BeginEditForKey()) return true;
  if (!editor_) {
    if (fromEditor) return true;  // the editor went away meanwhile
    if (!OpenEditor() || !editor_) return true;
    editor_->selectAll();  // the first key replaces the cell's text
  }
  if (fromEditor && original && ch == typed) return false;  // the editor takes it as typed
  // The (possibly replaced) character goes to the editor past the filter.
  QKeyEvent replay(QEvent::KeyPress, original && ch == typed ? original->key() : 0,
                   original ? original->modifiers() : Qt::NoModifier, QString(ch));
  bypassFilter_ = true;
  QCoreApplication::sendEvent(editor_, &replay);
  bypassFilter_ = false;
  return true;
}

void DBGrid::TypeText(const QString& pasted) {
  const int column = selectedCol_;
  // A number pasted with a comma ("1.234,5") has its points as grouping;
  // without one, a point is the decimal point ("12.5").
  QString text = pasted;
  if (IsNumeric(SelectedField()) && text.contains(QLatin1Char(','))) text.remove(QLatin1Char('.'));
  for (const QChar c : text) {
    if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) break;  // a cell holds one line
    if (c.category() == QChar::Other_Control) continue;
    TypeChar(c, nullptr, editor_ != nullptr);
    if (selectedCol_ != column) break;  // the rest was not meant for another cell
  }
}

void DBGrid::EditorContextMenu(QLineEdit* editor, const QPoint& globalPos) {
  // Only what keeps the key handlers in charge: text comes in by typing.
  QMenu menu(this);  // not the editor: a paste that moves the cell closes it
  QAction* copy = menu.addAction(QStringLiteral("Copiar"), editor, &QLineEdit::copy);
  copy->setEnabled(editor->hasSelectedText() && editor->echoMode() == QLineEdit::Normal);
  QAction* paste = menu.addAction(QStringLiteral("Colar"), this, [this] {
    Guard([this] { TypeText(QGuiApplication::clipboard()->text()); });
  });
  paste->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
  menu.addSeparator();
  menu.addAction(QStringLiteral("Selecionar tudo"), editor, &QLineEdit::selectAll);
  menu.exec(globalPos);
}

// --- mouse

void DBGrid::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const QModelIndex index = indexAt(pos);
  ActiveControlTracker::TakeFocus(this);
  if (!index.isValid() || event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  if (IsCellButton(index) && CellButtonRect(index).contains(pos)) {
    RaiseEditButton();
    event->accept();
    return;
  }
  // A click only moves: an edit starts with the first key typed.
  MoveToCell(index.row(), index.column());
  if (OnCellClick) Guard([this] { OnCellClick(this); });
  event->accept();
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid() && MoveToCell(index.row(), index.column()) && !editor_) OpenEditor();
  event->accept();
}

// --- looks

void DBGrid::SetInfoBackground(bool on) {
  infoBackground_ = on;
  QPalette pal = palette();
  pal.setColor(QPalette::Base,
               on ? kInfoBackground : QApplication::palette(this).color(QPalette::Base));
  setPalette(pal);
  viewport()->setPalette(pal);
  viewport()->setAutoFillBackground(true);
}

void DBGrid::SetBorderless(bool on) { setFrameShape(on ? QFrame::NoFrame : QFrame::StyledPanel); }

}  // namespace fw
