// The NCHS 2000 table: one row per height with mean, deviation and weight of
// both sexes, one sex shown at a time. Each post or delete goes to the server
// at once and the table is reloaded.

#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"

namespace trp::tabrelpeso {

// The height takes three decimals here, mean and deviation two, weight three.
QHash<QString, int> DecimaisNCHS(const char* sex) {
  return {{QStringLiteral("VRALTURAN2"), 3},
          {QStringLiteral("VRMEDI%1N2").arg(QLatin1String(sex)), 2},
          {QStringLiteral("VRDVPD%1N2").arg(QLatin1String(sex)), 2},
          {QStringLiteral("VRPESO%1N2").arg(QLatin1String(sex)), 3}};
}

void TfrmTabRelPeso::Vd_AlturaNCHS(bool obrigatorio) {
  Vd_AlturaDe(nchs_, QStringLiteral("VRALTURAN2"), obrigatorio);
}

void TfrmTabRelPeso::cdsPesAltNCHSBeforePost(fw::Dataset&) {
  stNCHSVRALTURAN2 = cdsPesAltNCHS->FieldByName(u"VRALTURAN2")->AsString();
  InicioPostLinhas(nchs_);
  if (cdsPesAltNCHS->State() == fw::DatasetState::Insert) Vd_AlturaNCHS(true);
  VerificaPlausibilidade(nchs_);
}

void TfrmTabRelPeso::cdsPesAltNCHSAfterPost(fw::Dataset&) {
  GravaLinhas(nchs_, QStringLiteral("VRALTURAN2"), {stNCHSVRALTURAN2});
}

void TfrmTabRelPeso::cdsPesAltNCHSAfterDelete(fw::Dataset&) { GravaLinhas(nchs_); }

void TfrmTabRelPeso::cdsPesAltNCHSAfterCancel(fw::Dataset&) {
  // After the state rule: what needs a row follows whether the pair has one.
  const bool rows = !cdsPesAltNCHS->IsEmpty();
  for (const char* op : {"sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar"})
    SetOperation(op, rows);
  SetCopy(rows);
}

void TfrmTabRelPeso::dbgPesAltMascNCHSColExit(QObject*) {
  if (cdsPesAltNCHS->State() == fw::DatasetState::Insert) Vd_AlturaNCHS(false);
}

void TfrmTabRelPeso::dbgPesAltFemnNCHSColExit(QObject*) {
  if (cdsPesAltNCHS->State() == fw::DatasetState::Insert) Vd_AlturaNCHS(false);
}

void TfrmTabRelPeso::dbgPesAltMascNCHSKeyPress(QObject* sender, QChar& key) {
  static const QHash<QString, int> decimals = DecimaisNCHS("MAS");
  FiltraTeclaLinhas(sender, key, decimals);
}

void TfrmTabRelPeso::dbgPesAltFemnNCHSKeyPress(QObject* sender, QChar& key) {
  static const QHash<QString, int> decimals = DecimaisNCHS("FEM");
  FiltraTeclaLinhas(sender, key, decimals);
}

void TfrmTabRelPeso::dbgPesAltMascNCHSKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift) {
  DescartaCtrlDelete(key, shift);
}

void TfrmTabRelPeso::dbgPesAltFemnNCHSKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift) {
  DescartaCtrlDelete(key, shift);
}

}  // namespace trp::tabrelpeso
