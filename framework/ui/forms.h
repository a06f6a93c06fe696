#pragma once
// Common parts of the framework screens: the close action, two-phase creation
// (FormCreate runs once the derived screen is fully constructed), the active
// control (which control holds the input focus; a grid's cell editor counts
// as its grid) and help.
//
// Binding pattern for derived screens. Build controls in the constructor and
// bind every handler in one place (a private BindHandlers() called at the end
// of the constructor): grids and other fw controls take std::function members
//   dbgFoo->OnColExit = [this](fw::DBGrid* g) { dbgFooColExit(g); };
// Qt signals go through the guard:
//   fw::GuardedConnect(btn, &QToolButton::clicked, this, [this] { sbtFooClick(btn); });
// The inherited handlers (FormCreate, sbtCancelarClick, ...) are virtual:
// override them and call the base first where the screen relies on it.
// Create screens with fw::CreateForm<T>(...) so that FormCreate runs right
// away; otherwise it runs on the first show.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <utility>

namespace fw {

enum class CloseAction { caNone, caHide, caFree, caMinimize };

// Tracks the control holding the input focus inside `root` and keeps the
// last one while the focus is in another window (a dialog).
class ActiveControlTracker : public QObject {
  Q_OBJECT
 public:
  explicit ActiveControlTracker(QWidget* root);
  QWidget* ActiveControl() const;
  // Gives `control` the focus and records it even when the window is not
  // active (offscreen, hidden).
  void SetActiveControl(QWidget* control);
  // Gives `control` the focus and records it with every tracker among its
  // ancestors (the focus may not move while the window is inactive).
  static void TakeFocus(QWidget* control);

 private:
  void FocusChanged(QWidget* old, QWidget* now);
  void Note(QWidget* widget);
  QWidget* root_;
  QPointer<QWidget> active_;
};

// Creates a screen and runs its FormCreate (inside the guard).
template <class T, class... Args>
T* CreateForm(Args&&... args) {
  T* form = new T(std::forward<Args>(args)...);
  form->Create();
  return form;
}

}  // namespace fw
