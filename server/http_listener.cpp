#include "server/http_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <thread>
#include <vector>

namespace srv {

namespace {

thread_local bool t_closeAfterAnswer = false;

bool WaitFor(int sock, short events, int ms) {
  pollfd p{sock, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

void Address(const sockaddr_storage& a, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
    port = ntohs(in->sin6_port);
  }
  ip = text;
}

// A connected socket with a read buffer: httplib reads request lines one
// byte at a time.
class SocketStream final : public httplib::Stream {
 public:
  SocketStream(int sock, int readMs, int writeMs)
      : sock_(sock), readMs_(readMs), writeMs_(writeMs) {}
  bool is_readable() const override { return pos_ < len_ || WaitFor(sock_, POLLIN, readMs_); }
  bool is_writable() const override { return WaitFor(sock_, POLLOUT, writeMs_); }
  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == len_) {
      if (!WaitFor(sock_, POLLIN, readMs_)) return -1;
      ssize_t n;
      do {
        n = ::recv(sock_, buf_, sizeof buf_, 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      pos_ = 0;
      len_ = size_t(n);
    }
    const size_t n = std::min(size, len_ - pos_);
    std::memcpy(ptr, buf_ + pos_, n);
    pos_ += n;
    return ssize_t(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (!WaitFor(sock_, POLLOUT, writeMs_)) return -1;
    ssize_t n;
    do {
      n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getpeername(sock_, reinterpret_cast<sockaddr*>(&a), &len) == 0) Address(a, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &len) == 0) Address(a, ip, port);
  }
  socket_t socket() const override { return sock_; }
  bool HasBuffered() const { return pos_ < len_; }

 private:
  int sock_;
  int readMs_;
  int writeMs_;
  char buf_[16384];
  size_t pos_ = 0;
  size_t len_ = 0;
};

// Keeps a few threads ready and starts more, up to a maximum, when every
// one is busy: a connection holds its thread while it lives, so a fixed pool
// lets a handful of idle clients stall every other one. Threads beyond the
// ready ones end after a while without work.
class GrowingPool final : public httplib::TaskQueue {
 public:
  GrowingPool(size_t ready, size_t max, int lingerSeconds)
      : ready_(ready), max_(std::max(ready, max)), linger_(std::max(1, lingerSeconds)) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < ready; ++i) Spawn();
  }
  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(fn));
    Reap();
    if (idle_ < jobs_.size() && live_ < max_) Spawn();
    wake_.notify_one();
  }
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    std::list<Worker> workers;
    {
      std::lock_guard lock(mutex_);
      workers.swap(workers_);
    }
    for (auto& w : workers) w.thread.join();
  }

 private:
  struct Worker {
    std::thread thread;
    bool done = false;  // its loop has ended: only the join is left
  };

  // Called with the mutex held.
  void Spawn() {
    Worker& w = workers_.emplace_back();
    ++live_;
    w.thread = std::thread([this, &w] { Work(w); });
  }
  // Joins the threads that ended (they no longer hold the mutex once they
  // are seen done). Called with the mutex held.
  void Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (!it->done) {
        ++it;
        continue;
      }
      it->thread.join();
      it = workers_.erase(it);
    }
  }
  void Work(Worker& self) {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      const bool woken = wake_.wait_for(lock, std::chrono::seconds(linger_),
                                        [&] { return stop_ || !jobs_.empty(); });
      --idle_;
      if (jobs_.empty() && (stop_ || (!woken && live_ > ready_))) break;
      if (jobs_.empty()) continue;
      std::function<void()> fn = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      fn();
      lock.lock();
    }
    --live_;
    self.done = true;
  }

  const size_t ready_;
  const size_t max_;
  const int linger_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::list<Worker> workers_;  // a list: a worker refers to its own entry
  size_t live_ = 0;
  size_t idle_ = 0;
  bool stop_ = false;
};

}  // namespace

Listener::Listener(ConnectionLimits limits) : limits_(limits) {
  new_task_queue = [limits] {
    return new GrowingPool(size_t(std::max(1, limits.threads)),
                           size_t(std::max(1, limits.maxConnections)), limits.lingerSeconds);
  };
  set_keep_alive_timeout(limits.idleSeconds);
}

void Listener::WidenBacklog() {
  // httplib listens with a backlog of 5: a burst of workstations connecting
  // at once would wait for the kernel's SYN retries, a second or more each.
  if (svr_sock_ != INVALID_SOCKET) ::listen(svr_sock_, SOMAXCONN);
}

void Listener::CloseAfterAnswer(httplib::Response& res) {
  res.set_header("Connection", "close");
  t_closeAfterAnswer = true;
}

bool Listener::Admit(const std::string& peer) {
  std::lock_guard lock(mutex_);
  int& n = perPeer_[peer];
  if (n >= limits_.maxPerPeer) {
    if (n == 0) perPeer_.erase(peer);
    return false;
  }
  ++n;
  return true;
}

void Listener::Leave(const std::string& peer) {
  std::lock_guard lock(mutex_);
  auto it = perPeer_.find(peer);
  if (it != perPeer_.end() && --it->second <= 0) perPeer_.erase(it);
}

// Waits for the next request, at most the idle time, in short steps so that
// a stopping server (its listening socket closed) does not wait for it.
bool Listener::WaitForRequest(socket_t sock) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(limits_.idleSeconds);
  while (svr_sock_ != INVALID_SOCKET) {
    if (WaitFor(sock, POLLIN, 100)) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
  }
  return false;
}

bool Listener::process_and_close_socket(socket_t sock) {
  SocketStream strm(sock, int(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000),
                    int(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
  std::string peer;
  int peerPort = 0;
  strm.get_remote_ip_and_port(peer, peerPort);
  bool ok = false;
  if (Admit(peer)) {
    for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
      if (!strm.HasBuffered() && !WaitForRequest(sock)) break;
      bool closed = false;
      t_closeAfterAnswer = false;
      ok = process_request(strm, left == 1, closed, nullptr);
      if (!ok || closed || t_closeAfterAnswer) break;
    }
    Leave(peer);
  } else {
    const std::string body =
        "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32004,\"message\":\"Conexões "
        "demais a partir deste endereço; feche as que não usa e tente novamente.\"}}";
    const std::string answer =
        "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Type: "
        "application/json\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    strm.write(answer.data(), answer.size());
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

}  // namespace srv
