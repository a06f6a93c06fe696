// The grid's in-place cell editor: edit masks, the delegate that creates it,
// opening, writing and closing it, and starting the dataset's edit.
#include "framework/ui/dbgrid.h"

#include "framework/data/errors.h"
#include "framework/ui/dbgrid_p.h"
#include "framework/ui/guard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

namespace fw {

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

// --- delegate

QWidget* DBGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex& index) const {
  auto* editor = new QLineEdit(parent);
  editor->setObjectName(QStringLiteral("inplaceEditor"));
  editor->setFrame(false);
  grid_->EditorCreated(editor, index);
  return editor;
}

void DBGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
  QRect r = option.rect;
  if (grid_->IsCellButton(index)) r.setRight(grid_->CellButtonRect(index).left() - 1);
  editor->setGeometry(r);
}

void DBGridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
  grid_->EditorDestroyed(qobject_cast<QLineEdit*>(editor));
  QStyledItemDelegate::destroyEditor(editor, index);
}

void DBGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  if (!grid_->IsCellButton(index)) return;
  QStyleOptionButton button;
  button.rect = grid_->CellButtonRect(index);
  button.text = QStringLiteral("...");
  button.state = QStyle::State_Enabled | QStyle::State_Raised;
  grid_->style()->drawControl(QStyle::CE_PushButton, &button, painter, grid_);
}

bool DBGridDelegate::eventFilter(QObject* object, QEvent* event) {
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
        Guard([&] { grid_->PasteText(clipboard->text(QClipboard::Selection)); });
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

}  // namespace fw
