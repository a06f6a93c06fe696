#include "framework/ui/busy.h"

namespace fw {

void ActiveShowAvi(QWidget* window, int kind) { Dialogs().BusyShow(window, kind); }

void DeactiveShowAvi() { Dialogs().BusyHide(); }

}  // namespace fw
