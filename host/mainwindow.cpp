#include "host/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>

namespace host {

const QIcon& AppIcon() {
  static const QIcon icon(QStringLiteral(":/icons/tabrelpeso.svg"));
  return icon;
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmPrincipal");
  setWindowTitle(QStringLiteral("Tabela de Relação Peso/Altura"));
  // The program's icon, also on every window it opens (its MDI children
  // take the application's).
  QApplication::setWindowIcon(AppIcon());
  setWindowIcon(AppIcon());

  mdiArea_ = new QMdiArea(this);
  mdiArea_->setObjectName("mdiPrincipal");
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdiArea_);

  QMenu* arquivo = menuBar()->addMenu(QStringLiteral("&Arquivo"));
  arquivo->setObjectName("mnuArquivo");
  QAction* sair = arquivo->addAction(QStringLiteral("&Sair"));
  sair->setObjectName("mnuSair");
  sair->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(sair, &QAction::triggered, this, &QWidget::close);

  QMenu* cadastros = menuBar()->addMenu(QStringLiteral("&Cadastros"));
  cadastros->setObjectName("mnuCadastros");
  mnuTabRelPeso_ = cadastros->addAction(QStringLiteral("&Relação Idade/Peso/Altura"));
  mnuTabRelPeso_->setObjectName("mnuTabRelPeso");
  mnuTabRelPeso_->setStatusTip(
      QStringLiteral("Tabelas antropométricas por referência bibliográfica e percentil"));
  connect(mnuTabRelPeso_, &QAction::triggered, this, &MainWindow::moduleRequested);
  mnuCadReferencia_ = cadastros->addAction(QStringLiteral("Referências &bibliográficas"));
  mnuCadReferencia_->setObjectName("mnuCadReferencia");
  mnuCadReferencia_->setStatusTip(
      QStringLiteral("Referências bibliográficas: código, nome, citação, fonte e licença"));
  connect(mnuCadReferencia_, &QAction::triggered, this,
          [this] { emit entryRequested(QStringLiteral("CriaCadReferencia")); });
  mnuCadPercentil_ = cadastros->addAction(QStringLiteral("&Percentis"));
  mnuCadPercentil_->setObjectName("mnuCadPercentil");
  mnuCadPercentil_->setStatusTip(QStringLiteral("Percentis: código, nome e valor"));
  connect(mnuCadPercentil_, &QAction::triggered, this,
          [this] { emit entryRequested(QStringLiteral("CriaCadPercentil")); });
  cadastros->addSeparator();
  QAction* importar = cadastros->addAction(QStringLiteral("&Importar tabela de planilha..."));
  importar->setObjectName("mnuImportacao");
  importar->setStatusTip(
      QStringLiteral("Uma referência de uma planilha CSV, XLSX ou ODS, ou da área de transferência"));
  connect(importar, &QAction::triggered, this,
          [this] { emit entryRequested(QStringLiteral("CriaImportacao")); });

  QMenu* consultas = menuBar()->addMenu(QStringLiteral("C&onsultas"));
  consultas->setObjectName("mnuConsultas");
  QAction* avaliacao = consultas->addAction(QStringLiteral("&Avaliação antropométrica"));
  avaliacao->setObjectName("mnuAvaliacao");
  avaliacao->setStatusTip(
      QStringLiteral("Escore z, percentil e classificação de uma criança nas referências"));
  connect(avaliacao, &QAction::triggered, this,
          [this] { emit entryRequested(QStringLiteral("CriaAvaliacao")); });

  QMenu* janela = menuBar()->addMenu(QStringLiteral("&Janela"));
  janela->setObjectName("mnuJanela");
  QAction* cascata = janela->addAction(QStringLiteral("Em &cascata"));
  cascata->setObjectName("mnuCascata");
  connect(cascata, &QAction::triggered, mdiArea_, &QMdiArea::cascadeSubWindows);
  QAction* ladoALado = janela->addAction(QStringLiteral("&Lado a lado"));
  ladoALado->setObjectName("mnuLadoALado");
  connect(ladoALado, &QAction::triggered, mdiArea_, &QMdiArea::tileSubWindows);
  QAction* fecharTodas = janela->addAction(QStringLiteral("&Fechar todas"));
  fecharTodas->setObjectName("mnuFecharTodas");
  connect(fecharTodas, &QAction::triggered, mdiArea_, &QMdiArea::closeAllSubWindows);
  // The open windows follow, the active one checked; filled as the menu opens.
  connect(janela, &QMenu::aboutToShow, this, [this, janela] { ListWindows(janela); });

  QMenu* ajuda = menuBar()->addMenu(QStringLiteral("A&juda"));
  ajuda->setObjectName("mnuAjudaPrincipal");
  mnuAjudaConteudo_ = ajuda->addAction(QStringLiteral("&Conteúdo"));
  mnuAjudaConteudo_->setObjectName("mnuAjudaConteudo");
  connect(mnuAjudaConteudo_, &QAction::triggered, this, &MainWindow::helpRequested);
  QAction* sobre = ajuda->addAction(QStringLiteral("&Sobre"));
  sobre->setObjectName("mnuSobre");
  connect(sobre, &QAction::triggered, this, [this] {
    QMessageBox::about(this, QStringLiteral("Sobre"),
                       QStringLiteral("<b>Tabela de Relação Peso/Altura</b> %1<br>Manutenção e "
                                      "impressão das tabelas antropométricas de referência.")
                           .arg(QApplication::applicationVersion()));
  });

  lblAviso_ = new QLabel(this);
  lblAviso_->setObjectName("lblAviso");
  lblAviso_->setStyleSheet(QStringLiteral("color: #a00000;"));
  // A long reason is cut at the window's edge, never widening it.
  lblAviso_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lblServidor_ = new QLabel(this);
  lblServidor_->setObjectName("lblServidor");
  lblUsuario_ = new QLabel(this);
  lblUsuario_->setObjectName("lblUsuario");
  lblBanco_ = new QLabel(this);
  lblBanco_->setObjectName("lblBanco");
  // Each part apart from the next: server, user, database.
  for (QLabel* l : {lblServidor_, lblUsuario_, lblBanco_}) l->setContentsMargins(6, 0, 6, 0);
  statusBar()->setObjectName("stbPrincipal");
  statusBar()->addWidget(lblAviso_, 1);
  statusBar()->addPermanentWidget(lblServidor_);
  statusBar()->addPermanentWidget(lblUsuario_);
  statusBar()->addPermanentWidget(lblBanco_);

  resize(1000, 700);
}

void MainWindow::ListWindows(QMenu* menu) {
  const auto old = menu->findChildren<QAction*>(QStringLiteral("mnuJanelaAberta"));
  for (QAction* a : old) {
    menu->removeAction(a);
    delete a;
  }
  delete menu->findChild<QAction*>(QStringLiteral("mnuJanelaSeparador"));
  const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
  if (windows.isEmpty()) return;
  QAction* separator = menu->addSeparator();
  separator->setParent(menu);
  separator->setObjectName(QStringLiteral("mnuJanelaSeparador"));
  int n = 0;
  for (QMdiSubWindow* window : windows) {
    ++n;
    const QString title = window->windowTitle();
    auto* item = new QAction(n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(title) : title, menu);
    item->setObjectName(QStringLiteral("mnuJanelaAberta"));
    item->setCheckable(true);
    item->setChecked(window == mdiArea_->activeSubWindow());
    connect(item, &QAction::triggered, this, [this, window = QPointer<QMdiSubWindow>(window)] {
      if (window) mdiArea_->setActiveSubWindow(window);
    });
    menu->addAction(item);
  }
}

void MainWindow::SetServerText(const QString& text) { lblServidor_->setText(text); }
void MainWindow::SetDatabaseText(const QString& text) { lblBanco_->setText(text); }
void MainWindow::SetUserText(const QString& text, const QString& tip) {
  lblUsuario_->setText(text);
  lblUsuario_->setToolTip(tip);
}
void MainWindow::SetWarningText(const QString& text) {
  lblAviso_->setText(text);
  lblAviso_->setToolTip(text);
}
QString MainWindow::ServerText() const { return lblServidor_->text(); }
QString MainWindow::DatabaseText() const { return lblBanco_->text(); }
QString MainWindow::UserText() const { return lblUsuario_->text(); }
QString MainWindow::WarningText() const { return lblAviso_->text(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  // Each screen is asked first: one that is being edited may refuse (its
  // user keeps the input), and then the program stays open.
  mdiArea_->closeAllSubWindows();
  const auto windows = mdiArea_->subWindowList();
  for (const QMdiSubWindow* window : windows)
    if (window->isVisible()) {
      event->ignore();
      return;
    }
  QMainWindow::closeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    emit helpRequested();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace host
