// The row filter: each percentile list keeps its rows dataset on the rows of
// its current (reference, percentile) pair.

#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::FiltraLinhas(const Tabela& table) {
  // Both codes come from the list's own record; an empty list or a new,
  // still blank entry gives empty codes, which match no row.
  table.rows->SetFiltered(false);
  table.rows->SetFilter(services::FilterEquals(
      {{QStringLiteral("CDREFEBIBL"), table.perc->FieldByName(u"CDREFEBIBL")->AsString()},
       {QStringLiteral("CDPERCENTIL"), table.perc->FieldByName(u"CDPERCENTIL")->AsString()}}));
  table.rows->SetFiltered(true);
}

void TfrmTabRelPeso::cdsPercIdadeAfterScroll(fw::Dataset&) {
  FiltraLinhas(idade_);
  dtsPercIdadeStateChange(dtsPercIdade);
}

void TfrmTabRelPeso::cdsPercAlturaAfterScroll(fw::Dataset&) {
  FiltraLinhas(altura_);
  dtsPercAlturaStateChange(dtsPercAltura);
}

void TfrmTabRelPeso::cdsPercAlturaNCHSAfterScroll(fw::Dataset&) {
  FiltraLinhas(nchs_);
  dtsPercAlturaNCHSStateChange(dtsPercAlturaNCHS);
}

}  // namespace trp::tabrelpeso
