// Printing: the report selection screen, a new one for every press, after
// the screen's tables are read again so that what is shown is what prints;
// and the names of references and percentiles kept current when the
// registration screen changes them.

#include "framework/data/errors.h"
#include "framework/net/checkresult.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/status_text.h"
#include "screens/reltabpeso/reltabpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "services/framework_services.h"

#include <QHash>

#include <memory>

namespace trp::tabrelpeso {

namespace {

bool Browsing(const fw::Dataset* ds) { return ds->State() == fw::DatasetState::Browse; }

// `packet` with the names of `names` (code -> name) in column `nome`, found
// by column `codigo`; the rows, their order and other values kept.
fw::DataPacket ComNomes(const fw::DataPacket& packet, const QString& codigo, const QString& nome,
                        const QHash<QString, QString>& names, bool& mudou) {
  const int c = packet.fieldIndex(codigo), n = packet.fieldIndex(nome);
  if (c < 0 || n < 0) return packet;
  fw::DataPacket out(packet.fields());
  for (qsizetype r = 0; r < packet.rowCount(); ++r) {
    QVariantList row;
    for (int f = 0; f < packet.fields().size(); ++f) row << packet.value(r, f);
    const auto it = names.constFind(row[c].toString());
    if (it != names.constEnd() && row[n].toString() != *it) {
      row[n] = *it;
      mudou = true;
    }
    out.appendRow(row);
  }
  return out;
}

}  // namespace

int TfrmTabRelPeso::LinhasAlteradas(const fw::DataPacket& before, const fw::DataPacket& after) {
  auto key = [](const fw::DataPacket& p, qsizetype r) {
    QString text;
    for (int c = 0; c < p.fields().size(); ++c)
      text += (p.isNull(r, c) ? QStringLiteral("\x01") : p.value(r, c).toString()) + QChar(0x1f);
    return text;
  };
  QHash<QString, int> old;
  for (qsizetype r = 0; r < before.rowCount(); ++r) ++old[key(before, r)];
  int fresh = 0;
  for (qsizetype r = 0; r < after.rowCount(); ++r) {
    auto it = old.find(key(after, r));
    if (it != old.end() && *it > 0)
      --*it;
    else
      ++fresh;
  }
  const qsizetype gone = before.rowCount() - (after.rowCount() - fresh);
  return int(qMax(qsizetype(fresh), gone));
}

void TfrmTabRelPeso::AtualizaAntesDeImprimir() {
  int changed = 0;
  {
    const services::Busy busy(fw::bkVerifying);
    for (const Tabela* table : {&idade_, &altura_, &nchs_}) {
      // An insert or edit in progress keeps its input; it is not printed yet anyway.
      if (!Browsing(table->perc) || !Browsing(table->rows)) continue;
      const fw::DataPacket before = table->rows->Data();
      const int at = table->rows->RecNo();
      RecarregaTabela(*table, false);
      if (at >= 0 && at < table->rows->RecordCount()) table->rows->SetRecNo(at);
      changed += LinhasAlteradas(before, table->rows->Data());
    }
  }
  if (pgcPadrao->ActivePage() != tshPadrao) {
    const Tabela& table = TabelaDaPagina(pgcPadrao->ActivePage());
    RegraPercentil(table);
    RegraLinhas(table);
  }
  if (changed > 0)
    fw::Dialogs().ShowStatus(
        QStringLiteral("Tabelas da tela atualizadas antes de imprimir: %1 alterada(s) no "
                       "servidor desde a última leitura.")
            .arg(changed == 1 ? QStringLiteral("1 linha")
                              : QStringLiteral("%1 linhas").arg(changed)));
}

void TfrmTabRelPeso::sbtImprimirClick(QObject*) {
  // The report reads the server: the screen shows the same values first.
  AtualizaAntesDeImprimir();
  const auto report = std::make_unique<reltabpeso::TfrmRelTabPeso>(this);
  report->Create();
  report->exec();
}

void TfrmTabRelPeso::AtualizaNomes(const QStringList& tables) {
  const bool refs = tables.contains(QStringLiteral("REFEBIBL"));
  const bool percs = tables.contains(QStringLiteral("PERCENTIL"));
  if (!refs && !percs) return;
  try {
    if (refs && Browsing(cdsReferencia)) {
      const fw::DataPacket server =
          services::PacketOf(fw::CheckResultServ(rdm_.GetReferencia(), true, 0));
      QHash<QString, QString> names;
      for (qsizetype r = 0; r < server.rowCount(); ++r)
        names.insert(server.value(r, server.fieldIndex(u"CDREFEBIBL")).toString(),
                     server.value(r, server.fieldIndex(u"NMREFEBIBL")).toString());
      bool mudou = false;
      const fw::DataPacket shown = ComNomes(cdsReferencia->Data(), QStringLiteral("CDREFEBIBL"),
                                            QStringLiteral("NMREFEBIBL"), names, mudou);
      if (mudou) {
        const QString at = CurrentReference();
        cdsReferencia->SetData(shown);
        cdsReferencia->Locate(QStringLiteral("CDREFEBIBL"), at);
        dtsPadraoStateChange(dtsPadrao);
      }
    }
    if (percs) {
      const fw::ServerResult r =
          netTabRelPeso->Call(QStringLiteral("GetTabela"), {QStringLiteral("PERCENTIL")});
      const fw::DataPacket server = services::PacketOf(fw::CheckResultServ(r, true, 0));
      QHash<QString, QString> names;
      for (qsizetype i = 0; i < server.rowCount(); ++i)
        names.insert(server.value(i, server.fieldIndex(u"CDPERCENTIL")).toString(),
                     server.value(i, server.fieldIndex(u"NMPERCENTIL")).toString());
      for (const Tabela* table : {&idade_, &altura_, &nchs_}) {
        if (!Browsing(table->perc)) continue;
        bool mudou = false;
        const fw::DataPacket shown = ComNomes(table->perc->Data(), QStringLiteral("CDPERCENTIL"),
                                              QStringLiteral("NMPERCENTIL"), names, mudou);
        if (!mudou) continue;
        const int at = table->perc->RecNo();
        table->perc->SetData(shown);
        if (at >= 0 && at < table->perc->RecordCount()) table->perc->SetRecNo(at);
      }
    }
  } catch (const fw::EAbort&) {
    // CheckResultServ showed why; the names stay as they were.
  } catch (const fw::Error& e) {
    fw::StatusText(e.message());
  }
}

}  // namespace trp::tabrelpeso
