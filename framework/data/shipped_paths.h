#pragma once

#include <QString>

namespace fw {

// The folder of a shipped file set (`data/cdc2000`, `reports`, ...) that
// holds `probe`: beside the build tree's programs, in the installed
// share folder (/usr/share/tabrelpeso), or in the sources. Empty when none has it.
QString FindShippedDir(const QString& relative, const QString& probe);

}  // namespace fw
