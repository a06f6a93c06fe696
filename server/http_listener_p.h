#pragma once
// Private to http_listener.cpp: the connection's stream with its deadlines
// and byte budget, and the pool of threads that serve connections.

#include "server/http_listener.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <list>
#include <thread>

namespace srv::http_detail {

inline thread_local Listener::Fault t_fault = Listener::Fault::None;

inline bool WaitFor(int sock, short events, int ms) {
  pollfd p{sock, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

inline void Address(const sockaddr_storage& a, std::string& ip, int& port) {
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

// A connected socket with a read buffer (httplib reads request lines one
// byte at a time). Each request gets a deadline and a byte budget: what a
// peer sends beyond them is never read.
class SocketStream final : public httplib::Stream {
 public:
  enum class Head { Complete, TooBig, TooSlow, Closed };

  SocketStream(int sock, int readMs, int writeMs)
      : sock_(sock), readMs_(readMs), writeMs_(writeMs) {}
  bool is_readable() const override {
    return pos_ < buf_.size() || WaitFor(sock_, POLLIN, readMs_);
  }
  bool is_writable() const override { return WaitFor(sock_, POLLOUT, writeMs_); }
  ssize_t read(char* ptr, size_t size) override {
    if (consumed_ >= budget_) {
      Fail(Listener::Fault::TooBig);
      return -1;
    }
    if (pos_ == buf_.size()) {
      const ssize_t n = Fill();
      if (n <= 0) return n;
    }
    const size_t n = std::min({size, buf_.size() - pos_, budget_ - consumed_});
    std::memcpy(ptr, buf_.data() + pos_, n);
    pos_ += n;
    consumed_ += n;
    return ssize_t(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (ssl_) return TlsWrite(ptr, size);
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
  bool HasBuffered() const { return pos_ < buf_.size() || (ssl_ && SSL_pending(ssl_) > 0); }

  // Makes this a TLS connection: the handshake must end by the deadline.
  // The socket turns non-blocking, so that a record sent a byte at a time
  // cannot hold a read past it.
  bool Handshake(SSL_CTX* ctx, std::chrono::steady_clock::time_point deadline) {
    ssl_ = SSL_new(ctx);
    if (!ssl_) return false;
    ::fcntl(sock_, F_SETFL, ::fcntl(sock_, F_GETFL) | O_NONBLOCK);
    SSL_set_fd(ssl_, sock_);
    uint64_t seen = 0;
    for (;;) {
      ERR_clear_error();
      const int r = SSL_accept(ssl_);
      // A handshake that moves is told as such: shedding spares it.
      if (const uint64_t read = BIO_number_read(SSL_get_rbio(ssl_)); read > seen) {
        if (progress_) progress_(size_t(read - seen));
        seen = read;
      }
      if (r == 1) return true;
      if (!WaitTls(SSL_get_error(ssl_, r), deadline)) return false;
    }
  }

  // Told the count of every batch of bytes that arrives.
  void OnProgress(std::function<void(size_t)> progress) { progress_ = std::move(progress); }

  // Starts a request: it must be complete by `deadline`.
  void Start(std::chrono::steady_clock::time_point deadline) {
    // A large head or body left a large buffer behind: give it back.
    if (pos_ == buf_.size() && buf_.capacity() > 65536) {
      std::string().swap(buf_);
      pos_ = 0;
    }
    deadline_ = deadline;
    fault_ = t_fault = Listener::Fault::None;
    consumed_ = 0;
    budget_ = std::numeric_limits<size_t>::max();
  }
  // Reads until the head (request line and headers) is buffered whole, at
  // most `cap` bytes of it; on Complete, `head` is its text and the body may
  // take `bodyBytes` more.
  Head ReadHead(size_t cap, size_t bodyBytes, std::string_view& head) {
    size_t scanned = 0;  // from pos_, which Fill may move but not past unread bytes
    for (;;) {
      const std::string_view have(buf_.data() + pos_, buf_.size() - pos_);
      const size_t end = have.find("\r\n\r\n", scanned);
      if (end != std::string_view::npos && end + 4 <= cap) {
        head = have.substr(0, end + 4);
        budget_ = head.size() + bodyBytes;
        return Head::Complete;
      }
      if (have.size() >= cap) return Head::TooBig;
      scanned = have.size() < 3 ? 0 : have.size() - 3;
      const ssize_t n = Fill();
      if (n <= 0) return fault_ == Listener::Fault::TooSlow ? Head::TooSlow : Head::Closed;
    }
  }
  Listener::Fault fault() const { return fault_; }
  std::chrono::steady_clock::time_point Deadline() const { return deadline_; }
  // Reads and drops what the peer still sends (at most `maxBytes`, until
  // it pauses or `maxMs` passed), so that a client that writes its whole
  // body before reading finds the answer instead of a reset connection.
  void Drain(size_t maxBytes, int maxMs) {
    // What a TLS peer still sends cannot be skipped without decrypting it.
    if (ssl_) return;
    ::shutdown(sock_, SHUT_WR);
    char sink[16384];
    size_t dropped = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    // With no time given, only what has already arrived: closing a socket
    // with unread bytes would reset it and could lose the answer.
    while (dropped < maxBytes &&
           (maxMs <= 0 ? WaitFor(sock_, POLLIN, 0)
                       : std::chrono::steady_clock::now() < until && WaitFor(sock_, POLLIN, 500))) {
      const ssize_t n = ::recv(sock_, sink, sizeof sink, MSG_DONTWAIT);
      if (n <= 0) break;
      dropped += size_t(n);
    }
  }

 private:
  // Also told to the error handler, which runs on this thread.
  void Fail(Listener::Fault f) { fault_ = t_fault = f; }
  // Appends what the socket has to the buffer, waiting no longer than the
  // read time-out nor past the request's deadline.
  ssize_t Fill() {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) {
      Fail(Listener::Fault::TooSlow);
      return -1;
    }
    // Waiting up to the deadline and getting nothing means it passed.
    if (!ssl_ && !WaitFor(sock_, POLLIN, int(std::min<long long>(left, readMs_)))) {
      if (left <= readMs_) Fail(Listener::Fault::TooSlow);
      return -1;
    }
    if (pos_ == buf_.size()) {
      buf_.clear();
      pos_ = 0;
    } else if (pos_ > 0) {
      buf_.erase(0, pos_);
      pos_ = 0;
    }
    const size_t at = buf_.size();
    buf_.resize(at + 16384);
    ssize_t n;
    if (ssl_) {
      const auto until = std::min(
          deadline_, std::chrono::steady_clock::now() + std::chrono::milliseconds(readMs_));
      for (;;) {
        ERR_clear_error();
        const int r = SSL_read(ssl_, buf_.data() + at, 16384);
        if (r > 0) {
          n = r;
          break;
        }
        const int e = SSL_get_error(ssl_, r);
        if (e == SSL_ERROR_ZERO_RETURN) {
          n = 0;
          break;
        }
        if (!WaitTls(e, until)) {
          if (until == deadline_ && std::chrono::steady_clock::now() >= deadline_)
            Fail(Listener::Fault::TooSlow);
          n = -1;
          break;
        }
      }
    } else {
      do {
        n = ::recv(sock_, buf_.data() + at, 16384, 0);
      } while (n < 0 && errno == EINTR);
    }
    buf_.resize(at + size_t(std::max<ssize_t>(n, 0)));
    if (n > 0 && progress_) progress_(size_t(n));
    return n;
  }

  // Waits for what OpenSSL asked for, until `until`; false on any other
  // error or when the time is up.
  bool WaitTls(int error, std::chrono::steady_clock::time_point until) const {
    short events = 0;
    if (error == SSL_ERROR_WANT_READ) events = POLLIN;
    if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
    if (!events) return false;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
            .count();
    return left > 0 && WaitFor(sock_, events, int(std::min<long long>(left, INT32_MAX)));
  }

  ssize_t TlsWrite(const char* ptr, size_t size) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeMs_);
    for (;;) {
      ERR_clear_error();
      const int r = SSL_write(ssl_, ptr, int(std::min<size_t>(size, INT32_MAX)));
      if (r > 0) return r;
      if (!WaitTls(SSL_get_error(ssl_, r), until)) return -1;
    }
  }

  std::function<void(size_t)> progress_;
  int sock_;
  int readMs_;
  int writeMs_;
  SSL* ssl_ = nullptr;
  std::string buf_;
  size_t pos_ = 0;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  size_t consumed_ = 0;
  size_t budget_ = std::numeric_limits<size_t>::max();
  Listener::Fault fault_ = Listener::Fault::None;
};

// Keeps a few threads ready and starts more, up to a maximum, when every
// one is busy: a connection holds its thread while it lives, so a fixed pool
// lets a handful of idle clients stall every other one. Threads beyond the
// ready ones end after a while without work. While connections wait for a
// thread, `full` is told how many, at each arrival and every 100 ms after:
// one that may not be cut on arrival may be a little later.
class GrowingPool final : public httplib::TaskQueue {
 public:
  GrowingPool(size_t ready, size_t max, int lingerSeconds, std::function<void(size_t)> full)
      : ready_(ready),
        max_(std::max(ready, max)),
        linger_(std::max(1, lingerSeconds)),
        full_(std::move(full)) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < ready; ++i) Spawn();
    if (full_) watcher_ = std::thread([this] { Watch(); });
  }
  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(fn));
    Reap();
    if (idle_ < jobs_.size() && live_ < max_) Spawn();
    if (idle_ < jobs_.size() && live_ >= max_ && full_) full_(jobs_.size() - idle_);
    wake_.notify_one();
  }
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    watch_.notify_all();
    if (watcher_.joinable()) watcher_.join();
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
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      watch_.wait_for(lock, std::chrono::milliseconds(100));
      if (!stop_ && idle_ < jobs_.size() && live_ >= max_) full_(jobs_.size() - idle_);
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
  const std::function<void(size_t)> full_;
  std::thread watcher_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable watch_;  // the watcher's own: a wake-up meant for a worker is never its
  std::deque<std::function<void()>> jobs_;
  std::list<Worker> workers_;  // a list: a worker refers to its own entry
  size_t live_ = 0;
  size_t idle_ = 0;
  bool stop_ = false;
};

}  // namespace srv::http_detail
