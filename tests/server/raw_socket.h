#pragma once
// A bare TCP connection, from a chosen loopback address, for what an HTTP
// client library would not send.

#include <string>

namespace srvtest {

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
