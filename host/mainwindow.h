#pragma once
// The host's main window: a multi-document area, the menu that opens the
// module and a status bar naming the server and the database in use. A shell:
// what the menu items do is bound by the host application.

#include <QMainWindow>

class QAction;
class QIcon;
class QLabel;
class QMdiArea;
class QMenu;

namespace host {

// The program's icon (the one its menu entry shows).
const QIcon& AppIcon();

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);

  QMdiArea* MdiArea() const { return mdiArea_; }
  QAction* ModuleAction() const { return mnuTabRelPeso_; }
  QAction* HelpAction() const { return mnuAjudaConteudo_; }
  // Cadastros › Referências bibliográficas and › Percentis.
  QAction* ReferencesAction() const { return mnuCadReferencia_; }
  QAction* PercentilesAction() const { return mnuCadPercentil_; }

  void SetServerText(const QString& text);
  void SetDatabaseText(const QString& text);
  // Who works here and with which role; `tip` explains it on hover.
  void SetUserText(const QString& text, const QString& tip = {});
  // Why the server cannot be used now (empty: nothing to say).
  void SetWarningText(const QString& text);
  QString ServerText() const;
  QString DatabaseText() const;
  QString UserText() const;
  QString WarningText() const;

 signals:
  void moduleRequested();
  void helpRequested();
  // A menu item that opens another screen of the module, by its entry's name.
  void entryRequested(const QString& entry);

 protected:
  // Closes the child windows first; one that refuses keeps the program open.
  void closeEvent(QCloseEvent* event) override;
  // F1 that no screen took (screens answer it with their own page).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The Janela menu's list of open windows, made anew as it opens.
  void ListWindows(QMenu* menu);
  QMdiArea* mdiArea_;
  QAction* mnuTabRelPeso_;
  QAction* mnuAjudaConteudo_;
  QAction* mnuCadReferencia_;
  QAction* mnuCadPercentil_;
  QLabel* lblAviso_;
  QLabel* lblServidor_;
  QLabel* lblUsuario_;
  QLabel* lblBanco_;
};

}  // namespace host
