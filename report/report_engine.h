#pragma once
// The report engine behind the report parameter screens: finds the screen's
// report definition in the reports folder, lets the screen fill the query's
// parameters, asks for the title, and prints, previews or saves as PDF.

#include "framework/ui/dialog_forms.h"

#include <QString>

namespace report {

// The reports folder: the host's configured one, else the folder shipped with
// the program (next to the build or install tree), else "reports".
QString ReportsDir();

// Replaces each "%s" of `text` by the next argument.
QString FormatMessage(QString text, const QStringList& args);

class ReportEngine : public fw::IReportEngine {
 public:
  // A missing definition shows the form's Arq_Rel_Err (code, folder) and
  // aborts; a cancelled title, print dialog or file choice ends quietly;
  // other failures throw fw::Error with a Portuguese message.
  void Run(fw::TfrmDadosGerRel& form, fw::ReportOutput output) override;
};

// The engine the host installs (one per process).
ReportEngine& DefaultEngine();

}  // namespace report
