#include "framework/ui/guard.h"

#include "framework/data/errors.h"
#include "framework/ui/dialogs.h"

#include <cstdio>

namespace fw {

namespace {

void Report(const QString& text) noexcept {
  try {
    Dialogs().ShowError(text);
  } catch (...) {
    // The dialog itself failed: stderr is the last place left to say it.
    std::fprintf(stderr, "erro: %s\n", text.toLocal8Bit().constData());
  }
}

}  // namespace

bool Guard(const std::function<void()>& body) noexcept {
  try {
    body();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const Error& e) {
    Report(e.message());
  } catch (const std::exception& e) {
    Report(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    Report(QStringLiteral("Erro inesperado."));
  }
  return false;
}

}  // namespace fw
