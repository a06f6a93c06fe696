#include "framework/net/serveraddress.h"

namespace fw {

bool SplitScheme(QString* host, bool* tls) {
  for (const bool secure : {true, false}) {
    const QLatin1String scheme = secure ? QLatin1String("https://") : QLatin1String("http://");
    if (host->startsWith(scheme, Qt::CaseInsensitive)) {
      *host = host->mid(scheme.size());
      while (host->endsWith(u'/')) host->chop(1);
      *tls = secure;
      return true;
    }
  }
  return false;
}

bool ParseServerAddress(const QString& text, ServerAddress* out) {
  QString rest = text.trimmed();
  bool tls = false;
  SplitScheme(&rest, &tls);
  const qsizetype colon = rest.lastIndexOf(u':');
  if (colon <= 0) return false;
  bool ok = false;
  const int port = rest.mid(colon + 1).toInt(&ok);
  if (!ok || port <= 0 || port > 65535) return false;
  const QString host = rest.left(colon).trimmed();
  if (host.isEmpty()) return false;
  *out = {host, port, tls};
  return true;
}

}  // namespace fw
