// The assessment on paper or in a PDF through the report engine: the rows
// shown go to a private in-memory database that report QEL53607 reads.

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "report/report_definition.h"
#include "report/report_engine.h"
#include "report/report_render.h"
#include "screens/avaliacao/avaliacao_form.h"

#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace trp::avaliacao {

namespace {

QString Medidas(const TfrmAvaliacao::Crianca& c) {
  QStringList parts;
  if (c.peso) parts << QStringLiteral("peso %1 kg").arg(fw::FloatToStr(*c.peso));
  if (c.medida)
    parts << QStringLiteral("%1 %2 cm")
                 .arg(c.deitado ? QStringLiteral("comprimento (deitado)")
                                : QStringLiteral("estatura (em pé)"),
                      fw::FloatToStr(*c.medida));
  if (c.perimetro)
    parts << QStringLiteral("perímetro cefálico %1 cm").arg(fw::FloatToStr(*c.perimetro));
  return QStringLiteral("Medidas: %1").arg(parts.join(QStringLiteral(", ")));
}

// Runs `use` with a database holding the table AVALIACAO of `ds`'s rows.
template <typename F>
void WithReportDatabase(const fw::DataPacket& rows, const TfrmAvaliacao::Crianca& c, F&& use) {
  const QString name = QStringLiteral("avaliacao-") + QUuid::createUuid().toString(QUuid::Id128);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open())
      throw fw::Error(
          QStringLiteral("Não foi possível preparar o relatório: %1").arg(db.lastError().text()));
    QSqlQuery q(db);
    q.exec(QStringLiteral(
        "CREATE TABLE AVALIACAO (CDREFEBIBL TEXT, NMREFEBIBL TEXT, DSCRIANCA TEXT, DSMEDIDAS TEXT, "
        "NRORDEM INTEGER, DSINDICADOR TEXT, VRZ REAL, VRPERCENTIL REAL, DSFAIXA TEXT, "
        "DSCLASSIFICACAO TEXT, DSALERTA TEXT)"));
    q.prepare(QStringLiteral("INSERT INTO AVALIACAO VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QString crianca =
        QStringLiteral("Criança: %1, %2 (%3 dias)")
            .arg(c.masculino ? QStringLiteral("masculino") : QStringLiteral("feminino"),
                 c.idadeTexto)
            .arg(c.idadeDias);
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
      const auto value = [&](const char* f) {
        return rows.value(r, rows.fieldIndex(QString::fromLatin1(f)));
      };
      for (const QVariant& v :
           {value("CDREFEBIBL"), value("NMREFEBIBL"), QVariant(crianca), QVariant(Medidas(c)),
            QVariant(int(r)), value("DSINDICADOR"), value("VRZ"), value("VRPERCENTIL"),
            value("DSFAIXA"), value("DSCLASSIFICACAO"), value("DSALERTA")})
        q.addBindValue(v);
      if (!q.exec())
        throw fw::Error(
            QStringLiteral("Não foi possível preparar o relatório: %1").arg(q.lastError().text()));
    }
    use(db);
  }
  QSqlDatabase::removeDatabase(name);
}

}  // namespace

void TfrmAvaliacao::sbtImprimirClick(QObject*) { Imprime(false); }

void TfrmAvaliacao::sbtPdfClick(QObject*) { Imprime(true); }

void TfrmAvaliacao::Imprime(bool pdf) {
  if (!avaliada_ || resultado_.rowCount() == 0)
    fw::MensErro(QStringLiteral("Avalie a criança antes de imprimir."));
  const report::ReportDefinition def = report::LoadDefinition(
      report::DefinitionPath(report::ReportsDir(), QStringLiteral("QEL53607")));
  QString file = QStringLiteral("avaliacao.pdf");
  if (pdf && !fw::Dialogs().SaveFileName(QStringLiteral("Salvar avaliação como"),
                                         QStringLiteral("Documento PDF (*.pdf)"), file))
    return;
  if (pdf && QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".pdf");
  WithReportDatabase(resultado_, *avaliada_, [&](const QSqlDatabase& db) {
    report::RenderRequest request;
    request.definition = &def;
    request.database = db;
    request.title = def.title;
    if (pdf) {
      report::WritePdf(request, file);
      return;
    }
    QPrinter printer(QPrinter::HighResolution);
    report::ApplyPageLayout(printer, def);
    printer.setDocName(def.title);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    if (dialog.exec() == QDialog::Accepted) report::RenderReport(request, printer);
  });
}

}  // namespace trp::avaliacao
