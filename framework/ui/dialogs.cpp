#include "framework/ui/dialogs.h"

#include <cstdio>

namespace fw {

namespace {

// Used until the host (or a test) installs an implementation: says what it
// would have shown and refuses every question, so nothing happens unasked.
class FallbackDialogs : public IDialogs {
 public:
  MsgButton Message(const QString& text, MsgType, MsgButtons buttons, int) override {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (buttons & mbNo) return mbNo;
    if (buttons & mbCancel) return mbCancel;
    return (buttons & mbOK) ? mbOK : mbNone;
  }
  bool PickRecord(const PickRequest&) override { return false; }
  bool PickRecords(const PickRequest&, const QString&, QList<int>&) override { return false; }
  bool Find(Dataset*, const QString&, const QList<FindColumn>&) override { return false; }
  void BusyShow(QWidget*, int) override {}
  void BusyHide() override {}
  void ShowHelp(const QString&, int) override {}
};

FallbackDialogs& Fallback() {
  static FallbackDialogs fallback;
  return fallback;
}

IDialogs* installed = nullptr;

}  // namespace

QString BusyCaption(int kind) {
  switch (kind) {
    case bkLoading:
      return QStringLiteral("Carregando...");
    case bkSaving:
      return QStringLiteral("Gravando...");
    case bkVerifying:
      return QStringLiteral("Verificando...");
    default:
      return QStringLiteral("Aguarde...");
  }
}

QString FileNameOf(const QString& text, const QString& fallback, const QString& suffix) {
  QString name = text.simplified();
  static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
  for (QChar& c : name)
    if (forbidden.contains(c) || c.unicode() < 0x20) c = QLatin1Char('_');
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) name = fallback;
  return name + suffix;
}

void InstallDialogs(IDialogs* dialogs) { installed = dialogs; }

bool IDialogs::InputText(const QString&, const QString&, QString&) { return false; }

MsgButton IDialogs::MessageDetail(const QString& text, const QString& detail, MsgType type,
                                  MsgButtons buttons, int helpContext) {
  return Message(detail.isEmpty() ? text : text + QStringLiteral("\n\n") + detail, type, buttons,
                 helpContext);
}

void IDialogs::ShowStatus(const QString&) {}

bool IDialogs::SaveFileName(const QString&, const QString&, QString&) { return false; }
bool IDialogs::OpenFileName(const QString&, const QString&, QString&) { return false; }

IDialogs& Dialogs() { return installed ? *installed : Fallback(); }

IDialogs* InstalledDialogs() { return installed; }

}  // namespace fw
