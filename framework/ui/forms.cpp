#include "framework/ui/forms.h"

#include "framework/ui/controls.h"

#include <QApplication>

namespace fw {

ActiveControlTracker::ActiveControlTracker(QWidget* root) : QObject(root), root_(root) {
  setObjectName(QStringLiteral("activeControlTracker"));
  connect(qApp, &QApplication::focusChanged, this, &ActiveControlTracker::FocusChanged);
}

QWidget* ActiveControlTracker::ActiveControl() const {
  QWidget* focus = QApplication::focusWidget();
  if (focus && root_->isAncestorOf(focus) && !(active_ && focus->isAncestorOf(active_)))
    return ControlOf(focus);
  return active_;
}

void ActiveControlTracker::Note(QWidget* widget) {
  if (!widget || (widget != root_ && !root_->isAncestorOf(widget))) return;
  // The screen itself or a container of the active control taking the focus
  // is the focus passing through the frame (a toolbar click), not a new one.
  if (active_ && widget->isAncestorOf(active_)) return;
  active_ = ControlOf(widget);
}

void ActiveControlTracker::SetActiveControl(QWidget* control) {
  if (!control) return;
  control->setFocus();
  Note(control);
}

void ActiveControlTracker::TakeFocus(QWidget* control) {
  if (!control) return;
  control->setFocus();
  for (QWidget* w = control->parentWidget(); w; w = w->parentWidget()) {
    const auto trackers = w->findChildren<ActiveControlTracker*>(Qt::FindDirectChildrenOnly);
    for (ActiveControlTracker* tracker : trackers) tracker->Note(control);
  }
}

void ActiveControlTracker::FocusChanged(QWidget*, QWidget* now) { Note(now); }

}  // namespace fw
