// Exportar: the current reference to XLSX or ODS, or the current page's
// table to CSV (screens/importacao/exportacao.h).

#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/importacao/exportacao.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::BuildExport() {
  QAction* exportar =
      InsertMenuItem(mnuOperacao, QStringLiteral("mnuExportar"), QStringLiteral("E&xportar..."),
                     int(mnuOperacao->actions().indexOf(Twin("sbtImprimir"))));
  exportar->setStatusTip(
      QStringLiteral("A referência atual em XLSX ou ODS, ou a tabela da página em CSV"));
  BindAction(exportar, [this] { mnuExportarClick(this); });
}

void TfrmTabRelPeso::mnuExportarClick(QObject*) {
  fw::TabSheet* page = pgcPadrao->ActivePage();
  ExportaReferenciaAtual(page == tshPadrao ? QString() : TabelaDaPagina(page).cache);
}

void TfrmTabRelPeso::ExportaReferenciaAtual(const QString& tabelaCsv) {
  const QString ref = CurrentReference();
  if (ref.isEmpty()) fw::MensErro(QStringLiteral("Escolha a referência a exportar."));
  QString path = QStringLiteral("referencia_%1.xlsx").arg(ref);
  if (!fw::Dialogs().SaveFileName(
          QStringLiteral("Exportar a referência %1").arg(ref),
          QStringLiteral("Planilha XLSX (*.xlsx);;Planilha ODS (*.ods);;CSV da tabela da página "
                         "(*.csv)"),
          path))
    return;
  // A spreadsheet gets the whole reference; CSV the page's table.
  importacao::ExportaReferencia(
      *netTabRelPeso, ref,
      path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? tabelaCsv : QString(), path);
  fw::Dialogs().ShowStatus(QStringLiteral("Referência %1 exportada para %2.").arg(ref, path));
}

}  // namespace trp::tabrelpeso
