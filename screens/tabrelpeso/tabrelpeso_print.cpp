// Printing: the report selection screen, a new one for every press.

#include "screens/reltabpeso/reltabpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

#include <memory>

namespace trp::tabrelpeso {

void TfrmTabRelPeso::sbtImprimirClick(QObject*) {
  const auto report = std::make_unique<reltabpeso::TfrmRelTabPeso>(this);
  report->Create();
  report->exec();
}

}  // namespace trp::tabrelpeso
