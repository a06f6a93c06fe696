// The age table: one row per age (years and months) for the current
// reference and percentile, both sexes' values in one row. Each post or
// delete goes to the server at once and the table is reloaded.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "screens/tabrelpeso/tabrelpeso_values_p.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

// Decimals each value column takes while typing (weight and its mean and
// deviation 3, the rest 2), whatever the display shows.
QHash<QString, int> DecimaisIdade(const char* sex) {
  QHash<QString, int> decimals;
  for (const char* column : {"VRPESO%1IDA", "VRMDPS%1IDA", "VRDPPS%1IDA"})
    decimals.insert(QString::fromLatin1(column).arg(QLatin1String(sex)), 3);
  for (const char* column :
       {"VRALTU%1IDA", "VRMDAT%1IDA", "VRDPAT%1IDA", "VRPMCF%1IDA", "VRMDPC%1IDA", "VRDPPC%1IDA"})
    decimals.insert(QString::fromLatin1(column).arg(QLatin1String(sex)), 2);
  return decimals;
}

void TfrmTabRelPeso::Vd_Mes(bool obrigatorio) {
  fw::Field* meses = cdsIdPesAlt->FieldByName(u"NRIDADEFIN");
  fw::Field* anos = cdsIdPesAlt->FieldByName(u"NRIDADEINI");
  const auto focaMes = [this] { FocaCampoLinhas(idade_, QStringLiteral("NRIDADEFIN"), {}, false); };
  if (fw::EmptyString(meses->AsString())) {
    if (!obrigatorio) return;
    focaMes();
    fw::MensErro(msgPadrao->Msg(QStringLiteral("MES_DEVE")));
  }
  try {
    meses->SetAsString(fw::Ajusta(meses->AsString(), meses->Size()));
    const double mes = meses->AsFloat();
    if (mes > 11 || !(mes >= 0)) fw::MensErro(msgPadrao->Msg(QStringLiteral("IdadeFim_Intervalo")));
    // With the years still to come, the server would be asked about year 0,
    // which every pair of the sample holds: the post asks once they are typed.
    if (!obrigatorio && fw::EmptyString(anos->AsString())) return;
    const fw::ServerResult answer = rdm_.GetValidaIdade(
        cdsPercIdade->FieldByName(u"CDREFEBIBL")->AsString(),
        cdsPercIdade->FieldByName(u"CDPERCENTIL")->AsString(), anos->AsFloat(), mes);
    cdsValidaIdade->SetData(services::PacketOf(fw::CheckResultServ(answer, true, 0)));
    if (!cdsValidaIdade->IsEmpty()) fw::MensErro(msgPadrao->Msg(QStringLiteral("IDADE_JCAD")));
  } catch (...) {
    focaMes();
    throw;
  }
}

void TfrmTabRelPeso::cdsIdPesAltBeforePost(fw::Dataset&) {
  fw::Field* anos = cdsIdPesAlt->FieldByName(u"NRIDADEINI");
  stNRIDADEINI = anos->AsString();
  stNRIDADEFIN = cdsIdPesAlt->FieldByName(u"NRIDADEFIN")->AsString();
  InicioPostLinhas(idade_);
  if (fw::EmptyString(anos->AsString())) {
    FocaCampoLinhas(idade_, QStringLiteral("NRIDADEINI"), {}, false);
    fw::MensErro(msgPadrao->Msg(QStringLiteral("ANO_DEVE")));
  }
  if (cdsIdPesAlt->State() == fw::DatasetState::Insert) Vd_Mes(true);
  // The age table takes the reference of the reference list.
  cdsIdPesAlt->FieldByName(u"CDREFEBIBL")->SetAsString(CurrentReference());
  cdsIdPesAlt->FieldByName(u"CDPERCENTIL")
      ->SetAsString(cdsPercIdade->FieldByName(u"CDPERCENTIL")->AsString());
  VerificaPlausibilidade(idade_);
}

void TfrmTabRelPeso::cdsIdPesAltAfterPost(fw::Dataset&) {
  GravaLinhas(idade_, QStringLiteral("NRIDADEFIN;NRIDADEINI"), {stNRIDADEFIN, stNRIDADEINI});
}

void TfrmTabRelPeso::cdsIdPesAltAfterDelete(fw::Dataset&) { GravaLinhas(idade_); }

void TfrmTabRelPeso::dbgIdPesAltMascColExit(QObject*) {
  if (cdsIdPesAlt->State() == fw::DatasetState::Insert) Vd_Mes(false);
}

void TfrmTabRelPeso::dbgIdPesAltMascKeyPress(QObject* sender, QChar& key) {
  static const QHash<QString, int> decimals = DecimaisIdade("MAS");
  FiltraTeclaLinhas(sender, key, decimals);
}

void TfrmTabRelPeso::dbgIdPesAltFemKeyPress(QObject* sender, QChar& key) {
  static const QHash<QString, int> decimals = DecimaisIdade("FEM");
  FiltraTeclaLinhas(sender, key, decimals);
}

void TfrmTabRelPeso::dbgIdPesAltMascKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift) {
  DescartaCtrlDelete(key, shift);
}

void TfrmTabRelPeso::dbgIdPesAltFemKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift) {
  DescartaCtrlDelete(key, shift);
}

}  // namespace trp::tabrelpeso
