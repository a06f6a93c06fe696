// The reference's citation, source and licence as the hint of its name in
// the reference grid, read from the local database when asked for.

#include "framework/sql/adoibquery.h"
#include "framework/ui/consiste.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"

#include <QHelpEvent>
#include <QToolTip>

namespace trp::tabrelpeso {

QString TfrmTabRelPeso::CitacaoDe(const QString& referencia) {
  if (!qryCitacao_) {
    qryCitacao_ = new fw::TADOIBQuery(QStringLiteral("qryCitacao"), this);
    qryCitacao_->SetSql(fw::SqlDialect::Default,
                        QStringList{QStringLiteral("SELECT DSCITACAO, DSFONTE, DSLICENCA"),
                                    QStringLiteral("FROM REFEBIBL"),
                                    QStringLiteral("WHERE CDREFEBIBL = :P_CDREFEBIBL")});
  }
  // A database without these columns (an older schema) or no local database
  // at all: no hint, never an error while the mouse rests on a name.
  try {
    qryCitacao_->Close();
    qryCitacao_->ParamByName(u"P_CDREFEBIBL")->SetAsString(referencia);
    qryCitacao_->Open();
    if (qryCitacao_->IsEmpty()) return {};
    fw::Dataset* ds = qryCitacao_->DataSet();
    QStringList lines;
    const QString citacao = ds->Fields().at(0)->AsString().trimmed();
    const QString fonte = ds->Fields().at(1)->AsString().trimmed();
    const QString licenca = ds->Fields().at(2)->AsString().trimmed();
    if (!citacao.isEmpty()) lines << citacao;
    if (!fonte.isEmpty()) lines << QStringLiteral("Fonte: ") + fonte;
    if (!licenca.isEmpty()) lines << QStringLiteral("Licença: ") + licenca;
    qryCitacao_->Close();
    return lines.join(QLatin1Char('\n'));
  } catch (const std::exception&) {
    return {};
  }
}

bool TfrmTabRelPeso::DicaReferencia(QHelpEvent* event) {
  const QModelIndex index = dbgPadrao->indexAt(event->pos());
  if (!index.isValid() || index.column() != fw::IndiceCol(dbgPadrao, QStringLiteral("NMREFEBIBL")))
    return false;
  fw::Field* code = cdsReferencia->FieldByName(u"CDREFEBIBL");
  const QString referencia = cdsReferencia->ValueAt(index.row(), code->Index()).toString();
  const QString texto = CitacaoDe(referencia);
  if (texto.isEmpty()) {
    QToolTip::hideText();
  } else {
    // Wrapped by the rich-text tooltip: a citation is one long line.
    QToolTip::showText(event->globalPos(),
                       QStringLiteral("<p style='white-space:pre-wrap; width:420px'>%1</p>")
                           .arg(texto.toHtmlEscaped()),
                       dbgPadrao->viewport());
  }
  return true;
}

bool TfrmTabRelPeso::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip && watched == dbgPadrao->viewport())
    return DicaReferencia(static_cast<QHelpEvent*>(event));
  return fw::TfrmPadraoGrid::eventFilter(watched, event);
}

}  // namespace trp::tabrelpeso
