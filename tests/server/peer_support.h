#pragma once
// What the hostile-peer tests need beside support.h: the server as a real
// process (its memory read from /proc) and a bare TCP connection for what
// an HTTP client library would not send.

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

class RawSocket {
 public:
  explicit RawSocket(int port, const char* from = "127.0.0.1");
  ~RawSocket();
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;
  bool connected() const { return connected_; }
  // False once the peer stopped taking bytes (closed or reset).
  bool Send(const std::string& text, int ms = 2000);
  // What arrives within `ms`, until the peer closes (closed() then true).
  std::string Receive(int ms);
  bool closed() const { return closed_; }
  int fd() const { return fd_; }

 private:
  int fd_;
  bool connected_ = false;
  bool closed_ = false;
};

int StatusOf(const std::string& answer);

}  // namespace srvtest
