#pragma once
// The framework's modal screens: the routine dialog TfrmRotiGeral and the
// report parameter screen TfrmDadosGerRel, on a common dialog base.
// Binding pattern: see forms.h.

#include "framework/ui/controls.h"
#include "framework/ui/forms.h"
#include "framework/ui/messages.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QToolButton>

#include <functional>

namespace fw {

// A modal screen with a screen code label (`lblCodTela`), a catalogue
// (`msgPadrao`), help (F1) and the form lifecycle handlers.
class TfrmDialogBase : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmDialogBase(const QString& name, QWidget* parent = nullptr);

  QLabel* lblCodTela;
  TMessages* msgPadrao;

  void SetCaption(const QString& caption) { setWindowTitle(caption); }
  void SetCodTela(const QString& code) { lblCodTela->setText(code); }
  QString HelpFile() const { return helpFile_; }
  void SetHelpFile(const QString& file) { helpFile_ = file; }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int context) { helpContext_ = context; }
  QWidget* ActiveControl() const { return tracker_->ActiveControl(); }
  void SetActiveControl(QWidget* control) { tracker_->SetActiveControl(control); }

  void Create();    // runs FormCreate once (CreateForm or the first show)
  void Activate();  // runs FormActivate

  virtual void FormCreate(QObject* sender);
  virtual void FormActivate(QObject* sender);
  // Runs once for every way out (confirm, Esc, the close button). Default
  // action caHide: the caller owns the dialog and deletes it after exec();
  // caFree deletes it once closed, caNone keeps it open.
  virtual void FormClose(QObject* sender, CloseAction& action);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool RunClose();
  ActiveControlTracker* tracker_;
  QString helpFile_;
  int helpContext_ = 0;
  bool created_ = false;
  bool closing_ = false;
};

// TfrmRotiGeral: routine dialog. Group box `grbDadosRel` for the derived
// screen's controls, confirm button `sbtConfirma` (runs sbtConfirmaClick) and
// `sbtFechar`; Esc or the window's close button close without confirming.
class TfrmRotiGeral : public TfrmDialogBase {
  Q_OBJECT
 public:
  explicit TfrmRotiGeral(const QString& name, QWidget* parent = nullptr);

  Panel* panMenu;
  QToolButton* sbtConfirma;
  QToolButton* sbtFechar;
  QGroupBox* grbDadosRel;

  // Default: accepts (closes) the dialog. Derived screens validate first.
  virtual void sbtConfirmaClick(QObject* sender);
};

// --- report seam
// Parameters of a report query.
class TQueryParam {
 public:
  explicit TQueryParam(const QString& name) : name_(name) {}
  const QString& Name() const { return name_; }
  QString AsString() const { return value_.isNull() ? QString() : value_.toString(); }
  void SetAsString(const QString& value) { value_ = value; }
  QVariant Value() const { return value_; }
  void SetValue(const QVariant& value) { value_ = value; }
  bool IsNull() const { return value_.isNull(); }
  void Clear() { value_ = QVariant(); }

 private:
  QString name_;
  QVariant value_;
};

class TQueryParams {
 public:
  TQueryParams() = default;
  explicit TQueryParams(const QStringList& names);
  void Add(const QString& name);
  bool ExistParam(const QString& name) const;  // case-insensitive
  // Throws fw::Error naming the parameter when absent.
  TQueryParam& ParamByName(const QString& name);
  const TQueryParam& ParamByName(const QString& name) const;
  const QList<TQueryParam>& Params() const { return params_; }

 private:
  QList<TQueryParam> params_;
};

// The report engine's test: does the query have this parameter?
bool ExistParam(const TQueryParams& params, const QString& name);

// The designer dialog `rpddPadrao`: before the engine runs the report query
// it raises OnBeforeGetQueryParams with the query's parameters.
class TReportDesignerDialog : public QObject {
  Q_OBJECT
 public:
  explicit TReportDesignerDialog(const QString& name, QObject* parent = nullptr);
  // Raises OnBeforeGetQueryParams (exceptions pass to the caller).
  void GetQueryParams(TQueryParams& params);
  std::function<void(TReportDesignerDialog*, TQueryParams&, bool&)> OnBeforeGetQueryParams;
};

enum class ReportOutput { Print, Preview, SaveAs };

class TfrmDadosGerRel;

// Implemented by the report engine, installed by whoever links it.
class IReportEngine {
 public:
  virtual ~IReportEngine() = default;
  // Produces the report of `form` (its ReportCode(), its rpddPadrao for the
  // query parameters, its msgPadrao for messages). Throws on failure.
  virtual void Run(TfrmDadosGerRel& form, ReportOutput output) = 0;
};
void InstallReportEngine(IReportEngine* engine);  // not owned; nullptr removes
IReportEngine* ReportEngine();

// TfrmDadosGerRel: report parameter screen. Toolbar `panMenu` with
// `sbtPrint`, `sbtPreview`, `sbtSalvarComo`, `sbtAjuda`, `sbtFechar` and the
// report code label `lblCodRel`; group box `grbDadosRel` for the parameters;
// the designer dialog `rpddPadrao`.
class TfrmDadosGerRel : public TfrmDialogBase {
  Q_OBJECT
 public:
  explicit TfrmDadosGerRel(const QString& name, QWidget* parent = nullptr);

  Panel* panMenu;
  QToolButton* sbtPrint;
  QToolButton* sbtPreview;
  QToolButton* sbtSalvarComo;
  QToolButton* sbtAjuda;
  QToolButton* sbtFechar;
  QLabel* lblCodRel;
  QGroupBox* grbDadosRel;
  TReportDesignerDialog* rpddPadrao;

  QString ReportCode() const { return lblCodRel->text(); }
  void SetReportCode(const QString& code) { lblCodRel->setText(code); }

  // Each hands the report to RunReport with its output.
  virtual void sbtPrintClick(QObject* sender);
  virtual void sbtPreviewClick(QObject* sender);
  virtual void sbtSalvarComoClick(QObject* sender);
  // Runs the installed report engine; without one shows an error and aborts.
  virtual void RunReport(ReportOutput output);
};

}  // namespace fw
