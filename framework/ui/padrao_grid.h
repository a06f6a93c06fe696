#pragma once
// TfrmPadraoGrid: the grid maintenance screen, shown as an MDI child.
//
//   mnuMenu (QMenuBar)   mnuOperacao: mnuImprimir, -, mnuAjuda, mnuFechar
//                        mnuManutencao: mnuIncluir, mnuAlterar, mnuExcluir, -,
//                          mnuProcurar, mnuVerificar, -, mnuConfirmar, mnuCancelar
//   panMenu (toolbar)    sbtIncluir sbtAlterar sbtExcluir sbtVerificar
//                        sbtCancelar sbtConfirmar sbtProcurar sbtImprimir
//                        sbtAjuda sbtFechar ... lblSomenteLeitura lblCodTela
//   pgcPadrao            tshPadrao with dbgPadrao on dtsPadrao
//   panNavigator         dbnPadrao (on dtsPadrao)
//   msgPadrao, msgMensagensPadroes (catalogues; the standard one filled)
//
// Each tool button shares the QAction of its menu twin (sbtIncluir <->
// mnuIncluir), so enabling the menu item enables the button. Every toolbar
// action first writes any open grid editor of the screen into its field
// (cancel leaves it to its handler), then runs the virtual handler of the
// button's name inside the guard. F1 runs sbtAjudaClick. See forms.h for the
// binding pattern of derived screens.

#include "framework/data/datasource.h"
#include "framework/ui/controls.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/forms.h"
#include "framework/ui/messages.h"

#include <QAction>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QWidget>

namespace fw {

class TfrmPadraoGrid : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmPadraoGrid(const QString& name, QWidget* parent = nullptr);
  ~TfrmPadraoGrid() override;

  // --- inherited components (owned by the screen)
  QMenuBar* mnuMenu;
  QMenu* mnuOperacao;
  QMenu* mnuManutencao;
  Panel* panMenu;
  QLabel* lblCodTela;
  QLabel* lblSomenteLeitura;  // "Somente leitura", shown on a read-only screen
  PageControl* pgcPadrao;
  TabSheet* tshPadrao;
  DBGrid* dbgPadrao;
  fw::DataSource* dtsPadrao;
  Panel* panNavigator;
  DBNavigator* dbnPadrao;
  TMessages* msgPadrao;
  TMessages* msgMensagensPadroes;

  // The tool button of an operation by name ("sbtIncluir") and its twin
  // action; nullptr when absent.
  QToolButton* ToolButton(const QString& name) const;
  QAction* Twin(const QString& buttonName) const;

  // --- helpers for derived screens
  // Adds a tool button sharing `twin` (created as an action named `twinName`
  // when null), placed left of `beforeButton` (at the end when empty or
  // absent). The button's clicks trigger the twin.
  QToolButton* AddToolButton(const QString& name, const QString& hint, QAction* twin,
                             const QString& beforeButton = {});
  // Menu items: inserted at `position` (0 = top; -1 = at the end).
  QAction* InsertMenuItem(QMenu* menu, const QString& name, const QString& caption,
                          int position = -1);
  QAction* InsertMenuSeparator(QMenu* menu, int position = -1);
  // Runs `handler` inside the guard when `action` triggers, after writing
  // pending grid editors (as the inherited buttons do).
  void BindAction(QAction* action, std::function<void()> handler);

  // --- read-only screens
  // A screen opens read-only when fw::SomenteLeitura() says so as it is
  // created: its changing actions stay disabled whatever its rules set, its
  // grids start no edit, and it shows "Somente leitura" in its title and
  // toolbar. Incluir, Alterar, Excluir and Confirmar are marked already; a
  // derived screen marks its own changing actions (a copy, an import).
  void MarkChangingAction(QAction* action);
  bool ReadOnlyScreen() const { return readOnly_; }

  // --- screen properties
  void SetCaption(const QString& caption);
  void SetCodTela(const QString& code) { lblCodTela->setText(code); }
  QString HelpFile() const { return helpFile_; }
  void SetHelpFile(const QString& file) { helpFile_ = file; }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int context) { helpContext_ = context; }

  // The control holding the input focus (a grid for its cell editor).
  QWidget* ActiveControl() const { return tracker_->ActiveControl(); }
  void SetActiveControl(QWidget* control) { tracker_->SetActiveControl(control); }

  // Writes every open grid editor of the screen into its field; false when a
  // field refused its text (shown).
  bool CommitEditors();
  void DiscardEditors();
  // True while any dataset of the screen is being inserted or edited.
  bool AnyDatasetEditing() const;
  // What closing now would discard: each insert or edit in progress, where
  // (the page of its grid) and the values typed; empty when none.
  QString EdicaoEmAndamento() const;

  // --- lifecycle
  // Runs FormCreate once (CreateForm calls it; otherwise the first show does).
  void Create();
  // Runs FormActivate (the MDI activation calls it; tests may too).
  void Activate();
  // Closes the screen (its MDI sub-window when it has one).
  void Close();
  // Shows the screen as a child of the host's MDI area (fw::Host; a
  // top-level window when there is none), restored to its normal size, in
  // front and active, the focus on the control that last had it (at first,
  // the first grid shown). Calling it again only restores and raises.
  // A new sub-window takes the layout kept by the host's window state file
  // (fw::Host::WindowStateFile), else FirstOpenSize; closing keeps it.
  void ShowChild();
  QSize sizeHint() const override;
  // The screen's size the first time it opens in an area of `area` pixels;
  // invalid (the default) keeps the design size.
  virtual QSize FirstOpenSize(const QSize& area) const;

  // --- inherited handlers
  virtual void FormCreate(QObject* sender);
  virtual void FormActivate(QObject* sender);
  // Asked before closing; canClose false keeps the screen open. By default,
  // while any dataset of the screen is being inserted or edited, asks "Canc"
  // of the standard catalogue: Yes discards the input and closes, anything
  // else keeps the screen and the input.
  virtual void FormCloseQuery(QObject* sender, bool& canClose);
  // Default action caFree: the screen is deleted when it closes.
  virtual void FormClose(QObject* sender, CloseAction& action);
  // Key handling of dbgPadrao: outside insert, typing into a key column (a
  // field with an odd tag) is refused (tab, enter and escape pass).
  virtual void dbgPadraoKeyPress(QObject* sender, QChar& key);
  // Enables the twins by dtsPadrao's state (insert when browsing; edit,
  // delete, find, verify when browsing with records; confirm and cancel while
  // editing).
  virtual void dtsPadraoStateChange(QObject* sender);
  virtual void sbtIncluirClick(QObject* sender);    // Insert on dtsPadrao
  virtual void sbtAlterarClick(QObject* sender);    // Edit
  virtual void sbtExcluirClick(QObject* sender);    // "Excl" confirmation, Delete
  virtual void sbtVerificarClick(QObject* sender);  // nothing
  virtual void sbtCancelarClick(QObject* sender);   // Cancel of dtsPadrao's dataset
  virtual void sbtConfirmarClick(QObject* sender);  // Post
  virtual void sbtProcurarClick(QObject* sender);   // Procura on dtsPadrao's dataset
  virtual void sbtImprimirClick(QObject* sender);   // nothing
  virtual void sbtAjudaClick(QObject* sender);      // help with HelpFile/HelpContext
  virtual void sbtFecharClick(QObject* sender);     // Close

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void AttachToSubWindow();
  // Puts the kept layout back on a new sub-window of `area`, or gives it its
  // first size; returns whether it is to open maximized.
  bool RestoreLayout(QMdiArea& area);
  void SaveLayout() const;
  void FocusFirstControl();
  void ApplyReadOnly();
  QAction* AddOperation(const QString& op, const QString& caption, const QString& hint, QMenu* menu,
                        void (TfrmPadraoGrid::*handler)(QObject*));
  ActiveControlTracker* tracker_;
  QString helpFile_;
  int helpContext_ = 0;
  bool created_ = false;
  bool readOnly_ = false;
  QList<QPointer<QAction>> changingActions_;
  QSize designSize_;
  QPointer<QMdiSubWindow> subWindow_;
  QMetaObject::Connection subWindowConnection_;
};

}  // namespace fw
