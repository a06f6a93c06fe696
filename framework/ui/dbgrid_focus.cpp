// The grid's focus: OnEnter/OnExit only for moves within its own screen, and a
// field's focus request.
#include "framework/ui/dbgrid.h"

#include "framework/ui/forms.h"
#include "framework/ui/guard.h"

#include <QMdiSubWindow>

namespace fw {

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

}  // namespace fw
