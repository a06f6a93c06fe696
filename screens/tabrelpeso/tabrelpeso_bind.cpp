// Every handler of the screen bound to its event, in one place.

#include "framework/ui/guard.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::BindHandlers() {
  netTabRelPeso->BeforeConnect = [this](fw::TNetConnection& net) {
    netTabRelPesoBeforeConnect(net);
  };

  // Pages and menus.
  pgcPadrao->OnChange = [this](fw::PageControl* sender) { pgcPadraoChange(sender); };
  BindAction(mnuReferncia, [this] { mnuRefernciaClick(mnuReferncia); });
  BindAction(mnuIdPesAlt, [this] { mnuIdPesAltClick(mnuIdPesAlt); });
  BindAction(mnuPesAlt, [this] { mnuPesAltClick(mnuPesAlt); });
  BindAction(mnuPesAltNCHS, [this] { mnuPesAltNCHSClick(mnuPesAltNCHS); });
  cbbSexoIdPesAlt->OnChange = [this](fw::ComboBox* sender) { cbbSexoIdPesAltChange(sender); };
  cbbSexoPesAltNCHS->OnChange = [this](fw::ComboBox* sender) { cbbSexoPesAltNCHSChange(sender); };

  // State rules (dtsPadrao is bound by the base screen to the virtual handler).
  dtsReferencia->OnStateChange = [this](fw::DataSource* s) { dtsReferenciaStateChange(s); };
  dtsPercIdade->OnStateChange = [this](fw::DataSource* s) { dtsPercIdadeStateChange(s); };
  dtsPercAltura->OnStateChange = [this](fw::DataSource* s) { dtsPercAlturaStateChange(s); };
  dtsPercAlturaNCHS->OnStateChange = [this](fw::DataSource* s) { dtsPercAlturaNCHSStateChange(s); };
  dtsIdPesAlt->OnStateChange = [this](fw::DataSource* s) { dtsIdPesAltStateChange(s); };
  dtsPesAlt->OnStateChange = [this](fw::DataSource* s) { dtsPesAltStateChange(s); };
  dtsPesAltNCHS->OnStateChange = [this](fw::DataSource* s) { dtsPesAltNCHSStateChange(s); };

  // Row filter of each percentile list.
  cdsPercIdade->AfterScroll = [this](fw::Dataset& ds) { cdsPercIdadeAfterScroll(ds); };
  cdsPercAltura->AfterScroll = [this](fw::Dataset& ds) { cdsPercAlturaAfterScroll(ds); };
  cdsPercAlturaNCHS->AfterScroll = [this](fw::Dataset& ds) { cdsPercAlturaNCHSAfterScroll(ds); };

  // Where a new or edited row puts the user.
  cdsIdPesAlt->BeforeInsert = [this](fw::Dataset& ds) { cdsIdPesAltBeforeInsert(ds); };
  cdsIdPesAlt->BeforeEdit = [this](fw::Dataset& ds) { cdsIdPesAltBeforeEdit(ds); };
  cdsPesAlt->BeforeInsert = [this](fw::Dataset& ds) { cdsPesAltBeforeInsert(ds); };
  cdsPesAlt->BeforeEdit = [this](fw::Dataset& ds) { cdsPesAltBeforeEdit(ds); };
  cdsPesAltNCHS->BeforeInsert = [this](fw::Dataset& ds) { cdsPesAltNCHSBeforeInsert(ds); };
  cdsPesAltNCHS->BeforeEdit = [this](fw::Dataset& ds) { cdsPesAltNCHSBeforeEdit(ds); };

  // Grids taking the focus.
  dbgPercIdade->OnEnter = [this](fw::DBGrid* g) { dbgPercIdadeEnter(g); };
  dbgPercAltura->OnEnter = [this](fw::DBGrid* g) { dbgPercAlturaEnter(g); };
  dbgPercAlturaNCHS->OnEnter = [this](fw::DBGrid* g) { dbgPercAlturaNCHSEnter(g); };
  // The female age grid shares the male grid's enter handler.
  dbgIdPesAltMasc->OnEnter = [this](fw::DBGrid* g) { dbgIdPesAltMascEnter(g); };
  dbgIdPesAltFem->OnEnter = [this](fw::DBGrid* g) { dbgIdPesAltMascEnter(g); };
  dbgPesAlt->OnEnter = [this](fw::DBGrid* g) { dbgPesAltEnter(g); };
  dbgPesAltMascNCHS->OnEnter = [this](fw::DBGrid* g) { dbgPesAltMascNCHSEnter(g); };
  dbgPesAltFemnNCHS->OnEnter = [this](fw::DBGrid* g) { dbgPesAltFemnNCHSEnter(g); };
}

}  // namespace trp::tabrelpeso
