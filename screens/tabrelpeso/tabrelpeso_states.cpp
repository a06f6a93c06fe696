// The state rules: what the toolbar, the menus, the pages and the grids allow
// for the dataset being worked on; and the toolbar actions, which act on the
// dataset chosen by the page and the grid holding the focus.

#include "framework/ui/busy.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/forms.h"
#include "framework/ui/search.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

namespace trp::tabrelpeso {

namespace {

bool Editing(fw::DatasetState s) {
  return s == fw::DatasetState::Edit || s == fw::DatasetState::Insert;
}

bool HasRows(const fw::Dataset* ds) { return ds->Active() && !ds->IsEmpty(); }

void SetSearchButton(fw::DBGrid* grid, const QString& field, bool shown) {
  const int index = fw::IndiceCol(grid, field);
  if (fw::DBGridColumn* column = grid->Column(index))
    column->SetButtonStyle(shown ? fw::ButtonStyle::Ellipsis : fw::ButtonStyle::None);
}

}  // namespace

// --- helpers of the rules ----------------------------------------------------------

void TfrmTabRelPeso::SetOperation(const char* button, bool enabled) {
  // The menu item carries the state; its tool button shares it.
  if (QAction* twin = Twin(QLatin1String(button))) twin->setEnabled(enabled);
}

void TfrmTabRelPeso::SetCopy(bool enabled) { mnuCopiar->setEnabled(enabled); }

void TfrmTabRelPeso::LockNavigator(const Tabela& table) {
  // The navigator walks the page's percentile list: moving it under a record
  // being typed would refilter the rows and post it under another percentile.
  if (pgcPadrao->ActivePage() != table.page) return;
  dbnPadrao->setEnabled(!Editing(table.perc->State()) && !Editing(table.rows->State()));
}

void TfrmTabRelPeso::SetPage(fw::TabSheet* page, QAction* menu, bool enabled) {
  page->setEnabled(enabled);
  menu->setEnabled(page->isEnabledTo(pgcPadrao));
}

void TfrmTabRelPeso::SetOtherPages(const Tabela& table, bool enabled) {
  const QList<QPair<fw::TabSheet*, QAction*>> pages{{tshPadrao, mnuReferncia},
                                                    {tshIdPesAlt, mnuIdPesAlt},
                                                    {tshPesAlt, mnuPesAlt},
                                                    {tshPesAltNCHS, mnuPesAltNCHS}};
  for (const auto& [page, menu] : pages)
    if (page != table.page) SetPage(page, menu, enabled);
}

// --- the three rules -------------------------------------------------------------------

void TfrmTabRelPeso::dtsPadraoStateChange(QObject* sender) {
  fw::TfrmPadraoGrid::dtsPadraoStateChange(sender);
  const fw::DatasetState s = dtsPadrao->State();
  const bool browse = s == fw::DatasetState::Browse;
  const bool refRows = HasRows(cdsReferencia);
  SetSearchButton(dbgPadrao, QStringLiteral("CDREFEBIBL"),
                  cdsReferencia->State() == fw::DatasetState::Insert);
  // A reference's code is checked only when it is added: it is never
  // changed in place.
  cdsReferencia->FieldByName(u"CDREFEBIBL")
      ->SetReadOnly(cdsReferencia->State() != fw::DatasetState::Insert);
  SetOperation("sbtConfirmar", Editing(s));
  SetOperation("sbtCancelar", Editing(s));
  SetOperation("sbtIncluir", browse);
  SetOperation("sbtAlterar", false);
  SetOperation("sbtExcluir", browse && refRows);
  SetOperation("sbtProcurar", browse && refRows);
  SetOperation("sbtVerificar", browse && refRows);
  SetCopy(false);
  dbnPadrao->setEnabled(browse);
  SetPage(tshIdPesAlt, mnuIdPesAlt, browse && refRows);
  SetPage(tshPesAlt, mnuPesAlt, browse && refRows);
  SetPage(tshPesAltNCHS, mnuPesAltNCHS, browse && refRows);
}

void TfrmTabRelPeso::dtsReferenciaStateChange(QObject*) {}

void TfrmTabRelPeso::ApplyPercRule(const Tabela& table) {
  const fw::DatasetState s = table.percSource->State();
  const bool browse = s == fw::DatasetState::Browse;
  const bool editing = Editing(s);
  const bool listRows = HasRows(table.perc);
  const bool focus = ActiveControl() == table.percGrid;
  const bool inserting = table.perc->State() == fw::DatasetState::Insert;

  table.perc->FieldByName(u"CDPERCENTIL")->SetReadOnly(s != fw::DatasetState::Insert);
  if (focus || table.searchButtonAlways)
    SetSearchButton(table.percGrid, QStringLiteral("CDPERCENTIL"), inserting);
  if (focus) {
    SetOperation("sbtConfirmar", editing);
    SetOperation("sbtCancelar", editing);
    SetOperation("sbtIncluir", browse);
    SetOperation("sbtAlterar", false);
    SetOperation("sbtExcluir", browse && listRows);
    SetOperation("sbtProcurar", browse && listRows);
    SetOperation("sbtVerificar", browse && listRows);
    SetCopy(browse && listRows && HasRows(table.rows));
    SetOtherPages(table, !editing);
  }
  for (fw::DBGrid* grid : table.rowGrids) grid->setEnabled(!editing && listRows);
  if (table.sexPanel) fw::SetChildEnabled(table.sexPanel, !editing);
  LockNavigator(table);
}

void TfrmTabRelPeso::ApplyRowsRule(const Tabela& table) {
  LockNavigator(table);
  if (!table.rowGrids.contains(qobject_cast<fw::DBGrid*>(ActiveControl()))) return;
  const fw::DatasetState s = table.rowSource->State();
  const bool browse = s == fw::DatasetState::Browse;
  const bool editing = Editing(s);
  const bool rows = HasRows(table.rows);
  const bool listRows = HasRows(table.perc);

  for (const QString& key : table.rowKeys)
    table.rows->FieldByName(key)->SetReadOnly(s != fw::DatasetState::Insert);
  SetOperation("sbtConfirmar", editing);
  SetOperation("sbtCancelar", editing);
  SetOperation("sbtIncluir", browse);
  SetOperation("sbtAlterar", browse && rows && listRows);
  SetOperation("sbtExcluir", browse && rows && listRows);
  SetOperation("sbtProcurar", browse && rows && listRows);
  SetOperation("sbtVerificar", browse && rows && listRows);
  SetCopy(browse && rows);
  SetOtherPages(table, !editing);
  table.percGrid->setEnabled(!editing);
  if (table.sexPanel) fw::SetChildEnabled(table.sexPanel, !editing);
}

void TfrmTabRelPeso::dtsPercIdadeStateChange(QObject*) { ApplyPercRule(idade_); }
void TfrmTabRelPeso::dtsPercAlturaStateChange(QObject*) { ApplyPercRule(altura_); }
void TfrmTabRelPeso::dtsPercAlturaNCHSStateChange(QObject*) { ApplyPercRule(nchs_); }
void TfrmTabRelPeso::dtsIdPesAltStateChange(QObject*) { ApplyRowsRule(idade_); }
void TfrmTabRelPeso::dtsPesAltStateChange(QObject*) { ApplyRowsRule(altura_); }
void TfrmTabRelPeso::dtsPesAltNCHSStateChange(QObject*) { ApplyRowsRule(nchs_); }

// --- grids taking the focus -----------------------------------------------------------------

void TfrmTabRelPeso::dbgPercIdadeEnter(QObject*) { dtsPercIdadeStateChange(dtsPercIdade); }
void TfrmTabRelPeso::dbgPercAlturaEnter(QObject*) { dtsPercAlturaStateChange(dtsPercAltura); }
void TfrmTabRelPeso::dbgPercAlturaNCHSEnter(QObject*) {
  dtsPercAlturaNCHSStateChange(dtsPercAlturaNCHS);
}

// Entering a rows grid first refilters the rows to the current percentile.
void TfrmTabRelPeso::dbgIdPesAltMascEnter(QObject*) {
  cdsPercIdadeAfterScroll(*cdsPercIdade);
  dtsIdPesAltStateChange(dtsIdPesAlt);
}
void TfrmTabRelPeso::dbgPesAltEnter(QObject*) {
  cdsPercAlturaAfterScroll(*cdsPercAltura);
  dtsPesAltStateChange(dtsPesAlt);
}
void TfrmTabRelPeso::dbgPesAltMascNCHSEnter(QObject*) {
  cdsPercAlturaNCHSAfterScroll(*cdsPercAlturaNCHS);
  dtsPesAltNCHSStateChange(dtsPesAltNCHS);
}
void TfrmTabRelPeso::dbgPesAltFemnNCHSEnter(QObject*) {
  cdsPercAlturaNCHSAfterScroll(*cdsPercAlturaNCHS);
  dtsPesAltNCHSStateChange(dtsPesAltNCHS);
}

// --- toolbar ------------------------------------------------------------------------------------

fw::Dataset* TfrmTabRelPeso::Alvo(Acao acao) const {
  const fw::TabSheet* page = pgcPadrao->ActivePage();
  if (page == tshPadrao) return cdsReferencia;
  const Tabela& table = TabelaDaPagina(page);
  // The edit action always works on the rows of the page.
  if (acao == Acao::Alterar) return table.rows;
  QWidget* active = ActiveControl();
  if (active == table.percGrid) return table.perc;
  // On the age page an insert needs one of the page's grids to be focused.
  if (acao == Acao::Incluir && page == tshIdPesAlt &&
      !table.rowGrids.contains(qobject_cast<fw::DBGrid*>(active)))
    return nullptr;
  return table.rows;
}

void TfrmTabRelPeso::sbtIncluirClick(QObject*) {
  if (fw::Dataset* ds = Alvo(Acao::Incluir)) ds->Insert();
}

void TfrmTabRelPeso::sbtAlterarClick(QObject*) { Alvo(Acao::Alterar)->Edit(); }

void TfrmTabRelPeso::sbtConfirmarClick(QObject*) {
  fw::Dataset* ds = Alvo(Acao::Outra);
  services::Busy busy(fw::bkSaving);
  ds->Post();
}

void TfrmTabRelPeso::sbtCancelarClick(QObject* sender) {
  // Whatever the answer, the user goes on in the grid they were working in
  // (the question's window and a closed editor would leave the focus on the
  // page's tab, where Incluir and typing do nothing).
  struct Volta {
    TfrmTabRelPeso* form;
    QPointer<QWidget> working;
    ~Volta() { form->VoltaAoControle(working); }
  } volta{this, ActiveControl()};
  fw::TabSheet* page = pgcPadrao->ActivePage();
  if (page == tshPadrao) {
    fw::TfrmPadraoGrid::sbtCancelarClick(sender);
    return;
  }
  fw::Dataset* ds = Alvo(Acao::Outra);
  const bool yes = msgMensagensPadroes->ShowMsg(QStringLiteral("Canc"), fw::MsgType::Confirmation,
                                                fw::mbYesNo, 0) == fw::mbYes;
  if (yes) ds->Cancel();
  // The age and height-weight pages re-apply the rule themselves; the NCHS
  // 2000 page relies on the state change.
  if (page == tshIdPesAlt) {
    if (ds == cdsIdPesAlt)
      dtsIdPesAltStateChange(dtsIdPesAlt);
    else if (yes)
      dtsPercIdadeStateChange(dtsPercIdade);
  } else if (page == tshPesAlt) {
    if (ds == cdsPesAlt)
      dtsPesAltStateChange(dtsPesAlt);
    else
      dtsPercAlturaStateChange(dtsPercAltura);
  }
}

void TfrmTabRelPeso::VoltaAoControle(QWidget* working) {
  if (!working || !working->isEnabled() || !working->isVisibleTo(this)) {
    const fw::TabSheet* page = pgcPadrao->ActivePage();
    working = page == tshPadrao ? static_cast<QWidget*>(dbgPadrao) : TabelaDaPagina(page).percGrid;
  }
  fw::ActiveControlTracker::TakeFocus(working);
}

void TfrmTabRelPeso::sbtProcurarClick(QObject*) {
  fw::Dataset* ds = Alvo(Acao::Outra);
  // The dialog offers the columns of the grids that show the dataset, the
  // visible sex first, each sex's values labelled with it.
  QList<QPair<fw::DBGrid*, QString>> grids;
  if (ds == cdsReferencia) {
    grids = {{dbgPadrao, {}}};
  } else {
    for (const Tabela* table : {&idade_, &altura_, &nchs_}) {
      if (ds == table->perc) grids = {{table->percGrid, {}}};
      if (ds != table->rows) continue;
      if (table->rowGrids.size() == 1) {
        grids = {{table->rowGrids.first(), {}}};
        continue;
      }
      QPair<fw::DBGrid*, QString> masc{table->rowGrids.at(0), QStringLiteral("Masculino")};
      QPair<fw::DBGrid*, QString> fem{table->rowGrids.at(1), QStringLiteral("Feminino")};
      grids = fem.first->isVisibleTo(table->page) ? QList{fem, masc} : QList{masc, fem};
    }
  }
  fw::Procura(ds, fw::FindColumnsOf(grids));
}

}  // namespace trp::tabrelpeso
