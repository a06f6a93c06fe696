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

RawSocket::RawSocket(int port, const char* from) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from, &local.sin_addr);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
}

RawSocket::~RawSocket() { ::close(fd_); }

bool RawSocket::Send(const std::string& text, int ms) {
  size_t sent = 0;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (sent < text.size()) {
    pollfd p{fd_, POLLOUT, 0};
    if (Clock::now() >= until || ::poll(&p, 1, 100) < 0) return false;
    if (!(p.revents & (POLLOUT | POLLERR | POLLHUP))) continue;
    const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

std::string RawSocket::Receive(int ms) {
  std::string out;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!closed_ && Clock::now() < until) {
    pollfd p{fd_, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (::poll(&p, 1, int(std::max<long>(1, left.count()))) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0)
      closed_ = true;
    else
      out.append(buf, size_t(n));
  }
  return out;
}

int StatusOf(const std::string& answer) {
  return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

}  // namespace srvtest
