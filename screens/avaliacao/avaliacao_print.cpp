// The assessment on paper or in a PDF: the laudo of the last Avaliar, never
// one the input has changed since.

#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/avaliacao/avaliacao_form.h"

#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

namespace trp::avaliacao {

void TfrmAvaliacao::sbtImprimirClick(QObject*) { Imprime(false); }

void TfrmAvaliacao::sbtPdfClick(QObject*) { Imprime(true); }

void TfrmAvaliacao::Imprime(bool pdf) {
  // Desatualiza() drops the laudo on any change of input: what is kept is
  // what the fields hold.
  if (!avaliada_)
    fw::MensErro(
        QStringLiteral("Não há resultado atualizado para imprimir: os dados mudaram ou "
                       "ainda não foram avaliados. Clique em Avaliar antes de imprimir."));
  const QString nome = avaliada_->nome.trimmed();
  QString file = fw::FileNameOf(nome.isEmpty() ? QStringLiteral("Avaliação antropométrica")
                                               : QStringLiteral("Avaliação de ") + nome,
                                QStringLiteral("avaliacao"), QStringLiteral(".pdf"));
  if (pdf) {
    if (!fw::Dialogs().SaveFileName(QStringLiteral("Salvar avaliação como"),
                                    QStringLiteral("Documento PDF (*.pdf)"), file))
      return;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".pdf");
    SalvaLaudoPdf(*avaliada_, file);
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  PreparaImpressora(printer);
  printer.setDocName(QStringLiteral("Avaliação antropométrica"));
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("Imprimir"));
  if (dialog.exec() == QDialog::Accepted) DesenhaLaudo(*avaliada_, printer);
}

}  // namespace trp::avaliacao
