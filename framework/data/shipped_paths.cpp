#include "framework/data/shipped_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace fw {

QString FindShippedDir(const QString& relative, const QString& probe) {
  // Without an application object (a library's tests) only the sources count.
  const QString bin = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                   : QStringLiteral("/nonexistent");
  // The installed layout comes before the sources, so that a packaged program
  // never reads the tree it was built from.
  QStringList candidates{bin + QStringLiteral("/../../") + relative,
                         bin + QStringLiteral("/../share/" TRP_SHARE_NAME "/") + relative};
  const QString sourceDir = qEnvironmentVariable("TRP_SOURCE_DIR");
  if (!sourceDir.isEmpty()) candidates << sourceDir + u'/' + relative;
#ifdef TRP_SOURCE_DIR
  candidates << QStringLiteral(TRP_SOURCE_DIR "/") + relative;
#endif
  for (const QString& dir : candidates)
    if (QFileInfo::exists(dir + u'/' + probe)) return QDir::cleanPath(dir);
  return {};
}

}  // namespace fw
