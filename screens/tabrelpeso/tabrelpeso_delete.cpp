// Deleting from the toolbar, verifying, and opening the copy dialog. References and percentiles are
// known to the server only through their rows: deleting one deletes its rows
// on the server at once, then the entry from the screen's list. A single row
// goes through its dataset's delete, whose after-delete sends it.

#include "framework/net/checkresult.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "screens/historico/historico_form.h"
#include "screens/percdestino/percdestino_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

#include <QHash>
#include <QUuid>

#include <memory>

namespace trp::tabrelpeso {

namespace {

// Rows of `packet` whose fields equal the given values.
int CountRows(const fw::DataPacket& packet, const QList<QPair<QString, QString>>& equal) {
  QList<QPair<int, QString>> columns;
  for (const auto& [name, value] : equal) columns.append({packet.fieldIndex(name), value});
  int count = 0;
  for (qsizetype r = 0; r < packet.rowCount(); ++r) {
    bool match = true;
    for (const auto& [column, value] : columns)
      match = match && column >= 0 && packet.value(r, column).toString() == value;
    count += match ? 1 : 0;
  }
  return count;
}

QString Rows(int n) {
  return n == 1 ? QStringLiteral("1 linha") : QStringLiteral("%1 linhas").arg(n);
}

void SayVerified(int changed) {
  fw::Dialogs().ShowStatus(
      changed == 0   ? QStringLiteral("Dados verificados: sem alterações")
      : changed == 1 ? QStringLiteral("Dados verificados: 1 linha recarregada")
                     : QStringLiteral("Dados verificados: %1 linhas recarregadas").arg(changed));
}

}  // namespace

QString TfrmTabRelPeso::DetalheExclusao(const Tabela* only) const {
  const QString ref = CurrentReference();
  QStringList lines;
  if (only) {
    const QString perc = only->perc->FieldByName(u"CDPERCENTIL")->AsString();
    const QString name = only->perc->FieldByName(u"NMPERCENTIL")->AsString();
    lines << QStringLiteral("Percentil %1%2 da referência %3 - %4")
                 .arg(perc, name.isEmpty() ? QString() : QStringLiteral(" - ") + name, ref,
                      cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString());
    lines << QStringLiteral("%1: %2").arg(
        only->page->Caption(),
        Rows(CountRows(only->rows->Data(), {{QStringLiteral("CDREFEBIBL"), ref},
                                            {QStringLiteral("CDPERCENTIL"), perc}})));
    return lines.join(QLatin1Char('\n'));
  }
  lines << QStringLiteral("Referência %1 - %2")
               .arg(ref, cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString());
  for (const Tabela* table : {&idade_, &altura_, &nchs_})
    lines << QStringLiteral("%1: %2").arg(
        table->page->Caption(),
        Rows(CountRows(table->rows->Data(), {{QStringLiteral("CDREFEBIBL"), ref}})));
  return lines.join(QLatin1Char('\n'));
}

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
  const QString ref = CurrentReference();
  const QString nome = cdsReferencia->FieldByName(u"NMREFEBIBL")->AsString();
  if (fw::Dialogs().MessageDetail(msgMensagensPadroes->Msg(QStringLiteral("Excl")),
                                  DetalheExclusao(nullptr), fw::MsgType::Confirmation,
                                  fw::mbYesNoDefaultNo, 0) != fw::mbYes)
    return;
  // Three transactions: a failure stops here with the earlier tables
  // deleted and the reference still listed; deleting it again finishes.
  // One group id makes them one deletion in the history, restored together.
  const QString group = QUuid::createUuid().toString(QUuid::WithoutBraces);
  for (const Tabela* table : {&idade_, &altura_, &nchs_}) {
    fw::CheckResultServ((rdm_.*table->deleta)(CurrentReference(),
                                              table->perc->FieldByName(u"CDPERCENTIL")->AsString(),
                                              QLatin1String(services::kDeletaReferencia), group),
                        true, 0);
    RecarregaTabela(*table, true);
  }
  cdsReferencia->Delete();
  dtsPadraoStateChange(dtsPadrao);
  LembraExclusao('R', {}, ref, {}, {},
                 QStringLiteral("da referência %1 - %2 (excluída)").arg(ref, nome));
  fw::Dialogs().ShowStatus(QStringLiteral("Referência %1 excluída").arg(ref));
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
      bothSexes   ? msgPadrao->ShowMsg(QStringLiteral("ExcDadComuns"), fw::MsgType::Confirmation,
                                       fw::mbYesNoDefaultNo, 0)
      : percentil ? fw::Dialogs().MessageDetail(msgMensagensPadroes->Msg(QStringLiteral("Excl")),
                                                DetalheExclusao(&table), fw::MsgType::Confirmation,
                                                fw::mbYesNoDefaultNo, 0)
                  : msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), fw::MsgType::Confirmation,
                                                 fw::mbYesNoDefaultNo, 0);
  if (answer != fw::mbYes) return;
  if (percentil) {
    const QString perc = table.perc->FieldByName(u"CDPERCENTIL")->AsString();
    fw::CheckResultServ((rdm_.*table.deleta)(CurrentReference(),
                                             table.perc->FieldByName(u"CDPERCENTIL")->AsString(),
                                             QLatin1String(services::kDeletaPercentil), {}),
                        true, 0);
    RecarregaTabela(table, false);
    table.perc->Delete();  // its after-scroll filters the rows to the next one
    RegraPercentil(table);
    LembraExclusao('P', table.cache, CurrentReference(), perc, {},
                   QStringLiteral("do percentil %1 da tabela %2, referência %3 (excluído)")
                       .arg(perc, table.page->Caption(), CurrentReference()));
    fw::Dialogs().ShowStatus(QStringLiteral("Percentil %1 excluído").arg(perc));
  } else {
    QVariantMap linha;
    for (const QString& k : table.rowKeys) linha.insert(k, table.rows->FieldByName(k)->Value());
    const QString chave = historico::ChaveDaLinha(table.cache, linha);
    const QString perc = table.perc->FieldByName(u"CDPERCENTIL")->AsString();
    table.rows->Delete();  // its after-delete sends and reloads
    RegraLinhas(table);
    LembraExclusao('L', table.cache, CurrentReference(), perc, chave,
                   QStringLiteral("da linha de %1 do percentil %2 da tabela %3, referência %4 "
                                  "(excluída)")
                       .arg(historico::ChaveLegivel(table.cache, chave), perc,
                            table.page->Caption(), CurrentReference()));
  }
}

void TfrmTabRelPeso::sbtVerificarClick(QObject*) {
  fw::TabSheet* page = pgcPadrao->ActivePage();
  // A packet assigned to an open dataset changes no state: the page's rules
  // run here, or the toolbar would still speak of the old content.
  if (page == tshPadrao) {
    const fw::DataPacket before = cdsReferencia->Data();
    cdsReferencia->SetData(services::PacketOf(fw::CheckResultServ(rdm_.GetReferencia(), true, 0)));
    dtsPadraoStateChange(dtsPadrao);
    SayVerified(LinhasAlteradas(before, cdsReferencia->Data()));
    return;
  }
  const Tabela& table = TabelaDaPagina(page);
  const fw::DataPacket before = table.rows->Data();
  {
    const services::Busy busy(fw::bkVerifying);
    RecarregaTabela(table, false);
  }
  RegraPercentil(table);
  RegraLinhas(table);
  SayVerified(LinhasAlteradas(before, table.rows->Data()));
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
