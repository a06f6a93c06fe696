// The module's entries for the master tables screen: the host's menu items
// Cadastros › Referências bibliográficas and Cadastros › Percentis.

#include "framework/ui/forms.h"
#include "framework/ui/guard.h"
#include "screens/cadreferencia/cadreferencia_form.h"

#include <QPointer>

#define TRP_CADREFERENCIA_EXPORT __attribute__((visibility("default")))

namespace {

QPointer<trp::cadreferencia::TfrmCadReferencia> frmCadReferencia;

// One screen for both tables: created once, then raised on the page asked.
void Open(bool percentiles) {
  fw::Guard([percentiles] {
    if (!frmCadReferencia)
      frmCadReferencia = fw::CreateForm<trp::cadreferencia::TfrmCadReferencia>();
    frmCadReferencia->ShowChild();
    frmCadReferencia->ShowPage(percentiles);
  });
}

}  // namespace

// Opens the screen on its references page.
extern "C" TRP_CADREFERENCIA_EXPORT void CriaCadReferencia() { Open(false); }
// Opens the screen on its percentiles page.
extern "C" TRP_CADREFERENCIA_EXPORT void CriaCadPercentil() { Open(true); }
