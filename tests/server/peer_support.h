#pragma once
// What the hostile-peer tests need beside support.h: the server as a real
// process (its memory read from /proc), and raw_socket.h.

#include "raw_socket.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <string>

namespace srvtest {

// tabrelpeso-server started on a free loopback port with the given options.
class ServerProcess {
 public:
  ServerProcess(const QString& database, const QString& tokensFile, const QStringList& extra = {});
  ~ServerProcess();
  int port() const { return port_; }
  QProcess& process() { return proc_; }
  // Resident memory now, in MiB (VmRSS of /proc/PID/status); -1 when gone.
  double RssMib() const;
  // Stops it with SIGTERM and returns what it wrote to stderr.
  QString StopAndLog();

 private:
  QProcess proc_;
  int port_ = 0;
};

// A tokens file with kMaintainer and kReader in a folder of the caller.
QString WriteTokensFile(const QString& dir);

}  // namespace srvtest
