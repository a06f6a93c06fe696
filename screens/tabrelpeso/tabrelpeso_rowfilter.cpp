// The row filter: each percentile list keeps its rows dataset on the rows of
// its current (reference, percentile) pair.

#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::FiltraLinhas(const Tabela& table) {
  // A row being typed keeps its pair: a change of the filter would post it,
  // under whatever percentile the list stands on by then.
  const fw::DatasetState state = table.rows->State();
  if (state == fw::DatasetState::Edit || state == fw::DatasetState::Insert) return;
  // Both codes come from the list's own record; an empty list or a new,
  // still blank entry gives empty codes, which match no row.
  const QString filter = services::FilterEquals(
      {{QStringLiteral("CDREFEBIBL"), table.perc->FieldByName(u"CDREFEBIBL")->AsString()},
       {QStringLiteral("CDPERCENTIL"), table.perc->FieldByName(u"CDPERCENTIL")->AsString()}});
  // One change of the filter, not lift, set and apply: every change rebuilds
  // the rows shown by both grids of the page, and the rows dataset has no
  // scroll handler that could tell the difference.
  // The same filter again would only put the rows back on their first
  // record, away from the one the user chose.
  if (table.rows->Filtered() && table.rows->Filter() == filter) return;
  table.rows->SetFilter(filter);
  table.rows->SetFiltered(true);
}

void TfrmTabRelPeso::cdsPercIdadeAfterScroll(fw::Dataset&) {
  AvisaSemLinhas(false);
  FiltraLinhas(idade_);
  dtsPercIdadeStateChange(dtsPercIdade);
}

void TfrmTabRelPeso::cdsPercAlturaAfterScroll(fw::Dataset&) {
  AvisaSemLinhas(false);
  FiltraLinhas(altura_);
  dtsPercAlturaStateChange(dtsPercAltura);
}

void TfrmTabRelPeso::cdsPercAlturaNCHSAfterScroll(fw::Dataset&) {
  AvisaSemLinhas(false);
  FiltraLinhas(nchs_);
  dtsPercAlturaNCHSStateChange(dtsPercAlturaNCHS);
}

}  // namespace trp::tabrelpeso
