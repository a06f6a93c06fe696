#pragma once
// The module's exported entries and its module-level state. The host loads
// the library and calls CriaTabRelPeso (or IniProc); the variables live as
// long as the library stays loaded and are shared by the screen's handlers.
//
// The entries have C linkage so that the host finds them by plain name; the
// variables keep C++ linkage inside trp::tabrelpeso (they hold C++ types),
// and are exported like the entries.

#include <QPointer>
#include <QString>
#include <QVariant>

#define TRP_TABRELPESO_EXPORT __attribute__((visibility("default")))

namespace trp::tabrelpeso {

class TfrmTabRelPeso;

// The one screen instance; null once it was closed and freed.
TRP_TABRELPESO_EXPORT extern QPointer<TfrmTabRelPeso> frmTabRelPeso;
// True while a screen instance exists (set on creation, cleared on close).
TRP_TABRELPESO_EXPORT extern bool boStCriado;
// True while the first activation's load is still to be done.
TRP_TABRELPESO_EXPORT extern bool boPrimVez;
// The last pair (percentile list, rows) received for each table: a list of
// two variants, each holding a fw::DataPacket.
TRP_TABRELPESO_EXPORT extern QVariant olePercIdade;
TRP_TABRELPESO_EXPORT extern QVariant olePercAltura;
TRP_TABRELPESO_EXPORT extern QVariant olePercAlturaNCHS;
// The key of the row being posted, as text, to find it again after a reload.
TRP_TABRELPESO_EXPORT extern QString stNRIDADEINI;
TRP_TABRELPESO_EXPORT extern QString stNRIDADEFIN;
TRP_TABRELPESO_EXPORT extern QString stVRALTURA;
TRP_TABRELPESO_EXPORT extern QString stNCHSVRALTURAN2;

}  // namespace trp::tabrelpeso

// Creates the maintenance screen once, as a child window of the host, and
// shows it restored and in front; a second call only restores and raises it.
// A failure while building the screen is shown by the framework's guard and
// leaves no screen behind.
extern "C" TRP_TABRELPESO_EXPORT void CriaTabRelPeso();
// Does exactly what CriaTabRelPeso does.
extern "C" TRP_TABRELPESO_EXPORT void IniProc();
