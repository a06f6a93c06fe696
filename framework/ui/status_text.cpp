#include "framework/ui/status_text.h"

#include "framework/ui/host_services.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolTip>
#include <QWidget>

namespace fw {

namespace {
constexpr int kShownMs = 6000;
int refusals = 0;
}  // namespace

void StatusText(const QString& text, QWidget* near) {
  if (QMainWindow* main = Host::Instance().MainWindow()) {
    main->statusBar()->showMessage(text, kShownMs);
    return;
  }
  QWidget* at = near ? near : QApplication::focusWidget();
  if (!at) return;
  QToolTip::showText(at->mapToGlobal(QPoint(0, at->height())), text, at, {}, kShownMs);
}

void RefuseInput(const QString& reason, QWidget* near) {
  ++refusals;
  QApplication::beep();
  StatusText(reason, near);
}

int RefusalCount() { return refusals; }

}  // namespace fw
