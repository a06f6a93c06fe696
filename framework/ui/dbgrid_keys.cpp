// The grid's keys: what each key does, typed characters through OnKeyPress,
// and pasted text typed the same way.
#include "framework/ui/dbgrid.h"

#include "framework/data/paste_block.h"
#include "framework/ui/dbgrid_p.h"
#include "framework/ui/guard.h"
#include "framework/ui/number_entry.h"
#include "framework/ui/status_text.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

namespace fw {

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
    PasteText(QGuiApplication::clipboard()->text());
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

void DBGrid::PasteText(const QString& text) {
  // A block would otherwise run its cells together into one number
  // ("3<TAB>3,35" as 33,35).
  if (IsBlockText(text)) {
    if (OnPasteBlock)
      Guard([&] { OnPasteBlock(this, text); });
    else
      RefuseInput(QStringLiteral("Cole um valor de cada vez nesta grade"), this);
    return;
  }
  // A single value is typed, character by character, through the key handlers.
  TypeText(text);
}

void DBGrid::EditorContextMenu(QLineEdit* editor, const QPoint& globalPos) {
  // Only what keeps the key handlers in charge: text comes in by typing.
  QMenu menu(this);  // not the editor: a paste that moves the cell closes it
  QAction* copy = menu.addAction(QStringLiteral("Copiar"), editor, &QLineEdit::copy);
  copy->setEnabled(editor->hasSelectedText() && editor->echoMode() == QLineEdit::Normal);
  QAction* paste = menu.addAction(QStringLiteral("Colar"), this, [this] {
    Guard([this] { PasteText(QGuiApplication::clipboard()->text()); });
  });
  paste->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
  menu.addSeparator();
  menu.addAction(QStringLiteral("Selecionar tudo"), editor, &QLineEdit::selectAll);
  menu.exec(globalPos);
}

// --- the key handler

bool DBGrid::RunKeyPress(QChar& ch) {
  if (!OnKeyPress) return true;
  QChar key = ch;
  if (!Guard([&] { OnKeyPress(this, key); })) return false;
  ch = key;
  return !key.isNull();
}

}  // namespace fw
