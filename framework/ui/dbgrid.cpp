// The grid itself: construction, binding to a data source, following the dataset's
// current record, the mouse and the looks.
#include "framework/ui/dbgrid.h"

#include "framework/ui/dbgrid_p.h"
#include "framework/ui/forms.h"
#include "framework/ui/guard.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

namespace fw {

namespace {

const QColor kInfoBackground(0xFF, 0xFF, 0xE1);

}  // namespace

// --- construction and binding

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
