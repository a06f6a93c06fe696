// Adding a reference or a percentile to a list: the code checked against the
// master table and the list, the name filled in, the search dialogs behind
// the code column, and the key rules of the four list grids. Entries live in
// the screen's lists only; the server knows them through their rows.

#include "framework/data/errors.h"
#include "framework/ui/consiste.h"
#include "framework/ui/search.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

namespace {

bool Inserting(const fw::Dataset* ds) { return ds->State() == fw::DatasetState::Insert; }

bool SelectedFieldIs(QObject* sender, QLatin1String name) {
  auto* grid = qobject_cast<fw::DBGrid*>(sender);
  const fw::Field* field = grid ? grid->SelectedField() : nullptr;
  return field && field->FieldName() == name;  // exact, as the field names are
}

// Runs `check`; any failure first puts the user on `code`, then goes on.
template <class Check>
void FocusOnFailure(fw::Field* code, Check&& check) {
  try {
    check();
  } catch (...) {
    code->FocusControl();
    throw;
  }
}

// Reopens a search query on `code`, or on every row when `code` is null.
void Reopen(fw::TADOIBQuery* query, const char* param, const QString& code) {
  query->Close();
  if (code.isNull())
    query->ParamByName(QString::fromLatin1(param))->Clear();
  else
    query->ParamByName(QString::fromLatin1(param))->SetAsString(code);
  query->Open();
}

}  // namespace

// --- helpers ----------------------------------------------------------------------------

void TfrmTabRelPeso::RegraPercentil(const Tabela& table) {
  (this->*table.regraLista)(table.percSource);
}

void TfrmTabRelPeso::RowFilterOf(const Tabela& table) { (this->*table.filtraLinhas)(*table.perc); }

QString TfrmTabRelPeso::CurrentReference() const {
  return cdsReferencia->FieldByName(u"CDREFEBIBL")->AsString();
}

// --- references ---------------------------------------------------------------------------

void TfrmTabRelPeso::Vd_Referencia(bool obrigatorio) {
  if (!Inserting(cdsReferencia)) return;
  fw::Field* code = cdsReferencia->FieldByName(u"CDREFEBIBL");
  const bool empty = fw::EmptyString(code->AsString());
  FocusOnFailure(code, [&] {
    if (empty && obrigatorio) fw::MensErro(msgPadrao->Msg(QStringLiteral("Cod_Deve")));
    if (empty) return;
    const QString normalized = fw::Ajusta(code->AsString(), code->Size());
    code->SetAsString(normalized);
    Reopen(qryPesqRefe, "P_CDREFERENCIA", normalized);
    if (qryPesqRefe->IsEmpty()) fw::MensErro(msgPadrao->Msg(QStringLiteral("Refe_NCad")));
    if (cdsValidaRefe->Locate(QStringLiteral("CDREFEBIBL"), normalized, fw::loCaseInsensitive))
      fw::MensErro(msgPadrao->Msg(QStringLiteral("Refe_JCad")));
    cdsReferencia->FieldByName(u"NMREFEBIBL")
        ->SetAsString(qryPesqRefe->DataSet()->FieldByName(u"NMREFEBIBL")->AsString());
  });
}

void TfrmTabRelPeso::cdsReferenciaBeforeInsert(fw::Dataset&) {
  cdsValidaRefe->SetData(cdsReferencia->Data());
  cdsReferencia->FieldByName(u"CDREFEBIBL")->FocusControl();
}

void TfrmTabRelPeso::cdsReferenciaBeforePost(fw::Dataset&) {
  Vd_Referencia(true);
  LembraSemLinhas(nullptr);
}

void TfrmTabRelPeso::cdsReferenciaAfterCancel(fw::Dataset&) {
  // The controls that need a current reference. The edit action stays as
  // the reference rule set it: a reference's code is never changed in place.
  const bool refs = !cdsReferencia->IsEmpty();
  SetOperation("sbtExcluir", refs);
  SetOperation("sbtProcurar", refs);
  SetOperation("sbtVerificar", refs);
  SetPage(tshIdPesAlt, mnuIdPesAlt, refs);
  SetPage(tshPesAlt, mnuPesAlt, refs);
  SetPage(tshPesAltNCHS, mnuPesAltNCHS, refs);
}

void TfrmTabRelPeso::dbgPadraoColExit(QObject* sender) {
  if (SelectedFieldIs(sender, QLatin1String("CDREFEBIBL"))) Vd_Referencia(false);
}

void TfrmTabRelPeso::dbgPadraoEditButtonClick(QObject*) {
  Reopen(qryPesqRefe, "P_CDREFERENCIA", QString());
  const QString text = msgPadrao->Msg(QStringLiteral("Referencia")) + u'|' +
                       msgPadrao->Msg(QStringLiteral("NRefe_Cad"));
  if (!fw::Pesquisar(dtsPesqReferencia, text, false, true)) return;
  // A pick is checked like a typed code, when the column is left or posted.
  const fw::Dataset* picked = qryPesqRefe->DataSet();
  cdsReferencia->FieldByName(u"CDREFEBIBL")
      ->SetAsString(picked->FieldByName(u"CDREFEBIBL")->AsString());
  cdsReferencia->FieldByName(u"NMREFEBIBL")
      ->SetAsString(picked->FieldByName(u"NMREFEBIBL")->AsString());
}

void TfrmTabRelPeso::dbgPadraoKeyPress(QObject* sender, QChar& key) {
  fw::TfrmPadraoGrid::dbgPadraoKeyPress(sender, key);
  // The name shown no longer belongs to the code being typed.
  if (Inserting(cdsReferencia) && SelectedFieldIs(sender, QLatin1String("CDREFEBIBL")))
    cdsReferencia->FieldByName(u"NMREFEBIBL")->Clear();
}

// --- percentiles --------------------------------------------------------------------------

void TfrmTabRelPeso::Vd_Percentil(const Tabela& table, bool obrigatorio) {
  fw::Field* code = table.perc->FieldByName(u"CDPERCENTIL");
  const bool empty = fw::EmptyString(code->AsString());
  FocusOnFailure(code, [&] {
    if (empty && obrigatorio) fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_deve")));
    if (empty) return;
    const QString normalized = fw::Ajusta(code->AsString(), code->Size());
    code->SetAsString(normalized);
    Reopen(qryPesqPercentil, "P_CDPERCENTIL", normalized);
    if (qryPesqPercentil->IsEmpty()) fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_NCad")));
    // Duplicates count within the current reference only.
    table.copia->SetFiltered(false);
    table.copia->SetFilter(
        services::FilterEquals({{QStringLiteral("CDREFEBIBL"), CurrentReference()}}));
    table.copia->SetFiltered(true);
    if (table.copia->Locate(QStringLiteral("CDPERCENTIL"), normalized, fw::loCaseInsensitive))
      fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_JCad")));
    table.perc->FieldByName(u"NMPERCENTIL")
        ->SetAsString(qryPesqPercentil->DataSet()->FieldByName(u"NMPERCENTIL")->AsString());
  });
}

void TfrmTabRelPeso::Vd_PercIdade(bool obrigatorio) { Vd_Percentil(idade_, obrigatorio); }
void TfrmTabRelPeso::Vd_PercAltura(bool obrigatorio) { Vd_Percentil(altura_, obrigatorio); }
void TfrmTabRelPeso::Vd_PercAlturaNCHS(bool obrigatorio) { Vd_Percentil(nchs_, obrigatorio); }

void TfrmTabRelPeso::PercBeforeInsert(const Tabela& table) {
  // The whole list, every reference and the entries added since the screen
  // opened, taken before the new entry exists.
  table.copia->SetData(table.perc->Data());
  table.copia->SetFiltered(false);
  table.copia->SetFilter(
      services::FilterEquals({{QStringLiteral("CDREFEBIBL"), CurrentReference()}}));
  table.copia->SetFiltered(true);
  table.perc->FieldByName(u"CDPERCENTIL")->FocusControl();
}

void TfrmTabRelPeso::PercBeforePost(const Tabela& table) {
  table.perc->FieldByName(u"CDREFEBIBL")->SetAsString(CurrentReference());
  (this->*table.validaPercentil)(true);
  LembraSemLinhas(&table);
}

void TfrmTabRelPeso::PercAfterCancel(const Tabela& table) {
  // The rows of the percentile that is current again come back.
  RowFilterOf(table);
  RegraPercentil(table);
}

void TfrmTabRelPeso::PercColExit(const Tabela& table, QObject* sender) {
  if (SelectedFieldIs(sender, QLatin1String("CDPERCENTIL")) && Inserting(table.perc))
    Vd_Percentil(table, false);
}

void TfrmTabRelPeso::PesquisaPercentil(const Tabela& table) {
  Reopen(qryPesqPercentil, "P_CDPERCENTIL", QString());
  const QString text = msgPadrao->Msg(QStringLiteral("Percentil")) + u'|' +
                       msgPadrao->Msg(QStringLiteral("Perc_Vazio"));
  if (!fw::Pesquisar(dtsPesqPercentil, text, false, true)) return;
  const fw::Dataset* picked = qryPesqPercentil->DataSet();
  table.perc->FieldByName(u"CDPERCENTIL")
      ->SetAsString(picked->FieldByName(u"CDPERCENTIL")->AsString());
  table.perc->FieldByName(u"NMPERCENTIL")
      ->SetAsString(picked->FieldByName(u"NMPERCENTIL")->AsString());
}

void TfrmTabRelPeso::PercKeyPress(const Tabela& table, QObject* sender, QChar& key,
                                  bool keyFilter) {
  if (keyFilter) {
    auto* grid = qobject_cast<fw::DBGrid*>(sender);
    const fw::Field* field = grid ? grid->SelectedField() : nullptr;
    const fw::Dataset* ds = grid ? grid->DataSet() : nullptr;
    if (field && ds && field->Tag() % 2 != 0 && !Inserting(ds)) {
      const ushort c = key.unicode();
      if (c != 9 && c != 13 && (c < 37 || c > 40)) key = QChar();
      return;
    }
  }
  if (Inserting(table.perc)) table.perc->FieldByName(u"NMPERCENTIL")->Clear();
}

void TfrmTabRelPeso::cdsPercIdadeBeforeInsert(fw::Dataset&) { PercBeforeInsert(idade_); }
void TfrmTabRelPeso::cdsPercAlturaBeforeInsert(fw::Dataset&) { PercBeforeInsert(altura_); }
void TfrmTabRelPeso::cdsPercAlturaNCHSBeforeInsert(fw::Dataset&) { PercBeforeInsert(nchs_); }
void TfrmTabRelPeso::cdsPercIdadeBeforePost(fw::Dataset&) { PercBeforePost(idade_); }
void TfrmTabRelPeso::cdsPercAlturaBeforePost(fw::Dataset&) { PercBeforePost(altura_); }
void TfrmTabRelPeso::cdsPercAlturaNCHSBeforePost(fw::Dataset&) { PercBeforePost(nchs_); }
void TfrmTabRelPeso::cdsPercIdadeAfterCancel(fw::Dataset&) { PercAfterCancel(idade_); }
void TfrmTabRelPeso::cdsPercAlturaAfterCancel(fw::Dataset&) { PercAfterCancel(altura_); }
void TfrmTabRelPeso::cdsPercAlturaNCHSAfterCancel(fw::Dataset&) { PercAfterCancel(nchs_); }
void TfrmTabRelPeso::dbgPercIdadeColExit(QObject* sender) { PercColExit(idade_, sender); }
void TfrmTabRelPeso::dbgPercAlturaColExit(QObject* sender) { PercColExit(altura_, sender); }
void TfrmTabRelPeso::dbgPercAlturaNCHSColExit(QObject* sender) { PercColExit(nchs_, sender); }
void TfrmTabRelPeso::dbgPercIdadeEditButtonClick(QObject*) { PesquisaPercentil(idade_); }
void TfrmTabRelPeso::dbgPercAlturaEditButtonClick(QObject*) { PesquisaPercentil(altura_); }
void TfrmTabRelPeso::dbgPercAlturaNCHSEditButtonClick(QObject*) { PesquisaPercentil(nchs_); }

// The age list's handler acts only while inserting; its siblings also keep
// their code column to a few characters outside insert.
void TfrmTabRelPeso::dbgPercIdadeKeyPress(QObject* sender, QChar& key) {
  PercKeyPress(idade_, sender, key, false);
}
void TfrmTabRelPeso::dbgPercAlturaKeyPress(QObject* sender, QChar& key) {
  PercKeyPress(altura_, sender, key, true);
}
void TfrmTabRelPeso::dbgPercAlturaNCHSKeyPress(QObject* sender, QChar& key) {
  PercKeyPress(nchs_, sender, key, true);
}

}  // namespace trp::tabrelpeso
