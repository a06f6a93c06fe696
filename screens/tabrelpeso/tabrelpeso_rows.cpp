// What the three tables do alike with their rows: the key rule of the grids
// and the saving of every post or delete at once, followed by the reload.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/forms.h"
#include "framework/ui/host_services.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

void TfrmTabRelPeso::FiltraTeclaLinhas(QObject* sender, QChar& key,
                                       const QHash<QString, int>& decimais) {
  auto* grid = qobject_cast<fw::DBGrid*>(sender);
  const fw::Field* field = grid ? grid->SelectedField() : nullptr;
  const fw::Dataset* ds = grid ? grid->DataSet() : nullptr;
  if (!field || !ds) return;
  const bool backspace = key == QLatin1Char('\b');
  // A row's key is typed only into a new row.
  if (field->Tag() % 2 != 0 && ds->State() != fw::DatasetState::Insert) {
    if (!backspace) key = QChar();
    return;
  }
  if (!backspace && key != QLatin1Char(',') &&
      !(key >= QLatin1Char('0') && key <= QLatin1Char('9'))) {
    key = QChar();
    return;
  }
  const auto decimals = decimais.constFind(field->FieldName());
  if (decimals != decimais.constEnd())
    fw::MaxNumber(grid->EditorText(), 3, *decimals, key, grid->EditorSelStart(),
                  grid->EditorSelLength());
  else if (key == QLatin1Char(','))  // years and months: whole numbers, refused visibly
    fw::MaxNumber(grid->EditorText(), 3, 0, key, grid->EditorSelStart(), grid->EditorSelLength());
}

void TfrmTabRelPeso::DescartaCtrlDelete(int& key, Qt::KeyboardModifiers shift) {
  if (key == Qt::Key_Delete && (shift & Qt::ControlModifier)) key = 0;
}

void TfrmTabRelPeso::InicioPostLinhas(const Tabela& table) {
  fw::Field* percentil = table.perc->FieldByName(u"CDPERCENTIL");
  if (fw::EmptyString(percentil->AsString())) {
    // Reported, then the row dropped (which unlocks the percentile grid),
    // then the user put on the percentile's code.
    fw::MensErro(msgPadrao->Msg(QStringLiteral("Perc_deve")), false);
    table.rows->Cancel();
    percentil->FocusControl();
    throw fw::EAbort();
  }
  const fw::DatasetState listState = table.perc->State();
  if (listState == fw::DatasetState::Edit || listState == fw::DatasetState::Insert)
    table.perc->Post();
  table.rows->FieldByName(u"CDREFEBIBL")
      ->SetAsString(table.perc->FieldByName(u"CDREFEBIBL")->AsString());
  table.rows->FieldByName(u"CDPERCENTIL")->SetAsString(percentil->AsString());
}

void TfrmTabRelPeso::Vd_AlturaDe(const Tabela& table, const QString& field, bool obrigatorio) {
  fw::Field* altura = table.rows->FieldByName(field);
  try {
    if (fw::EmptyString(altura->AsString())) {
      if (!obrigatorio) return;
      fw::MensErro(msgPadrao->Msg(QStringLiteral("Alt_Deve")));
    }
    // The height goes as the host writes a number ("110,5"), not as shown.
    const fw::ServerResult answer = (rdm_.*table.validaAltura)(
        table.perc->FieldByName(u"CDREFEBIBL")->AsString(),
        table.perc->FieldByName(u"CDPERCENTIL")->AsString(), altura->AsString());
    table.valida->SetData(services::PacketOf(fw::CheckResultServ(answer, true, 0)));
    if (!table.valida->IsEmpty()) fw::MensErro(msgPadrao->Msg(QStringLiteral("ALTURA_JCAD")));
  } catch (...) {
    FocaCampoLinhas(table, field, {}, false);
    throw;
  }
}

void TfrmTabRelPeso::GravaLinhas(const Tabela& table, const QString& keyFields,
                                 const QVariantList& keys, bool focusWhenEmpty) {
  if (table.rows->ChangeCount() > 0) {
    services::ShowBusy(fw::bkSaving);
    const fw::DeltaPacket delta = table.rows->Delta();
    fw::ServerResult answer;
    try {
      answer = (rdm_.*table.grava)(delta);
      if (answer.ok) {
        if (table.rows->LogChanges()) table.rows->MergeChangeLog();
        fw::AtualizaLocalCache({table.cache});
      }
    } catch (...) {
      services::HideBusy();
      table.rows->CancelUpdates();
      throw;
    }
    if (!answer.ok) {
      // Nothing of a refused change stays: a new row goes, an edited one
      // gets its values back, a deleted one returns; the message says what.
      services::HideBusy();
      table.rows->CancelUpdates();
      FalhaGravacao(table, delta, answer.error);
    }
    try {
      *table.ultimoPar = fw::CheckResultServ((rdm_.*table.recarrega)(), true, 0);
      table.rows->SetData(services::PairOf(*table.ultimoPar).linhas);
      if (!keyFields.isEmpty()) table.rows->Locate(keyFields, keys);
    } catch (...) {
      services::HideBusy();  // the change is on the server already
      throw;
    }
    services::HideBusy();
    fw::Dialogs().ShowStatus(keyFields.isEmpty() ? QStringLiteral("Linha excluída")
                                                 : QStringLiteral("Linha gravada"));
  }
  if (focusWhenEmpty && table.rows->IsEmpty() &&
      table.rowGrids.contains(qobject_cast<fw::DBGrid*>(ActiveControl())))
    fw::ActiveControlTracker::TakeFocus(table.percGrid);
}

}  // namespace trp::tabrelpeso
