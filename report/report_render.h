#pragma once
// Lays a report out on pages and draws them on a printer or a PDF writer.
// Each block (one section of one group) is a table whose header rows repeat
// on every page it spans and whose rows are never split; every block starts a
// page (report_table.h says how a table is laid out). The page header carries
// the title, the date and the group's heading; the footer "página N de M".

#include "framework/ui/dialog_forms.h"
#include "report/report_definition.h"

#include <QDateTime>
#include <QPagedPaintDevice>
#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace report {

struct RenderRequest {
  const ReportDefinition* definition = nullptr;
  QSqlDatabase database;
  fw::TQueryParams params;
  QString title;             // the page header's title
  QDateTime printedAt = QDateTime::currentDateTime();
};

// Sets the definition's page size, orientation and margins on `device`.
void ApplyPageLayout(QPagedPaintDevice& device, const ReportDefinition& definition);

// Draws every page on `device` (its page layout already set). Returns the
// number of pages. Throws fw::Error when a query fails; pages already drawn
// stay on the device. Without rows it draws one page saying so.
int RenderReport(const RenderRequest& request, QPagedPaintDevice& device);

// Writes the report as a PDF file, replacing `path` only when complete.
// Returns the number of pages; throws fw::Error naming the file when it
// cannot be written.
int WritePdf(const RenderRequest& request, const QString& path);

// The text a report shows when no row matches its parameters.
QString EmptyReportText();

}  // namespace report
