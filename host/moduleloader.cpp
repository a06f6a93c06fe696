#include "host/moduleloader.h"

#include "framework/data/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace host {

QStringList ModuleLoader::CandidateNames() {
  return {"libtabrelpeso_module.so", "libtrp_placeholder_module.so"};
}

QStringList ModuleLoader::DefaultSearchDirs() {
  QStringList dirs;
  dirs << QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../lib");
  const QString buildDir = qEnvironmentVariable("TRP_BUILD_DIR");
  if (!buildDir.isEmpty()) dirs << QDir::cleanPath(buildDir + "/lib");
  dirs.removeDuplicates();
  return dirs;
}

ModuleLoader::ModuleLoader(QStringList searchDirs) : searchDirs_(std::move(searchDirs)) {}

// The module stays loaded until the process ends: its windows and static
// state may outlive the loader.
ModuleLoader::~ModuleLoader() = default;

bool ModuleLoader::IsPlaceholder() const {
  return QFileInfo(LibraryPath()).fileName().contains("placeholder");
}

void ModuleLoader::Load() {
  if (entry_) return;
  QString path;
  for (const QString& name : CandidateNames()) {
    for (const QString& dir : searchDirs_) {
      const QString candidate = QDir(dir).filePath(name);
      if (QFileInfo::exists(candidate)) {
        path = candidate;
        break;
      }
    }
    if (!path.isEmpty()) break;
  }
  if (path.isEmpty()) {
    throw fw::Error(QStringLiteral("O módulo de manutenção (%1) não foi encontrado em: %2.")
                        .arg(CandidateNames().first(), searchDirs_.join(", ")));
  }
  auto library = std::make_unique<QLibrary>(path);
  if (!library->load()) {
    throw fw::Error(QStringLiteral("Não foi possível carregar o módulo %1: %2")
                        .arg(path, library->errorString()));
  }
  auto entry = reinterpret_cast<void (*)()>(library->resolve("CriaTabRelPeso"));
  if (!entry) {
    throw fw::Error(QStringLiteral("O módulo %1 não exporta a entrada CriaTabRelPeso.").arg(path));
  }
  library_ = std::move(library);
  entry_ = entry;
}

void ModuleLoader::Enter() {
  Load();
  entry_();
}

void ModuleLoader::Enter(const char* name) {
  Load();
  auto entry = reinterpret_cast<void (*)()>(library_->resolve(name));
  if (!entry)
    throw fw::Error(QStringLiteral("O módulo %1 não exporta a entrada %2.")
                        .arg(LibraryPath(), QLatin1String(name)));
  entry();
}

}  // namespace host
