// The module's exported entries and module-level state.

#include "framework/ui/forms.h"
#include "framework/ui/guard.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"

namespace trp::tabrelpeso {

QPointer<TfrmTabRelPeso> frmTabRelPeso;
bool boStCriado = false;
bool boPrimVez = false;
QVariant olePercIdade;
QVariant olePercAltura;
QVariant olePercAlturaNCHS;
QString stNRIDADEINI;
QString stNRIDADEFIN;
QString stVRALTURA;
QString stNCHSVRALTURAN2;

}  // namespace trp::tabrelpeso

extern "C" void CriaTabRelPeso() {
  using namespace trp::tabrelpeso;
  fw::Guard([] {
    // A screen freed without passing through its close (the host shutting
    // down) leaves the flag set but no instance to raise: create anew.
    if (!boStCriado || !frmTabRelPeso) {
      frmTabRelPeso = fw::CreateForm<TfrmTabRelPeso>();
      boStCriado = true;
    }
    // A child window of the host, restored, in front and active.
    frmTabRelPeso->ShowChild();
  });
}

extern "C" void IniProc() { CriaTabRelPeso(); }
