// References and percentiles exist on the server only through their rows: an
// entry added on screen without rows is gone at the next load. When the user
// leaves such an entry (another reference or percentile, another page, the
// screen closed) the status text says so, once per entry.

#include "framework/ui/status_text.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

namespace trp::tabrelpeso {

namespace {

bool TemLinhas(const fw::Dataset* rows, const QString& referencia, const QString& percentil) {
  const fw::DataPacket data = rows->Data();
  const int cRef = data.fieldIndex(u"CDREFEBIBL");
  const int cPerc = data.fieldIndex(u"CDPERCENTIL");
  for (qsizetype r = 0; r < data.rowCount(); ++r)
    if (data.value(r, cRef).toString() == referencia &&
        (percentil.isNull() || data.value(r, cPerc).toString() == percentil))
      return true;
  return false;
}

}  // namespace

void TfrmTabRelPeso::LembraSemLinhas(const Tabela* table) {
  const fw::Dataset* lista = table ? table->perc : cdsReferencia;
  SemLinhas entrada{table, CurrentReference(),
                    table ? lista->FieldByName(u"CDPERCENTIL")->AsString() : QString()};
  if (table) entrada.referencia = lista->FieldByName(u"CDREFEBIBL")->AsString();
  for (const SemLinhas& e : semLinhas_)
    if (e.table == entrada.table && e.referencia == entrada.referencia &&
        e.percentil == entrada.percentil)
      return;
  semLinhas_.append(entrada);
}

void TfrmTabRelPeso::AvisaSemLinhas(bool fechando) {
  QStringList avisos;
  for (qsizetype i = semLinhas_.size() - 1; i >= 0; --i) {
    const SemLinhas e = semLinhas_.at(i);
    if (!fechando) {
      const bool naReferencia = CurrentReference() == e.referencia;
      if (!e.table && naReferencia) continue;
      if (e.table && naReferencia && pgcPadrao->ActivePage() == e.table->page &&
          e.table->perc->FieldByName(u"CDPERCENTIL")->AsString() == e.percentil)
        continue;
    }
    semLinhas_.removeAt(i);
    bool linhas = false;
    for (const Tabela* table : {&idade_, &altura_, &nchs_})
      if (!e.table || e.table == table)
        linhas = linhas || TemLinhas(table->rows, e.referencia, e.percentil);
    if (linhas) continue;
    avisos.prepend(e.table ? QStringLiteral("O percentil %1 da tabela %2 (referência %3) fica só "
                                            "nesta tela até que uma linha seja gravada para ele.")
                                 .arg(e.percentil, e.table->page->Caption(), e.referencia)
                           : QStringLiteral("A referência %1 fica só nesta tela até que uma "
                                            "linha seja gravada para ela.")
                                 .arg(e.referencia));
  }
  if (!avisos.isEmpty()) fw::StatusText(avisos.join(u' '));
}

}  // namespace trp::tabrelpeso
