// Loading the lists and sending each change to the server as it is
// confirmed: the server checks it again and keeps it with its audit row, or
// refuses it with a sentence shown to the user, the typing kept.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/host_services.h"
#include "framework/ui/search.h"
#include "screens/cadreferencia/cadreferencia_form.h"
#include "services/rdm_tabrelpeso.h"

#include <algorithm>
#include <numeric>

namespace trp::cadreferencia {

namespace {

bool Editing(const fw::Dataset* ds) {
  return ds->State() == fw::DatasetState::Edit || ds->State() == fw::DatasetState::Insert;
}

QString TableOf(const fw::Dataset& ds) {
  return ds.FindField(u"CDREFEBIBL") ? QStringLiteral("REFEBIBL") : QStringLiteral("PERCENTIL");
}

// A new entry takes its place in code order, the order the server lists them
// in, and stays the current one.
void InCodeOrder(fw::Dataset& ds) {
  const fw::DataPacket all = ds.Data();
  QList<qsizetype> order(all.rowCount());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
    return all.value(a, 0).toString() < all.value(b, 0).toString();
  });
  if (std::is_sorted(order.cbegin(), order.cend())) return;
  fw::DataPacket sorted(all.fields());
  for (qsizetype r : order) {
    QVariantList row;
    for (int c = 0; c < all.fields().size(); ++c) row << all.value(r, c);
    sorted.appendRow(row);
  }
  const QString field = ds.Fields().first()->FieldName();
  const QString current = ds.Fields().first()->AsString();
  ds.SetData(sorted);
  ds.Locate(field, current);
}

}  // namespace

void TfrmCadReferencia::FormActivate(QObject* sender) {
  fw::TfrmPadraoGrid::FormActivate(sender);
  if (loaded_) return;
  LoadLists();
  loaded_ = true;
}

void TfrmCadReferencia::LoadLists() {
  cdsReferencia->SetData(services::PacketOf(fw::CheckResultServ(rdm_.GetCadReferencia())));
  cdsPercentil->SetData(services::PacketOf(fw::CheckResultServ(rdm_.GetCadPercentil())));
  dtsPadraoStateChange(nullptr);
}

void TfrmCadReferencia::FormClose(QObject* sender, fw::CloseAction& action) {
  fw::TfrmPadraoGrid::FormClose(sender, action);
  netCadReferencia->SetConnected(false);
}

QVariantList TfrmCadReferencia::RowOf(const fw::Dataset& ds) const {
  QVariantList row;
  for (const fw::Field* f : ds.Fields()) {
    if (f->IsNull() || (f->DataType() == fw::FieldType::String && f->AsString().isEmpty()))
      row << QVariant();
    else if (f->DataType() == fw::FieldType::Float)
      row << f->AsFloat();
    else
      row << f->AsString();
  }
  return row;
}

void TfrmCadReferencia::Normalize(fw::Dataset& ds, int codeWidth) {
  fw::Field* code = ds.Fields().first();
  if (ds.State() == fw::DatasetState::Insert)
    code->SetAsString(fw::Ajusta(code->AsString(), codeWidth));
  for (fw::Field* f : ds.Fields()) {
    if (f == code || f->DataType() != fw::FieldType::String || f->IsNull()) continue;
    const QString text =
        f->AsString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).trimmed();
    if (text.isEmpty())
      f->Clear();
    else if (text != f->AsString())
      f->SetAsString(text);
  }
  if (fw::EmptyString(code->AsString())) {
    code->FocusControl();
    fw::MensErro(msgPadrao->Msg(QStringLiteral("Cod_Deve")));
  }
  if (ds.Fields().at(1)->IsNull()) {
    ds.Fields().at(1)->FocusControl();
    fw::MensErro(msgPadrao->Msg(QStringLiteral("Nome_Deve")));
  }
}

void TfrmCadReferencia::CodeColExit(fw::DBGrid* grid) {
  const fw::Field* field = grid->SelectedField();
  fw::Dataset* ds = grid->DataSet();
  if (!field || !ds || ds->State() != fw::DatasetState::Insert || field->Tag() % 2 == 0) return;
  fw::Field* code = ds->Fields().first();
  if (!fw::EmptyString(code->AsString()))
    code->SetAsString(fw::Ajusta(code->AsString(), code->Size()));
}

void TfrmCadReferencia::cdsReferenciaBeforeEdit(fw::Dataset& ds) { original_ = RowOf(ds); }
void TfrmCadReferencia::cdsPercentilBeforeEdit(fw::Dataset& ds) { original_ = RowOf(ds); }

void TfrmCadReferencia::cdsReferenciaBeforePost(fw::Dataset& ds) {
  Normalize(ds, 2);
  const QVariantList row = RowOf(ds);
  fw::CheckResultServ(ds.State() == fw::DatasetState::Insert
                          ? rdm_.IncluiReferencia(row)
                          : rdm_.AlteraReferencia(original_, row));
}

void TfrmCadReferencia::cdsPercentilBeforePost(fw::Dataset& ds) {
  Normalize(ds, 3);
  const QVariantList row = RowOf(ds);
  fw::CheckResultServ(ds.State() == fw::DatasetState::Insert
                          ? rdm_.IncluiPercentil(row)
                          : rdm_.AlteraPercentil(original_, row));
}

void TfrmCadReferencia::AfterChange(fw::Dataset& ds) {
  // What the dataset holds is what the server kept: no change is pending.
  ds.MergeChangeLog();
  InCodeOrder(ds);
  fw::AtualizaLocalCache({TableOf(ds)});
}

// --- toolbar: the operations act on the page shown

void TfrmCadReferencia::sbtIncluirClick(QObject*) {
  fw::Dataset* ds = ActiveDataset();
  ds->Insert();
  ds->Fields().first()->FocusControl();
}

void TfrmCadReferencia::sbtAlterarClick(QObject*) {
  fw::Dataset* ds = ActiveDataset();
  if (ds->IsEmpty()) return;
  ds->Edit();
  ds->Fields().at(1)->FocusControl();
}

void TfrmCadReferencia::sbtExcluirClick(QObject*) {
  fw::Dataset* ds = ActiveDataset();
  if (Editing(ds) || ds->IsEmpty()) return;
  if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), fw::MsgType::Confirmation,
                                   fw::mbYesNoDefaultNo, 0) != fw::mbYes)
    return;
  const QVariantList row = RowOf(*ds);
  fw::CheckResultServ(ds == cdsReferencia ? rdm_.ExcluiReferencia(row) : rdm_.ExcluiPercentil(row));
  ds->Delete();
  AfterChange(*ds);
}

void TfrmCadReferencia::sbtCancelarClick(QObject*) {
  fw::Dataset* ds = ActiveDataset();
  if (Editing(ds)) ds->Cancel();
}

void TfrmCadReferencia::sbtConfirmarClick(QObject*) {
  fw::Dataset* ds = ActiveDataset();
  if (Editing(ds)) ds->Post();
}

void TfrmCadReferencia::sbtProcurarClick(QObject*) { fw::Procura(ActiveDataset()); }

}  // namespace trp::cadreferencia
