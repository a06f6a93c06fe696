#include "peer_support.h"

#include "support.h"

#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

namespace srvtest {

namespace {

using Clock = std::chrono::steady_clock;

QString ServerBin() {
  const QString dir = qEnvironmentVariable("TRP_BUILD_DIR");
  return dir.isEmpty() ? QStringLiteral(TRP_SERVER_EXE)
                       : dir + QStringLiteral("/bin/tabrelpeso-server");
}

}  // namespace

ServerProcess::ServerProcess(const QString& database, const QString& tokensFile,
                             const QStringList& extra) {
  proc_.start(ServerBin(), QStringList{"--listen", "127.0.0.1:0", "--db", database, "--tokens",
                                       tokensFile, "--threads", "4"} +
                               extra);
  if (!proc_.waitForStarted(10000)) return;
  while (port_ == 0 && proc_.waitForReadyRead(20000)) {
    const QByteArray line = proc_.readLine().trimmed();
    if (line.startsWith("listening on ")) port_ = line.mid(line.lastIndexOf(':') + 1).toInt();
  }
}

ServerProcess::~ServerProcess() {
  if (proc_.state() != QProcess::NotRunning) {
    proc_.kill();
    proc_.waitForFinished(5000);
  }
}

double ServerProcess::RssMib() const {
  std::ifstream status("/proc/" + std::to_string(proc_.processId()) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return -1;
}

QString ServerProcess::StopAndLog() {
  proc_.terminate();
  proc_.waitForFinished(15000);
  return QString::fromUtf8(proc_.readAllStandardError());
}

QString WriteTokensFile(const QString& dir) {
  const QString path = dir + "/tokens";
  std::ofstream(path.toStdString()) << "maria maintainer " << kMaintainer.toStdString() << "\n"
                                    << "joao reader " << kReader.toStdString() << "\n";
  return path;
}

}  // namespace srvtest
