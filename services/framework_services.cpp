#include "services/framework_services.h"

#include "framework/data/dataset.h"
#include "framework/ui/busy.h"
#include "framework/ui/host_services.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringList>

namespace trp::services {

QWidget* HostMainWindow() { return fw::Host::Instance().MainWindow(); }

void ShowBusy(int kind) { fw::ActiveShowAvi(HostMainWindow(), kind); }
void HideBusy() { fw::DeactiveShowAvi(); }

namespace {
QMdiSubWindow* SubWindowOf(QWidget* form) {
  return form ? qobject_cast<QMdiSubWindow*>(form->parentWidget()) : nullptr;
}
}  // namespace

void AdoptAsChildWindow(QWidget* form) {
  QMdiArea* area = fw::Host::Instance().MdiArea();
  if (!form || !area || SubWindowOf(form)) return;
  QMdiSubWindow* sub = area->addSubWindow(form);
  // The sub-window goes with the screen it frames.
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->resize(form->size());
}

void ShowNormalAndRaise(QWidget* form) {
  if (!form) return;
  if (QMdiSubWindow* sub = SubWindowOf(form)) {
    sub->showNormal();
    form->show();
    sub->raise();
    if (QMdiArea* area = sub->mdiArea()) area->setActiveSubWindow(sub);
    return;
  }
  form->showNormal();
  form->raise();
  form->activateWindow();
}

QString FilterEquals(const QList<QPair<QString, QString>>& fieldValues) {
  QStringList tests;
  tests.reserve(fieldValues.size());
  for (const auto& [field, value] : fieldValues)
    tests << field + QStringLiteral(" = ") + fw::Dataset::QuoteFilterValue(value);
  return tests.join(QStringLiteral(" and "));
}

}  // namespace trp::services
