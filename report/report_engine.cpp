#include "report/report_engine.h"

#include "framework/data/errors.h"
#include "framework/data/shipped_paths.h"
#include "framework/sql/adoibquery.h"
#include "framework/ui/busy.h"
#include "framework/ui/consiste.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/host_services.h"
#include "report/report_definition.h"
#include "report/report_query.h"
#include "report/report_render.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSqlDatabase>
#include <QStandardPaths>

namespace report {

namespace {

constexpr int kBusyPrinting = 2;  // "Aguarde..."

QSqlDatabase LocalDatabase() {
  const QString name = fw::Host::Instance().LocalConnectionName();
  QSqlDatabase db = name.isEmpty() ? QSqlDatabase() : QSqlDatabase::database(name, false);
  if (!db.isValid() || !db.isOpen())
    throw fw::Error(
        QStringLiteral("O banco de dados local não está disponível: o relatório lê "
                       "seus dados dele. Configure [BancoLocal] Banco ou a opção "
                       "--db."));
  return db;
}

// The title as the file's name; the dialog offers it in the folder last chosen.
QString SuggestedPdfPath(const QString& title) {
  return fw::FileNameOf(title, QStringLiteral("relatorio"), QStringLiteral(".pdf"));
}

}  // namespace

QString ReportsDir() {
  const QString configured = fw::Host::Instance().ReportsDir();
  if (!configured.isEmpty()) return configured;
  const QString shipped =
      fw::FindShippedDir(QStringLiteral("reports"), QStringLiteral("QEL536.json"));
  if (!shipped.isEmpty()) return shipped;
  return QStringLiteral("reports");
}

QString FormatMessage(QString text, const QStringList& args) {
  qsizetype from = 0;
  for (const QString& arg : args) {
    const qsizetype at = text.indexOf(QLatin1String("%s"), from);
    if (at < 0) break;
    text.replace(at, 2, arg);
    from = at + arg.size();
  }
  return text;
}

void ReportEngine::Run(fw::TfrmDadosGerRel& form, fw::ReportOutput output) {
  const QString code = form.ReportCode();
  const QString dir = ReportsDir();
  const QString path = DefinitionPath(dir, code);
  if (!QFileInfo::exists(path))
    fw::MensErro(FormatMessage(form.msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")),
                               {code, QDir::toNativeSeparators(dir)}));
  const ReportDefinition definition = LoadDefinition(path);
  RenderRequest request;
  request.definition = &definition;
  request.database = LocalDatabase();
  request.params =
      fw::TQueryParams(QueryParameterNames(definition, fw::DialectOf(request.database)));
  form.rpddPadrao->GetQueryParams(request.params);
  // A server that cannot be read refuses the report here, before the title
  // and the file are asked for or an empty preview is shown.
  {
    fw::BusyScope busy(&form, fw::bkLoading);
    RefreshReportData(definition, request.database);
  }

  QString title = definition.title.isEmpty() ? form.windowTitle() : definition.title;
  if (!fw::Dialogs().InputText(form.msgPadrao->Msg(QStringLiteral("NovoCaption")),
                               form.msgPadrao->Msg(QStringLiteral("NovoPrompt")), title))
    return;
  request.title = title;

  switch (output) {
    case fw::ReportOutput::SaveAs: {
      QString file = SuggestedPdfPath(title);
      if (!fw::Dialogs().SaveFileName(QStringLiteral("Salvar relatório como"),
                                      QStringLiteral("Documento PDF (*.pdf)"), file))
        return;
      if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".pdf");
      {
        fw::BusyScope busy(&form, kBusyPrinting);
        WritePdf(request, file);
      }
      fw::Dialogs().ShowStatus(
          QStringLiteral("PDF gravado em %1").arg(QDir::toNativeSeparators(file)));
      return;
    }
    case fw::ReportOutput::Print: {
      QPrinter printer(QPrinter::HighResolution);
      ApplyPageLayout(printer, definition);
      printer.setDocName(title);
      QPrintDialog dialog(&printer, &form);
      dialog.setWindowTitle(QStringLiteral("Imprimir"));
      if (dialog.exec() != QDialog::Accepted) return;
      fw::BusyScope busy(&form, kBusyPrinting);
      RenderReport(request, printer);
      return;
    }
    case fw::ReportOutput::Preview: {
      QPrinter printer(QPrinter::HighResolution);
      ApplyPageLayout(printer, definition);
      printer.setDocName(title);
      QPrintPreviewDialog dialog(&printer, &form);
      dialog.setWindowTitle(QStringLiteral("Visualizar: %1").arg(title));
      dialog.setObjectName(QStringLiteral("dlgVisualizar"));
      QString failure;
      QObject::connect(
          &dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
            try {
              RenderReport(request, *target);
            } catch (const fw::Error& e) {
              // Closed at once: the reason is shown, not an empty preview.
              failure = e.message();
              QMetaObject::invokeMethod(&dialog, &QDialog::reject, Qt::QueuedConnection);
            }
          });
      dialog.exec();
      if (!failure.isEmpty()) throw fw::Error(failure);
      return;
    }
  }
}

ReportEngine& DefaultEngine() {
  static ReportEngine engine;
  return engine;
}

}  // namespace report
