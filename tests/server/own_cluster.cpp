#include "own_cluster.h"

#include "support.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

namespace srvtest {

OwnCluster::~OwnCluster() {
  if (started_) Run("pg_ctl", {"-D", data_, "-m", "immediate", "stop"});
}

QString OwnCluster::Start() {
  const QStringList bins = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  if (bins.isEmpty()) return "the PostgreSQL server binaries are not installed";
  bin_ = "/usr/lib/postgresql/" + bins.last() + "/bin/";
  if (!dir_.isValid()) return "no temporary folder";
  if (getuid() == 0) {
    const passwd* pw = getpwnam("postgres");
    if (!pw) return "no 'postgres' user to run PostgreSQL as";
    if (chown(dir_.path().toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
      return "cannot hand the folder to postgres";
  }
  QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                         QFileDevice::ExeOther);
  data_ = dir_.filePath("data");
  const int port = FreeLoopbackPort();
  QString out;
  if (!Run("initdb", {"-D", data_, "-U", "trp", "--auth=trust", "-E", "UTF8", "--locale=C.UTF-8"},
           &out))
    return "initdb: " + out;
  options_ =
      QString("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(port).arg(dir_.path());
  if (!Run("pg_ctl",
           {"-D", data_, "-l", dir_.filePath("server.log"), "-w", "-o", options_, "start"}, &out))
    return "pg_ctl start: " + out;
  started_ = true;
  if (!Run("createdb", {"-h", "127.0.0.1", "-p", QString::number(port), "-U", "trp", "trp"}, &out))
    return "createdb: " + out;
  url = QString("postgresql://trp@127.0.0.1:%1/trp").arg(port);
  return {};
}

bool OwnCluster::Restart() {
  return Run("pg_ctl",
             {"-D", data_, "-l", dir_.filePath("server.log"), "-w", "-m", "fast", "restart"});
}

bool OwnCluster::Stop() { return Run("pg_ctl", {"-D", data_, "-w", "-m", "fast", "stop"}); }

bool OwnCluster::Resume() {
  return Run("pg_ctl",
             {"-D", data_, "-l", dir_.filePath("server.log"), "-w", "-o", options_, "start"});
}

bool OwnCluster::Run(const QString& tool, QStringList args, QString* out) {
  QProcess p;
  QString program = bin_ + tool;
  if (getuid() == 0) {
    args.prepend(program);
    args.prepend("--");
    args.prepend("postgres");
    args.prepend("-u");
    program = "runuser";
  }
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  const bool ok =
      p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  if (out) *out = QString::fromLocal8Bit(p.readAll());
  return ok;
}

}  // namespace srvtest
