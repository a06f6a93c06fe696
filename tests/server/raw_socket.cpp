#include "raw_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace srvtest {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

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
