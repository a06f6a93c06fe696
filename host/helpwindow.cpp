#include "host/helpwindow.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace host {

HelpWindow::HelpWindow(QString helpDir, QWidget* parent)
    : QWidget(parent, Qt::Window), helpDir_(std::move(helpDir)), browser_(new QTextBrowser(this)) {
  setObjectName("frmAjuda");
  setWindowTitle(QStringLiteral("Ajuda"));
  browser_->setObjectName("txbAjuda");
  browser_->setOpenExternalLinks(false);
  browser_->setSearchPaths({helpDir_});

  auto* back = new QPushButton(QStringLiteral("&Voltar"), this);
  back->setObjectName("btnVoltar");
  auto* index = new QPushButton(QStringLiteral("Í&ndice"), this);
  index->setObjectName("btnIndice");
  auto* close = new QPushButton(QStringLiteral("&Fechar"), this);
  close->setObjectName("btnFechar");
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(index, &QPushButton::clicked, this,
          [this] { ShowHelp(QStringLiteral("Qelhelp.hlp"), 0); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  back->setEnabled(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(index);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);
  resize(620, 520);
}

QString HelpWindow::PagePath(int context) const {
  return QDir(helpDir_).filePath(context == 0 ? QStringLiteral("index.html")
                                              : QStringLiteral("%1.html").arg(context));
}

void HelpWindow::ShowHelp(const QString& helpFile, int context) {
  context_ = context;
  const QString path = PagePath(context);
  const bool knownFile = helpFile.isEmpty() ||
                         helpFile.compare(QLatin1String("Qelhelp.hlp"), Qt::CaseInsensitive) == 0;
  if (knownFile && QFile::exists(path)) {
    browser_->setSource(path.startsWith(':') ? QUrl(QStringLiteral("qrc") + path)
                                             : QUrl::fromLocalFile(path));
  } else {
    browser_->setHtml(
        QStringLiteral("<h2>Ajuda não encontrada</h2><p>Não há página de ajuda para o contexto "
                       "%1 do arquivo %2.</p><p><a href=\"index.html\">Índice da ajuda</a></p>")
            .arg(context)
            .arg(helpFile.toHtmlEscaped()));
  }
  show();
  raise();
  activateWindow();
}

}  // namespace host
