#pragma once
// A PostgreSQL cluster of the test's own, in a temporary folder, so that it
// can be restarted or stopped without disturbing the tests that share the
// other one. PostgreSQL refuses to run as root: then it runs as 'postgres'.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace srvtest {

class OwnCluster {
 public:
  ~OwnCluster();
  // Empty on success, otherwise why the cluster could not be made.
  QString Start();
  bool Restart();
  // Stops it (fast shutdown) and starts it again.
  bool Stop();
  bool Resume();
  QString url;

 private:
  bool Run(const QString& tool, QStringList args, QString* out = nullptr);
  QTemporaryDir dir_;
  QString bin_, data_, options_;
  bool started_ = false;
};

}  // namespace srvtest
