// The grid's columns (declared or automatic, titles, widths), the table model
// the view paints from and the cell button.
#include "framework/ui/dbgrid.h"

#include "framework/ui/dbgrid_p.h"

#include <QHeaderView>
#include <QPointer>

#include <memory>
#include <utility>

namespace fw {

// --- a column

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
  // A width in characters is the data's: the title must still fit, whole.
  const int byChars = fm.averageCharWidth() * chars + 8;
  const QFontMetrics header(grid_->horizontalHeader()->font());
  return qMax(byChars, qMax(fm.horizontalAdvance(Title()), header.horizontalAdvance(Title())) + 12);
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

// --- the grid's columns

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

void ShareColumnWidths(const QList<DBGrid*>& grids) {
  QList<QPointer<DBGrid>> all;
  for (DBGrid* g : grids) all << g;
  auto copying = std::make_shared<bool>(false);
  auto setAll = [all](int column, int width) {
    for (const QPointer<DBGrid>& g : all)
      if (DBGridColumn* c = g ? g->Column(column) : nullptr)
        if (c->WidthPixels() != width) c->SetWidthPixels(width);
  };
  int columns = grids.isEmpty() ? 0 : grids.first()->ColumnCount();
  for (DBGrid* g : grids) columns = qMin(columns, g->ColumnCount());
  for (int i = 0; i < columns; ++i) {
    int widest = 0;
    for (DBGrid* g : grids) widest = qMax(widest, g->Column(i)->WidthPixels());
    setAll(i, widest);
  }
  for (DBGrid* g : grids)
    QObject::connect(g->horizontalHeader(), &QHeaderView::sectionResized, g,
                     [setAll, copying](int column, int, int width) {
                       // Each copy resizes the others' sections in turn.
                       if (*copying || width <= 0) return;
                       *copying = true;
                       setAll(column, width);
                       *copying = false;
                     });
}

// --- cell button

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

}  // namespace fw
