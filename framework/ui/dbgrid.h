#pragma once
// DBGrid: a data-aware grid over a data source's dataset.
//
// Columns are declared (field name, title, width, read-only, title alignment,
// button style); without declared columns the grid shows every visible field.
// The grid follows the dataset's current record and moves it when the user
// moves. Editing works the way people expect of a data grid:
//   - the first key that OnKeyPress accepts starts the edit (dataset Edit
//     when browsing) unless the grid, the column or the field
//     (Field::ReadOnly, checked each time) is read-only; a click, F2, Enter
//     or a double click only open the editor. A key lands in the cell it was
//     typed into or nowhere: focus requests of the before-edit handlers
//     (Field::FocusControl) are ignored while a key starts the edit, and if
//     the cell moved all the same, the key is dropped and the editor opens
//     where the user now is;
//     the cell editor honours the field's edit mask;
//   - pasted text (Ctrl+V, Shift+Insert, the editor's menu, the middle
//     button) and input-method text are typed character by character through
//     OnKeyPress; dropping text on the editor is refused;
//   - leaving a cell writes the editor's text into the field
//     (Field::SetEditText) before OnColExit runs; OnColExit runs before the
//     column changes and an abort (any exception) keeps the column;
//   - leaving an edited or inserted row posts it (an untouched one is
//     cancelled); an abort keeps the row;
//   - Insert inserts, Down on the last row appends, Esc cancels, Tab and
//     Shift+Tab move between cells, Enter or F2 opens the editor and Enter
//     writes it, Ctrl+Enter or a click on the cell button raises
//     OnEditButtonClick;
//   - Ctrl+Delete asks "Excl" of the standard catalogue (option) and deletes;
//   - OnKeyDown sees every key first and can discard it (key = 0); OnKeyPress
//     then sees each typed character (backspace, tab and enter included) by
//     reference and can discard it (key = QChar()) before it reaches the
//     editor; Tab moves even when its character was discarded;
//   - Tab past the last cell goes to the next record (appending after the
//     last one);
//   - option: a new untouched record is cancelled when the grid loses focus;
//     otherwise losing focus writes the editor into the field. Only a move
//     to another control of the grid's screen (its MDI sub-window or window)
//     loses the focus (OnExit) and a move back gains it (OnEnter): focus
//     going to another window (a message box), another MDI child, or
//     through the screen's own frame (a click on a toolbar or a menu) is
//     not;
//   - text the field refuses (a bad number) is reported and stays in the
//     editor, nothing typed is lost.
// Every handler runs inside fw::Guard; an exception in one stops the action
// that raised it and is shown (EAbort silently).
//
// Focus requests of a field (Field::FocusControl) move to the field's column
// and focus the grid, when this grid is bound to the field's dataset and shows
// the field (except while a typed key starts an edit, above).

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"

#include <QChar>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

class QLineEdit;

namespace fw {

class DBGrid;
class DBGridDelegate;
class DatasetTableModel;

enum class ButtonStyle { None, Ellipsis };

// One declared column. Setters repaint the grid.
class DBGridColumn {
 public:
  DBGridColumn(DBGrid* grid, const QString& fieldName);

  const QString& FieldName() const { return fieldName_; }
  Field* GetField() const;  // nullptr while the dataset lacks the field
  // The field's DisplayLabel unless a title was given.
  QString Title() const;
  DBGridColumn& SetTitle(const QString& title);
  Qt::Alignment TitleAlignment() const { return titleAlignment_; }
  DBGridColumn& SetTitleAlignment(Qt::Alignment alignment);
  // Width in characters (average character width of the grid's font), never
  // narrower than the title.
  DBGridColumn& SetWidthChars(int chars);
  DBGridColumn& SetWidthPixels(int pixels);
  int WidthPixels() const;  // 0: from the field's DisplayWidth
  bool ReadOnly() const { return readOnly_; }
  DBGridColumn& SetReadOnly(bool readOnly);
  ButtonStyle GetButtonStyle() const { return buttonStyle_; }
  DBGridColumn& SetButtonStyle(ButtonStyle style);
  int Index() const;

 private:
  DBGrid* grid_;
  QString fieldName_;
  QString title_;
  Qt::Alignment titleAlignment_ = Qt::AlignLeft | Qt::AlignVCenter;
  int widthChars_ = 0;
  int widthPixels_ = 0;
  bool readOnly_ = false;
  ButtonStyle buttonStyle_ = ButtonStyle::None;
};

class DBGrid : public QTableView {
  Q_OBJECT
 public:
  explicit DBGrid(const QString& name, QWidget* parent = nullptr);
  ~DBGrid() override;

  // --- binding
  fw::DataSource* DataSource() const { return source_; }
  void SetDataSource(fw::DataSource* source);  // nullptr unbinds
  Dataset* DataSet() const;                    // nullptr when unbound

  // --- columns
  DBGridColumn& AddColumn(const QString& fieldName);
  void ClearColumns();
  // The declared columns, or the automatic ones (every visible field) when
  // none was declared.
  QList<DBGridColumn*> Columns() const;
  DBGridColumn* Column(int index) const;  // nullptr when out of range
  int ColumnCount() const;
  // Between these, column changes (adding, titles, widths) are gathered and
  // the view is rebuilt once at the outermost EndUpdate: each rebuild
  // measures every header. Nested pairs count; an unmatched EndUpdate does
  // nothing.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();

  // --- selection
  Field* SelectedField() const;  // the field of the selected column, or nullptr
  int SelectedIndex() const { return selectedCol_; }
  // Moves to a column from code: writes a pending editor, no OnColExit.
  void SetSelectedIndex(int column);
  void SetSelectedField(const Field* field);

  // --- the cell editor
  bool EditorOpen() const;
  // The editor's text and selection; with no editor open, the text the editor
  // would start with (the field's EditText) wholly selected, since a typed key
  // replaces it.
  QString EditorText() const;
  int EditorSelStart() const;
  int EditorSelLength() const;
  QLineEdit* Editor() const;  // nullptr when closed
  // Writes a modified editor into the field and closes it. Returns false (the
  // error shown, the editor kept) when the field refuses the text.
  bool CommitEditor();

  // --- options
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool ConfirmDelete() const { return confirmDelete_; }
  void SetConfirmDelete(bool on) { confirmDelete_ = on; }
  bool CancelOnExit() const { return cancelOnExit_; }
  void SetCancelOnExit(bool on) { cancelOnExit_ = on; }
  bool AllowAppend() const { return allowAppend_; }
  void SetAllowAppend(bool on) { allowAppend_ = on; }
  // Fields ("F1;F2") that find a row again when leaving the current row
  // reloaded the dataset (a save that reloads): the move then ends on the
  // row the user chose, not on the one now at its place. Empty: by position.
  void SetLocateFields(const QString& fields) { locateFields_ = fields; }
  void SetInfoBackground(bool on);  // pale yellow (#FFFFE1) cells
  bool InfoBackground() const { return infoBackground_; }
  void SetBorderless(bool on);
  // True between a change of the current record's values and the end of its
  // edit (post or cancel); a pending editor counts too.
  bool RecordModified() const;

  // --- handlers (run inside the guard)
  std::function<void(DBGrid*)> OnColExit;
  std::function<void(DBGrid*)> OnColEnter;
  std::function<void(DBGrid*)> OnEditButtonClick;
  std::function<void(DBGrid*)> OnEnter;
  std::function<void(DBGrid*)> OnExit;
  std::function<void(DBGrid*, QChar& key)> OnKeyPress;
  std::function<void(DBGrid*, int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
  std::function<void(DBGrid*)> OnCellClick;
  // A pasted block of cells (fw::IsBlockText): the screen spreads it over its
  // cells. Without a handler a block is refused with a status text; a single
  // value is typed as always.
  std::function<void(DBGrid*, const QString& text)> OnPasteBlock;
  // When set, Ctrl+Delete runs it instead of the grid's own delete.
  std::function<void(DBGrid*)> OnDeleteRecord;

  // --- user actions, callable from code and tests
  // Each returns false when it was refused or aborted.
  bool MoveToCell(int row, int column);  // as a click: commit, ColExit, row change
  bool NextColumn(bool backwards = false);
  bool MoveRows(int delta);  // Up/Down/pages; one row down past the last appends
  bool InsertRecord();
  bool CancelRecord();
  bool DeleteRecord();  // Ctrl+Delete without the key handlers
  bool OpenEditor();
  void CloseEditor(bool commit);

  // The cell button of an Ellipsis column shows on the current cell only.
  bool IsCellButton(const QModelIndex& index) const;
  QRect CellButtonRect(const QModelIndex& index) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  bool event(QEvent* event) override;

 private:
  friend class DBGridColumn;
  friend class DatasetTableModel;
  friend class DBGridDelegate;
  void EditorCreated(QLineEdit* editor, const QModelIndex& index);
  void EditorDestroyed(QLineEdit* editor);
  bool EditorKeyFilter(QKeyEvent* event);  // true: consumed
  // Types `text` into the current cell as keys would, each character through
  // OnKeyPress; stops at a line break or when the cell moves. In a numeric
  // cell the points of a text with a comma are grouping and left out.
  void TypeText(const QString& text);
  void PasteText(const QString& text);
  void EditorContextMenu(QLineEdit* editor, const QPoint& globalPos);
  void ColumnsChanged();
  bool AutoColumnsStale() const;
  void DataSetRebound();
  void SyncFromDataset();
  void ApplyWidths();
  void FocusChanged(QWidget* old, QWidget* now);
  void DoEnter();
  void DoExit();
  void FieldFocusRequested(Field* field);
  bool HandleKey(QKeyEvent* event, bool fromEditor);
  bool TypeChar(QChar typed, QKeyEvent* original, bool fromEditor);
  // Starts the edit for a key accepted by OnKeyPress. False when the cell
  // cannot be edited or the edit did not start here (refused, or a
  // before-edit handler moved to another cell).
  bool BeginEditForKey();
  QWidget* Screen() const;  // the MDI sub-window or window the grid lives in
  bool FocusedHere() const;
  bool RunKeyPress(QChar& ch);
  bool RunColExit();
  bool LeaveRow();
  // Leaves the current row for the visible row `target`; returns the row to
  // go to afterwards (-1: none) or kLeaveRefused.
  static constexpr int kLeaveRefused = -2;
  int LeaveRowFor(int target);
  bool CanEditCell() const;
  bool EnsureEditing();
  bool IsInside(const QWidget* widget) const;
  void SetViewCurrent(int row, int column);
  void RaiseEditButton();

  QPointer<fw::DataSource> source_;
  QPointer<Dataset> boundDataset_;
  QList<QMetaObject::Connection> sourceConnections_;
  QList<QMetaObject::Connection> datasetConnections_;
  std::vector<std::unique_ptr<DBGridColumn>> columns_;
  mutable std::vector<std::unique_ptr<DBGridColumn>> autoColumns_;
  DatasetTableModel* model_;
  DBGridDelegate* delegate_;
  QPointer<QLineEdit> editor_;
  int selectedCol_ = 0;
  int syncing_ = 0;
  int updating_ = 0;
  bool columnsPending_ = false;
  bool widthsPending_ = false;
  bool scrollPending_ = false;
  bool recordModified_ = false;
  bool editorModified_ = false;
  bool bypassFilter_ = false;
  bool startingEditForKey_ = false;
  int contentResets_ = 0;
  QString locateFields_;
  bool hasFocus_ = false;
  bool readOnly_ = false;
  bool confirmDelete_ = true;
  bool cancelOnExit_ = false;
  bool allowAppend_ = true;
  bool infoBackground_ = false;
};

// Gathers a grid's column changes for the scope (BeginUpdate/EndUpdate).
class DBGridUpdate {
 public:
  explicit DBGridUpdate(DBGrid* grid) : grid_(grid) { grid_->BeginUpdate(); }
  ~DBGridUpdate() { grid_->EndUpdate(); }
  DBGridUpdate(const DBGridUpdate&) = delete;
  DBGridUpdate& operator=(const DBGridUpdate&) = delete;

 private:
  DBGrid* grid_;
};

// Grids that show one record set in turn (one per sex): column i keeps one
// width in all of them, the widest of theirs at the start and whatever the
// user drags it to later, so that the same spot holds the same column in each.
void ShareColumnWidths(const QList<DBGrid*>& grids);

// Converts an edit mask of the form "999;0; " (mask; keep literals; blank) to
// a QLineEdit input mask ("000; "); empty for an empty mask.
QString ToQtInputMask(const QString& editMask);

}  // namespace fw
