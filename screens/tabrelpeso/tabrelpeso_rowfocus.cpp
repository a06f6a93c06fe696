// Where an insert or an edit of a table row puts the user: a column of the
// grid of the chosen sex. Both sex grids show the same dataset, so a field's
// focus request would reach the hidden one too; the other grid is unbound
// while the request runs and bound again whatever happens.

#include "screens/tabrelpeso/tabrelpeso_form.h"

namespace trp::tabrelpeso {

fw::DBGrid* TfrmTabRelPeso::VisibleRowsGrid(const Tabela& table, bool porSeletor) const {
  if (table.rowGrids.size() < 2) return table.rowGrids.first();
  fw::DBGrid* female = table.rowGrids.at(1);
  const bool isFemale = porSeletor ? table.sexSelector && table.sexSelector->ItemIndex() != 0
                                   : female->parentWidget()->isVisibleTo(table.page);
  return isFemale ? female : table.rowGrids.first();
}

void TfrmTabRelPeso::FocaCampoLinhas(const Tabela& table, const QString& maleField,
                                     const QString& femaleField, bool porSeletor) {
  fw::DBGrid* target = VisibleRowsGrid(table, porSeletor);
  const bool female = target != table.rowGrids.first();
  QList<fw::DBGrid*> others;
  for (fw::DBGrid* grid : table.rowGrids)
    if (grid != target) others << grid;
  for (fw::DBGrid* grid : others) grid->SetDataSource(nullptr);
  struct Rebind {
    const QList<fw::DBGrid*>& grids;
    fw::DataSource* source;
    ~Rebind() {
      for (fw::DBGrid* grid : grids) grid->SetDataSource(source);
    }
  } rebind{others, table.rowSource};
  table.rows->FieldByName(female && !femaleField.isEmpty() ? femaleField : maleField)
      ->FocusControl();
}

void TfrmTabRelPeso::cdsIdPesAltBeforeInsert(fw::Dataset&) {
  FocaCampoLinhas(idade_, QStringLiteral("NRIDADEINI"));
}

void TfrmTabRelPeso::cdsIdPesAltBeforeEdit(fw::Dataset&) {
  FocaCampoLinhas(idade_, QStringLiteral("VRPESOMASIDA"), QStringLiteral("VRPESOFEMIDA"));
}

void TfrmTabRelPeso::cdsPesAltBeforeInsert(fw::Dataset&) {
  FocaCampoLinhas(altura_, QStringLiteral("VRALTURA"));
}

void TfrmTabRelPeso::cdsPesAltBeforeEdit(fw::Dataset&) {
  FocaCampoLinhas(altura_, QStringLiteral("VRPESOMASALT"));
}

void TfrmTabRelPeso::cdsPesAltNCHSBeforeInsert(fw::Dataset&) {
  FocaCampoLinhas(nchs_, QStringLiteral("VRALTURAN2"));
}

void TfrmTabRelPeso::cdsPesAltNCHSBeforeEdit(fw::Dataset&) {
  FocaCampoLinhas(nchs_, QStringLiteral("VRMEDIMASN2"), QStringLiteral("VRMEDIFEMN2"));
}

}  // namespace trp::tabrelpeso
