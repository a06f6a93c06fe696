// The height-weight table: one row per height with the male and the female
// weight, in one grid. Each post or delete goes to the server at once and the
// table is reloaded.

#include "framework/ui/consiste.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::Vd_Altura(bool obrigatorio) {
  Vd_AlturaDe(altura_, QStringLiteral("VRALTURA"), obrigatorio);
}

void TfrmTabRelPeso::cdsPesAltBeforePost(fw::Dataset&) {
  stVRALTURA = cdsPesAlt->FieldByName(u"VRALTURA")->AsString();
  InicioPostLinhas(altura_);
  if (cdsPesAlt->State() == fw::DatasetState::Insert) Vd_Altura(true);
  // Both weights are required; with both empty only the male one is said.
  for (const auto& [field, message] :
       {std::pair{u"VRPESOMASALT", "PesMas_Deve"}, std::pair{u"VRPESOFEMALT", "Pesfem_Deve"}}) {
    fw::Field* peso = cdsPesAlt->FieldByName(field);
    if (!fw::EmptyString(peso->AsString())) continue;
    peso->FocusControl();
    fw::MensErro(msgPadrao->Msg(QLatin1String(message)));
  }
  VerificaPlausibilidade(altura_);
}

// After a post the focus stays where it is, even on an emptied pair.
void TfrmTabRelPeso::cdsPesAltAfterPost(fw::Dataset&) {
  GravaLinhas(altura_, QStringLiteral("VRALTURA"), {stVRALTURA}, false);
}

void TfrmTabRelPeso::cdsPesAltAfterDelete(fw::Dataset&) { GravaLinhas(altura_); }

void TfrmTabRelPeso::dbgPesAltColExit(QObject*) {
  if (cdsPesAlt->State() == fw::DatasetState::Insert) Vd_Altura(false);
}

// The height is limited too, though it is the key.
QHash<QString, int> DecimaisAltura() {
  return {{QStringLiteral("VRALTURA"), 2},
          {QStringLiteral("VRPESOMASALT"), 3},
          {QStringLiteral("VRPESOFEMALT"), 3}};
}

void TfrmTabRelPeso::dbgPesAltKeyPress(QObject* sender, QChar& key) {
  static const QHash<QString, int> decimals = DecimaisAltura();
  FiltraTeclaLinhas(sender, key, decimals);
}

}  // namespace trp::tabrelpeso
