#include "services/framework_services.h"

#include "framework/data/dataset.h"
#include "framework/ui/busy.h"
#include "framework/ui/host_services.h"

#include <QMainWindow>
#include <QStringList>

namespace trp::services {

QWidget* HostMainWindow() { return fw::Host::Instance().MainWindow(); }

void ShowBusy(int kind) { fw::ActiveShowAvi(HostMainWindow(), kind); }
void HideBusy() { fw::DeactiveShowAvi(); }

QString FilterEquals(const QList<QPair<QString, QString>>& fieldValues) {
  QStringList tests;
  tests.reserve(fieldValues.size());
  for (const auto& [field, value] : fieldValues)
    tests << field + QStringLiteral(" = ") + fw::Dataset::QuoteFilterValue(value);
  return tests.join(QStringLiteral(" and "));
}

}  // namespace trp::services
