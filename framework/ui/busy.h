#pragma once
// Busy indicator over a window while server work runs, through the dialog
// seam. Every show must be paired with a hide on both the normal and the
// failure path; BusyScope does that for a block.

#include "framework/ui/dialogs.h"

class QWidget;

namespace fw {

// Shows (or, when already shown, re-captions) the indicator of `kind` over
// `window`. Nested shows are counted.
void ActiveShowAvi(QWidget* window, int kind);
// Hides one level; a hide without a show does nothing.
void DeactiveShowAvi();

// Shows on construction, hides on destruction (also when unwinding).
class BusyScope {
 public:
  BusyScope(QWidget* window, int kind) { ActiveShowAvi(window, kind); }
  ~BusyScope() { DeactiveShowAvi(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

}  // namespace fw
