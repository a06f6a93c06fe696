#pragma once
// The host's main window: a multi-document area, the menu that opens the
// module and a status bar naming the server and the database in use. A shell:
// what the menu items do is bound by the host application.

#include <QMainWindow>

class QAction;
class QLabel;
class QMdiArea;

namespace host {

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);

  QMdiArea* MdiArea() const { return mdiArea_; }
  QAction* ModuleAction() const { return mnuTabRelPeso_; }
  QAction* HelpAction() const { return mnuAjudaConteudo_; }

  void SetServerText(const QString& text);
  void SetDatabaseText(const QString& text);
  QString ServerText() const;
  QString DatabaseText() const;

 signals:
  void moduleRequested();
  void assessmentRequested();
  void helpRequested();

 protected:
  // Closes the child windows first; one that refuses keeps the program open.
  void closeEvent(QCloseEvent* event) override;
  // F1 that no screen took (screens answer it with their own page).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QMdiArea* mdiArea_;
  QAction* mnuTabRelPeso_;
  QAction* mnuAjudaConteudo_;
  QLabel* lblServidor_;
  QLabel* lblBanco_;
};

}  // namespace host
