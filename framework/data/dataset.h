#pragma once
// Dataset: an in-memory table with typed fields, a current record, a state
// (inactive, browse, edit, insert), a filter, a change log and event hooks.
// Grids, screens and the server's packets all go through it.
//
// Order of hooks and state changes (data sources are told synchronously,
// inside the operation, before the After hook):
//   SetData         opens on the first record under the current filter;
//                   state inactive->browse; AfterScroll
//   SetFilter / SetFiltered on an open dataset
//                   repositions on the first matching record; AfterScroll
//   move (First, Next, SetRecNo, Locate found)
//                   AfterScroll
//   Insert / Append BeforeInsert (may abort: nothing happens); a new empty
//                   record becomes current; state insert; AfterScroll
//   Edit            BeforeEdit (may abort); state edit
//   Post            BeforePost (may abort: state and input stay); record
//                   written and logged; state browse; AfterPost
//   Cancel          edit restored / new record discarded; state browse;
//                   AfterCancel; after a cancelled insert also AfterScroll
//   Delete          record removed and logged; AfterDelete; AfterScroll
// A Before hook aborts by throwing fw::EAbort (or any exception); the
// exception propagates to the caller and the dataset is left as it was.
//
// Moving (First, Next, Prior, Last, SetRecNo, Locate), Insert/Append, a filter
// change and MergeChangeLog first end an edit in progress: a modified record
// is posted (BeforePost may abort the move), an untouched one cancelled.
// Edit while editing does nothing; Cancel in browse does nothing; Delete while
// inserting cancels the new record.
//
// Misuse (Edit on an empty dataset, Post in browse, a field name that does not
// exist, ...) throws fw::Error with a Portuguese message.

#include "framework/data/field.h"
#include "framework/data/packet.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <functional>
#include <memory>

namespace fw {

enum class DatasetState { Inactive, Browse, Edit, Insert };

class DataSource;
class DatasetImpl;

enum LocateOption { loNone = 0, loCaseInsensitive = 1, loPartialKey = 2 };
using LocateOptions = int;

class Dataset : public QObject {
  Q_OBJECT
 public:
  using Hook = std::function<void(Dataset&)>;

  explicit Dataset(const QString& name, QObject* parent = nullptr);
  ~Dataset() override;

  // --- definition -------------------------------------------------------
  // Declares a field (only while inactive). A dataset without declared fields
  // takes its fields from the first packet it is given.
  Field* AddField(const FieldDef& def);
  Field* FieldByName(QStringView name) const;  // fw::Error when absent
  Field* FindField(QStringView name) const;    // nullptr when absent
  const QList<Field*>& Fields() const;
  int FieldCount() const;

  // --- content ----------------------------------------------------------
  // Replaces content and change log; declared fields are matched by name
  // (packet columns not declared are ignored; a declared field missing from
  // the packet, or of another type, throws fw::Error and leaves the dataset
  // as it was). Ends any edit in progress without posting.
  void SetData(const DataPacket& packet);
  DataPacket Data() const;    // all rows (filter ignored), pending changes applied
  DeltaPacket Delta() const;  // the change log
  int ChangeCount() const;
  bool LogChanges() const;
  void SetLogChanges(bool on);
  void MergeChangeLog();  // pending changes become the base
  void CancelUpdates();   // drop every pending change and restore the base
  void Close();           // inactive, no rows; fields and filter stay; the edit is dropped
  // Bytes held by the rows, the indexes and the change log (shared storage counted once).
  size_t MemoryBytes() const;
  bool Active() const;
  DatasetState State() const;
  // True once a field of the record being edited or inserted was written.
  bool Modified() const;

  // --- navigation (within the filter) -------------------------------------
  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const;  // true after Next past the last record, or when empty
  bool Bof() const;
  bool IsEmpty() const;
  int RecordCount() const;  // visible records (under the filter)
  int RecNo() const;        // 0-based index of the current visible record, -1 if none
  void SetRecNo(int row);   // moves (AfterScroll) unless already there
  // keyFields "NRIDADEFIN;NRIDADEINI", one value per field. Values may be
  // text: a float field matches text in the host locale ("110,5") or with a
  // point. Returns whether a record was found; the found record becomes
  // current (AfterScroll); when not found the current record stays.
  bool Locate(const QString& keyFields, const QVariantList& values, LocateOptions options = loNone);
  bool Locate(const QString& keyField, const QVariant& value, LocateOptions options = loNone);

  // --- editing ------------------------------------------------------------
  // A new record goes before the current one (Insert) or after the last
  // (Append), in the visible rows and in Data(). Edit on an empty dataset,
  // Post and Delete without a record throw fw::Error.
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();

  // --- filter ---------------------------------------------------------------
  // Equality tests on fields joined by "and", values in single quotes with a
  // quote inside written doubled: CDREFEBIBL = '01' and CDPERCENTIL = '050'.
  // A malformed expression, or one naming a field that does not exist, throws
  // fw::Error and leaves the filter as it was. On an open dataset SetFilter
  // repositions on the first matching record even while the filter is
  // switched off; SetFiltered to the value it already has does nothing. A
  // record posted that no longer matches leaves the visible rows (it stays in
  // Data()). '' matches an empty (null) string field.
  QString Filter() const;
  void SetFilter(const QString& expression);
  bool Filtered() const;
  void SetFiltered(bool on);
  // 'O''Neil' for O'Neil: the safe way to paste a value into an expression.
  static QString QuoteFilterValue(const QString& value);

  // --- access for grids (visible rows) -------------------------------------
  // Null for a row or field out of range; the edit buffer for the current
  // row while editing or inserting.
  QVariant ValueAt(int row, int fieldIndex) const;
  QString DisplayTextAt(int row, int fieldIndex) const;  // with the field's display format

  // --- hooks ------------------------------------------------------------------
  Hook BeforeInsert, BeforeEdit, BeforePost, AfterPost, AfterCancel, AfterDelete, AfterScroll;

  // --- internal: used by Field and DataSource -------------------------------
  QVariant CurrentValue(int fieldIndex) const;
  // Checks state, read-only (unless force) and type; fw::Error when refused.
  void SetCurrentValue(int fieldIndex, const QVariant& value, bool force = false);
  void AttachDataSource(DataSource* source);
  void DetachDataSource(DataSource* source);

 signals:
  // For grids. All are emitted synchronously, inside the operation, before
  // its After hook; row numbers are visible rows (under the filter).
  // contentReset: the visible rows were rebuilt - SetData, Close, SetFilter,
  //   SetFiltered, CancelUpdates. Re-read everything; currentChanged follows.
  void contentReset();
  // rowChanged: the values shown for a visible row changed - every field write
  //   during an edit or insert (the edit buffer), Post (row still visible),
  //   Cancel of an edit (values restored).
  void rowChanged(int row);
  // rowInserted: Insert/Append put the new, empty record at this index (it
  //   stays there after Post unless it leaves the filter).
  void rowInserted(int row);
  // rowRemoved: the visible row at this index went away - Delete, Cancel of
  //   an insert, Post of a record that no longer matches the filter.
  void rowRemoved(int row);
  // currentChanged: the current record moved (-1: none). Also after
  //   contentReset, rowInserted and rowRemoved, even when the index is the same.
  void currentChanged(int row);
  // stateChanged: after the data sources were told (DataSource::NotifyStateChange).
  void stateChanged(fw::DatasetState state);
  // fieldChanged: a value of the current record's edit buffer was written.
  void fieldChanged(fw::Field* field);

 private:
  std::unique_ptr<DatasetImpl> impl_;
};

}  // namespace fw
