// The module's entry for the assessment screen: one instance, raised again
// when asked for while open.

#include "framework/ui/forms.h"
#include "framework/ui/guard.h"
#include "screens/avaliacao/avaliacao_form.h"

#include <QPointer>

namespace trp::avaliacao {
QPointer<TfrmAvaliacao> frmAvaliacao;
}  // namespace trp::avaliacao

extern "C" void CriaAvaliacao() {
  using trp::avaliacao::frmAvaliacao;
  fw::Guard([] {
    if (!frmAvaliacao) frmAvaliacao = fw::CreateForm<trp::avaliacao::TfrmAvaliacao>();
    frmAvaliacao->ShowChild();
  });
}
