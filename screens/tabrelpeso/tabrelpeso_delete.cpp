// Deleting from the toolbar, verifying, and opening the copy dialog. References and percentiles are
// known to the server only through their rows: deleting one deletes its rows
// on the server at once, then the entry from the screen's list. A single row
// goes through its dataset's delete, whose after-delete sends it.

#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/percdestino/percdestino_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

#include <memory>

namespace trp::tabrelpeso {

const TfrmTabRelPeso::Tabela& TfrmTabRelPeso::TabelaDaPagina(const fw::TabSheet* page) const {
  return page == tshIdPesAlt ? idade_ : page == tshPesAlt ? altura_ : nchs_;
}

void TfrmTabRelPeso::RegraLinhas(const Tabela& table) {
  (this->*table.regraLinhas)(table.rowSource);
}

void TfrmTabRelPeso::RecarregaTabela(const Tabela& table, bool lista) {
  *table.ultimoPar = fw::CheckResultServ((rdm_.*table.recarrega)(), true, 0);
  const services::PercPair pair = services::PairOf(*table.ultimoPar);
  if (lista) table.perc->SetData(pair.percentis);
  table.rows->SetData(pair.linhas);
}

void TfrmTabRelPeso::ExcluiReferencia() {
  const services::Busy busy(fw::bkSaving);
  if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), fw::MsgType::Confirmation, fw::mbYesNo,
                                   0) != fw::mbYes)
    return;
  // Three transactions: a failure stops here with the earlier tables
  // deleted and the reference still listed; deleting it again finishes.
  for (const Tabela* table : {&idade_, &altura_, &nchs_}) {
    fw::CheckResultServ((rdm_.*table->deleta)(CurrentReference(),
                                              table->perc->FieldByName(u"CDPERCENTIL")->AsString(),
                                              QLatin1String(services::kDeletaReferencia)),
                        true, 0);
    RecarregaTabela(*table, true);
  }
  cdsReferencia->Delete();
  dtsPadraoStateChange(dtsPadrao);
}

void TfrmTabRelPeso::sbtExcluirClick(QObject*) {
  fw::TabSheet* page = pgcPadrao->ActivePage();
  if (page == tshPadrao) {
    ExcluiReferencia();
    return;
  }
  const Tabela& table = TabelaDaPagina(page);
  const bool percentil = ActiveControl() == table.percGrid;
  // Nothing to delete: said before a question, not after it.
  if (!percentil && table.rows->IsEmpty()) return;
  const services::Busy busy(fw::bkSaving);
  // A row of a page that shows one sex holds the other sex's values too.
  const bool bothSexes = !percentil && table.rowGrids.size() > 1;
  const fw::MsgButton answer =
      bothSexes ? msgPadrao->ShowMsg(QStringLiteral("ExcDadComuns"), fw::MsgType::Confirmation,
                                     fw::mbYesNo, 0)
                : msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), fw::MsgType::Confirmation,
                                               fw::mbYesNo, 0);
  if (answer != fw::mbYes) return;
  if (percentil) {
    fw::CheckResultServ((rdm_.*table.deleta)(CurrentReference(),
                                             table.perc->FieldByName(u"CDPERCENTIL")->AsString(),
                                             QLatin1String(services::kDeletaPercentil)),
                        true, 0);
    RecarregaTabela(table, false);
    table.perc->Delete();  // its after-scroll filters the rows to the next one
    RegraPercentil(table);
  } else {
    table.rows->Delete();  // its after-delete sends and reloads
    RegraLinhas(table);
  }
}

void TfrmTabRelPeso::sbtVerificarClick(QObject*) {
  fw::TabSheet* page = pgcPadrao->ActivePage();
  // A packet assigned to an open dataset changes no state: the page's rules
  // run here, or the toolbar would still speak of the old content.
  if (page == tshPadrao) {
    cdsReferencia->SetData(services::PacketOf(fw::CheckResultServ(rdm_.GetReferencia(), true, 0)));
    dtsPadraoStateChange(dtsPadrao);
    return;
  }
  const Tabela& table = TabelaDaPagina(page);
  {
    const services::Busy busy(fw::bkVerifying);
    RecarregaTabela(table, false);
  }
  RegraPercentil(table);
  RegraLinhas(table);
}

void TfrmTabRelPeso::sbtCopiarClick(QObject*) {
  // Any page other than the two first tables' means the NCHS 2000 table.
  const Tabela& table = TabelaDaPagina(pgcPadrao->ActivePage());
  if (table.rows->RecordCount() < 1) fw::MensErro(msgPadrao->Msg(QStringLiteral("NPossCad")));
  // A new dialog each time: the offered lists are loaded afresh.
  const std::unique_ptr<percdestino::TfrmPercDestino> dialog =
      std::make_unique<percdestino::TfrmPercDestino>(this);
  dialog->stPaginaOrigem = table.page->objectName();
  dialog->Create();
  dialog->exec();
}

void TfrmTabRelPeso::mnuCopiarClick(QObject*) { sbtCopiarClick(sbtCopiar); }

void TfrmTabRelPeso::RecarregaAposCopia(const QString& pagina, const QString& destino) {
  const Tabela& table = TabelaDaPagina(pgcPadrao->PageByName(pagina));
  RecarregaTabela(table, true);
  // As a fresh load: the list's rule, and the user on what was copied.
  RegraPercentil(table);
  table.perc->Locate(QStringLiteral("CDPERCENTIL"), destino);
}

}  // namespace trp::tabrelpeso
