// The module's entry for the import wizard (Cadastros › Importar tabela):
// one instance, raised again when asked for while open.

#include "framework/ui/forms.h"
#include "framework/ui/guard.h"
#include "screens/importacao/importacao_form.h"

#include <QPointer>

namespace trp::importacao {
QPointer<TfrmImportacao> frmImportacao;
}  // namespace trp::importacao

extern "C" __attribute__((visibility("default"))) void CriaImportacao() {
  using trp::importacao::frmImportacao;
  fw::Guard([] {
    if (!frmImportacao) frmImportacao = fw::CreateForm<trp::importacao::TfrmImportacao>();
    frmImportacao->ShowChild();
  });
}
