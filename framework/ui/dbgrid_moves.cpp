// The grid's moves between cells and rows: OnColExit before a column changes,
// posting or cancelling the row left, inserting, cancelling and deleting.
#include "framework/ui/dbgrid.h"

#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"
#include "framework/ui/messages.h"

namespace fw {

// --- leaving a cell or a row

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
                                          MsgType::Confirmation, mbYesNoDefaultNo, 0) != mbYes)
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

}  // namespace fw
