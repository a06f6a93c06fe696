// tabrelpeso: the desktop host application.

#include "framework/data/errors.h"
#include "framework/ui/gui_dialogs.h"
#include "host/hostapp.h"
#include "host/mainwindow.h"
#include "host/moduleloader.h"
#include "host/translations.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

namespace {

// A window can be shown: a display is there and the platform is a real one
// (the offscreen platform of tests and scripts has no one to read it).
bool CanShowWindow() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The installation check (--quit-after) has nobody to answer a message: each
// goes to stderr, is answered as closed, and an error or a warning makes the
// check fail instead of waiting for ever.
class CheckDialogs : public fw::GuiDialogs {
 public:
  fw::MsgButton Message(const QString& text, fw::MsgType type, fw::MsgButtons, int) override {
    std::fprintf(stderr, "tabrelpeso: %s\n", qPrintable(text));
    if (type == fw::MsgType::Error || type == fw::MsgType::Warning) failed_ = true;
    return fw::mbNone;
  }
  fw::MsgButton MessageDetail(const QString& text, const QString& detail, fw::MsgType type,
                              fw::MsgButtons buttons, int helpContext) override {
    return Message(text + QLatin1Char('\n') + detail, type, buttons, helpContext);
  }
  bool Failed() const { return failed_; }

 private:
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication::setApplicationName("tabrelpeso");
  QApplication::setApplicationVersion(QStringLiteral("0.1.0"));

  // Arguments are read before the window system is touched, so that --help
  // and a bad flag answer on a machine without a display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const host::ParsedArguments parsed = host::ParseHostArguments(arguments);
  if (parsed.showHelp) {
    std::fputs(qPrintable(parsed.helpText), stdout);
    return 0;
  }
  if (!parsed.error.isEmpty()) {
    std::fprintf(stderr, "tabrelpeso: %s\nUse --help para ver as opções.\n",
                 qPrintable(parsed.error));
    // Started from a menu, nobody reads the terminal: say it in a window too.
    if (CanShowWindow()) {
      QApplication app(argc, argv);
      QMessageBox::critical(nullptr, QStringLiteral("Tabela de Relação Peso/Altura"),
                            parsed.error + QStringLiteral("\n\nO programa não foi iniciado. "
                                                          "Corrija a opção ou o arquivo de "
                                                          "configuração e abra-o de novo."));
    }
    return 2;
  }

  QApplication app(argc, argv);
  // No display name: the window manager would add it to every title.
  if (!host::InstallQtTranslations(app))
    std::fputs(
        "tabrelpeso: as traduções do Qt (qt6-translations-l10n) não estão instaladas; "
        "os diálogos padrão ficam em inglês.\n",
        stderr);
  const host::HostConfig& config = parsed.config;
  const bool check = config.quitAfterMs >= 0;
  host::WriteIniTemplate(config.iniPath);
  if (host::ProtectIniToken(config.iniPath))
    std::fprintf(stderr,
                 "tabrelpeso: %s guarda uma credencial e era legível por outros usuários; "
                 "agora só o dono o lê (modo 0600).\n",
                 qPrintable(config.iniPath));

  CheckDialogs checkDialogs;
  host::HostApp hostApp(config, check ? &checkDialogs : nullptr);
  try {
    hostApp.Start();
  } catch (const fw::Error& e) {
    std::fprintf(stderr, "tabrelpeso: %s\n", qPrintable(e.message()));
    if (!check)
      QMessageBox::critical(nullptr, QStringLiteral("Tabela de Relação Peso/Altura"), e.message());
    return 1;
  }
  // The whole screen: a screen opens showing every column of its tables.
  hostApp.Window()->showMaximized();
  std::printf("Servidor: %s:%d%s\nBanco: %s\n", qPrintable(hostApp.ServerHost()),
              hostApp.ServerPort(), config.Embedded() ? " (embutido)" : "",
              qPrintable(hostApp.Window()->DatabaseText().mid(7)));
  std::fflush(stdout);

  if (!check) return app.exec();

  // Installation check: open the module as the menu would, wait, and quit.
  const bool opened = hostApp.OpenModule();
  std::printf("Módulo: %s\n", opened ? qPrintable(hostApp.Loader().LibraryPath()) : "falhou");
  std::fflush(stdout);
  QTimer::singleShot(config.quitAfterMs, &app, &QApplication::quit);
  const int rc = app.exec();
  return opened && !checkDialogs.Failed() ? rc : 1;
}
