#pragma once
// Loads the maintenance module (a shared library) at run time and enters it
// through its exported CriaTabRelPeso. The real module is preferred; the
// placeholder module, which only shows an empty child window, proves the
// loading path where the real one is not built.

#include <QLibrary>
#include <QString>
#include <QStringList>

#include <memory>

namespace host {

class ModuleLoader {
 public:
  // Library file names, in order of preference.
  static QStringList CandidateNames();  // libtabrelpeso_module.so, libtrp_placeholder_module.so
  // Folders searched: <program>/../lib, then $TRP_BUILD_DIR/lib.
  static QStringList DefaultSearchDirs();

  explicit ModuleLoader(QStringList searchDirs = DefaultSearchDirs());
  ~ModuleLoader();

  // Loads the first candidate found (once). Throws fw::Error naming the
  // folders searched when none is there, or the loader's reason when a
  // library cannot be loaded or lacks CriaTabRelPeso.
  void Load();
  // Loads if needed, then calls CriaTabRelPeso. Throws like Load;
  // exceptions of the module pass to the caller.
  void Enter();
  // Loads if needed, then calls the module's exported entry `name`. Throws
  // fw::Error when the module lacks it.
  void Enter(const char* name);

  bool Loaded() const { return entry_ != nullptr; }
  QString LibraryPath() const { return library_ ? library_->fileName() : QString(); }
  bool IsPlaceholder() const;

 private:
  QStringList searchDirs_;
  std::unique_ptr<QLibrary> library_;
  void (*entry_)() = nullptr;
};

}  // namespace host
