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
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <list>
#include <stdexcept>
#include <thread>
#include <vector>

namespace srv {

namespace {

thread_local bool t_closeAfterAnswer = false;
thread_local Listener::Fault t_fault = Listener::Fault::None;

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
    for (;;) {
      ERR_clear_error();
      const int r = SSL_accept(ssl_);
      if (r == 1) return true;
      if (!WaitTls(SSL_get_error(ssl_, r), deadline)) return false;
    }
  }

  // Starts a request: it must be complete by `deadline`.
  void Start(std::chrono::steady_clock::time_point deadline) {
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
    while (dropped < maxBytes && std::chrono::steady_clock::now() < until &&
           WaitFor(sock_, POLLIN, 500)) {
      const ssize_t n = ::recv(sock_, sink, sizeof sink, 0);
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

// The declared Content-Length of a head, -1 when none or not a number
// (httplib and the pre-routing check judge those), SIZE_MAX beyond 18 digits.
long long DeclaredLength(std::string_view head) {
  static constexpr std::string_view kName = "content-length:";
  for (size_t at = head.find("\r\n"); at != std::string_view::npos;
       at = head.find("\r\n", at + 2)) {
    const std::string_view line = head.substr(at + 2, head.find("\r\n", at + 2) - at - 2);
    if (line.size() < kName.size()) continue;
    bool same = true;
    for (size_t i = 0; i < kName.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(line[i])) == kName[i];
    if (!same) continue;
    std::string_view v = line.substr(kName.size());
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    if (v.empty() || v.find_first_not_of("0123456789") != std::string_view::npos) return -1;
    if (v.size() > 18) return std::numeric_limits<long long>::max();
    return std::stoll(std::string(v));
  }
  return -1;
}

// A JSON-RPC error answered before httplib saw the request.
std::string Answer(int status, const char* reason, const std::string& message) {
  const std::string body = "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":" +
                           std::to_string(status == 503 ? -32004 : -32600) + ",\"message\":\"" +
                           message + "\"}}";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Keeps a few threads ready and starts more, up to a maximum, when every
// one is busy: a connection holds its thread while it lives, so a fixed pool
// lets a handful of idle clients stall every other one. Threads beyond the
// ready ones end after a while without work. When all are busy, `full` is
// told, once per connection left waiting.
class GrowingPool final : public httplib::TaskQueue {
 public:
  GrowingPool(size_t ready, size_t max, int lingerSeconds, std::function<void()> full)
      : ready_(ready),
        max_(std::max(ready, max)),
        linger_(std::max(1, lingerSeconds)),
        full_(std::move(full)) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < ready; ++i) Spawn();
  }
  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(fn));
    Reap();
    if (idle_ < jobs_.size() && live_ < max_) Spawn();
    if (idle_ < jobs_.size() && live_ >= max_ && full_) full_();
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
  const std::function<void()> full_;
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
  new_task_queue = [this] {
    return new GrowingPool(size_t(std::max(1, limits_.threads)),
                           size_t(std::max(1, limits_.maxConnections)), limits_.lingerSeconds,
                           [this] {
                             std::lock_guard lock(mutex_);
                             ShedOne(nullptr);
                           });
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

Listener::Fault Listener::RequestFault() { return t_fault; }

Listener::~Listener() {
  if (tls_) SSL_CTX_free(tls_);
}

void Listener::EnableTls(const std::string& certFile, const std::string& keyFile) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx) throw std::runtime_error("Não foi possível preparar o TLS (OpenSSL).");
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  const char* problem = nullptr;
  if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1)
    problem = "o certificado não pôde ser lido de ";
  else if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    problem = "a chave privada não pôde ser lida ou não corresponde ao certificado: ";
  else if (SSL_CTX_check_private_key(ctx) != 1)
    problem = "a chave privada não corresponde ao certificado: ";
  if (problem) {
    SSL_CTX_free(ctx);
    ERR_clear_error();
    throw std::runtime_error(
        std::string("TLS: ") + problem +
        (std::string_view(problem).find("chave") != std::string_view::npos ? keyFile : certFile) +
        ".");
  }
  if (tls_) SSL_CTX_free(tls_);
  tls_ = ctx;
}

bool Listener::ShedOne(const std::string* peer) {
  auto oldest = conns_.end();
  for (auto it = conns_.begin(); it != conns_.end(); ++it) {
    const Conn& c = it->second;
    if (c.phase == Phase::Busy || c.phase == Phase::Shed || (peer && c.peer != *peer)) continue;
    if (oldest == conns_.end() || c.since < oldest->second.since) oldest = it;
  }
  if (oldest == conns_.end()) return false;
  // Its thread sees the connection end and leaves; the fd stays valid until
  // then, as it is closed only after Leave.
  oldest->second.phase = Phase::Shed;
  ::shutdown(oldest->first, SHUT_RDWR);
  return true;
}

bool Listener::Admit(const std::string& peer, socket_t sock) {
  std::lock_guard lock(mutex_);
  int& n = perPeer_[peer];
  // Behind one address (a NAT, the balancer) many workstations share the
  // limit: a newcomer takes the place of a connection that waits for nothing
  // but time, so stalled ones cannot lock the others out.
  if (n >= limits_.maxPerPeer && !ShedOne(&peer)) {
    if (n == 0) perPeer_.erase(peer);
    return false;
  }
  ++n;
  conns_[sock] = Conn{peer, Phase::Idle, std::chrono::steady_clock::now()};
  return true;
}

void Listener::Leave(socket_t sock) {
  std::lock_guard lock(mutex_);
  auto c = conns_.find(sock);
  if (c == conns_.end()) return;
  auto it = perPeer_.find(c->second.peer);
  if (it != perPeer_.end() && --it->second <= 0) perPeer_.erase(it);
  conns_.erase(c);
}

void Listener::SetPhase(socket_t sock, Phase phase) {
  std::lock_guard lock(mutex_);
  auto c = conns_.find(sock);
  if (c == conns_.end() || c->second.phase == Phase::Shed) return;
  c->second.phase = phase;
  c->second.since = std::chrono::steady_clock::now();
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
  size_t drain = 0;  // bytes the peer may still be sending after a refusal
  auto refuse = [&](int status, const char* reason, const std::string& message) {
    const std::string answer = Answer(status, reason, message);
    strm.write(answer.data(), answer.size());
    drain = std::max<size_t>(drain, 1 << 20);
  };
  if (!Admit(peer, sock)) {
    // A TLS peer could not read a plain answer before its handshake.
    if (!tls_)
      refuse(503, "Service Unavailable",
             "Conexões demais a partir deste endereço; feche as que não usa e tente novamente.");
  } else if (SetPhase(sock, Phase::Head);
             !tls_ || strm.Handshake(tls_, std::chrono::steady_clock::now() +
                                               std::chrono::seconds(limits_.requestSeconds))) {
    for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
      SetPhase(sock, Phase::Idle);
      if (!strm.HasBuffered() && !WaitForRequest(sock)) break;
      SetPhase(sock, Phase::Head);
      strm.Start(std::chrono::steady_clock::now() + std::chrono::seconds(limits_.requestSeconds));
      std::string_view head;
      const auto got = strm.ReadHead(limits_.headerBytes, limits_.bodyBytes, head);
      if (got == SocketStream::Head::TooBig) {
        refuse(431, "Request Header Fields Too Large",
               "O cabeçalho da requisição excede o limite de " +
                   std::to_string(limits_.headerBytes / 1024) +
                   " KiB e foi recusado; nada foi alterado.");
        break;
      }
      if (got == SocketStream::Head::TooSlow) {
        refuse(408, "Request Timeout",
               "A requisição não chegou completa em " + std::to_string(limits_.requestSeconds) +
                   " s e foi recusada; nada foi alterado.");
        break;
      }
      if (got == SocketStream::Head::Closed) break;
      // A length past the limit is refused before any of it is read.
      if (const long long length = DeclaredLength(head);
          length >= 0 && static_cast<unsigned long long>(length) > limits_.bodyBytes) {
        refuse(413, "Payload Too Large", BodyTooBigMessage(limits_.bodyBytes));
        drain = std::min<unsigned long long>(length, 4 * limits_.bodyBytes);
        break;
      }
      SetPhase(sock, Phase::Busy);
      bool closed = false;
      t_closeAfterAnswer = false;
      ok = process_request(strm, left == 1, closed, nullptr);
      if (strm.fault() != Listener::Fault::None) drain = 1 << 20;
      if (!ok || closed || t_closeAfterAnswer || strm.fault() != Listener::Fault::None) break;
    }
    Leave(sock);
  } else {
    Leave(sock);  // the TLS handshake failed or took too long
  }
  if (drain > 0) strm.Drain(drain, limits_.requestSeconds * 1000);
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

std::string BodyTooBigMessage(size_t bodyBytes) {
  return "A requisição excede o limite de " +
         (bodyBytes % (1024 * 1024) == 0 ? std::to_string(bodyBytes / (1024 * 1024)) + " MiB"
                                         : std::to_string(bodyBytes) + " bytes") +
         " e foi recusada; nada foi alterado.";
}

}  // namespace srv
