#include "server/http_listener.h"

#include "server/http_listener_p.h"

#include <fcntl.h>
#include <malloc.h>
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

using http_detail::GrowingPool;
using http_detail::SocketStream;
using http_detail::t_fault;
using http_detail::WaitFor;

thread_local bool t_closeAfterAnswer = false;

// The value of header `name` (lower case, with its colon) in a head; empty
// when absent.
std::string_view HeaderValue(std::string_view head, std::string_view name) {
  for (size_t at = head.find("\r\n"); at != std::string_view::npos;
       at = head.find("\r\n", at + 2)) {
    const std::string_view line = head.substr(at + 2, head.find("\r\n", at + 2) - at - 2);
    if (line.size() < name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(line[i])) == name[i];
    if (!same) continue;
    std::string_view v = line.substr(name.size());
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
  }
  return {};
}

// The declared Content-Length of a head, -1 when none or not a number
// (httplib and the pre-routing check judge those), SIZE_MAX beyond 18 digits.
long long DeclaredLength(std::string_view head) {
  const std::string_view v = HeaderValue(head, "content-length:");
  if (v.empty() || v.find_first_not_of("0123456789") != std::string_view::npos) return -1;
  if (v.size() > 18) return std::numeric_limits<long long>::max();
  return std::stoll(std::string(v));
}

// Shedding: a connection is fresh until then, before its first byte; one
// that sent nothing for kStalled (idle, or a stalled head, body or
// handshake) is quiet; a head older than the grace that averages under the
// floor crawls.
constexpr auto kFresh = std::chrono::milliseconds(20);
constexpr auto kStalled = std::chrono::seconds(1);
constexpr auto kGrace = std::chrono::milliseconds(500);
constexpr double kFloorBytesPerSecond = 16;
// Connections at once that wait for what a refused peer still sends.
constexpr int kMaxDraining = 8;

// A JSON-RPC error answered before httplib saw the request.
std::string Answer(int status, const char* reason, const std::string& message) {
  const std::string body = "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":" +
                           std::to_string(status == 503 ? -32004 : -32600) + ",\"message\":\"" +
                           message + "\"}}";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

Listener::Listener(ConnectionLimits limits) : limits_(limits) {
  new_task_queue = [this] {
    return new GrowingPool(
        size_t(std::max(1, limits_.threads)), size_t(std::max(1, limits_.maxConnections)),
        limits_.lingerSeconds, [this](size_t waiting) {
          std::lock_guard lock(mutex_);
          // Those cut already make room once their threads see it.
          size_t cut = size_t(std::count_if(conns_.begin(), conns_.end(), [](const auto& c) {
            return c.second.phase == Phase::Shed;
          }));
          while (cut < waiting && ShedOne(nullptr)) ++cut;
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
  const auto now = std::chrono::steady_clock::now();
  // Lower ranks go first: 0 never sent a byte, 1 quiet for a while (idle,
  // or a stalled head, body or handshake), 2 a head that crawls, 3 just
  // connected and sent nothing yet.
  auto rank = [&](socket_t sock, const Conn& c) -> int {
    if (c.phase == Phase::Busy || c.phase == Phase::Shed) return -1;
    // Bytes waiting unread (a request, a ClientHello) count as sent: their
    // thread has not read them yet.
    if (c.bytes == 0 && c.phase != Phase::Body && WaitFor(sock, POLLIN, 0)) return -1;
    // A client just connected takes a moment to send its first bytes: one
    // that fresh goes last.
    if (c.total == 0 && c.phase != Phase::Body) return now - c.since >= kFresh ? 0 : 3;
    // Since its last byte or its last answer: a client that just finished
    // a handshake or a call is about to send its request.
    if (now - c.lastByte >= kStalled) return 1;
    const double seconds = std::chrono::duration<double>(now - c.since).count();
    if (c.phase == Phase::Head && now - c.since >= kGrace &&
        double(c.bytes) / seconds < kFloorBytesPerSecond)
      return 2;
    return -1;
  };
  auto best = conns_.end();
  int bestRank = 4;
  for (auto it = conns_.begin(); it != conns_.end(); ++it) {
    if (peer && it->second.peer != *peer) continue;
    const int r = rank(it->first, it->second);
    if (r < 0 || r > bestRank) continue;
    const auto when = [&](const Conn& c) { return r == 1 ? c.lastByte : c.since; };
    if (r < bestRank || when(it->second) < when(best->second)) {
      best = it;
      bestRank = r;
    }
  }
  if (best == conns_.end()) return false;
  // Its thread sees the connection end and leaves; the fd stays valid until
  // then, as it is closed only after Leave.
  best->second.phase = Phase::Shed;
  ::shutdown(best->first, SHUT_RDWR);
  // It no longer counts for its address: newcomers need not wait for its
  // thread to notice.
  if (auto it = perPeer_.find(best->second.peer); it != perPeer_.end() && --it->second <= 0)
    perPeer_.erase(it);
  return true;
}

void Listener::Progress(socket_t sock, size_t bytes) {
  std::lock_guard lock(mutex_);
  auto c = conns_.find(sock);
  if (c == conns_.end()) return;
  c->second.bytes += bytes;
  c->second.total += bytes;
  c->second.lastByte = std::chrono::steady_clock::now();
}

bool Listener::Reserve(const std::string& peer, size_t bytes) {
  std::lock_guard lock(mutex_);
  const size_t global = std::max(limits_.bodyBudget, limits_.bodyBytes);
  const size_t perPeer = std::max(limits_.peerBodyBudget, limits_.bodyBytes);
  size_t& mine = peerReserved_[peer];
  if (reserved_ + bytes > global || mine + bytes > perPeer) {
    if (mine == 0) peerReserved_.erase(peer);
    return false;
  }
  reserved_ += bytes;
  mine += bytes;
  return true;
}

void Listener::Unreserve(const std::string& peer, size_t bytes) {
  std::lock_guard lock(mutex_);
  reserved_ -= bytes;
  auto it = peerReserved_.find(peer);
  if (it != peerReserved_.end() && (it->second -= bytes) == 0) peerReserved_.erase(it);
}

bool Listener::Admit(const std::string& peer, socket_t sock) {
  std::lock_guard lock(mutex_);
  // Behind one address (a NAT, the balancer) many workstations share the
  // limit: a newcomer takes the place of a connection that waits for nothing
  // but time, so stalled ones cannot lock the others out.
  if (perPeer_[peer] >= limits_.maxPerPeer && !ShedOne(&peer)) return false;
  ++perPeer_[peer];
  const auto now = std::chrono::steady_clock::now();
  conns_[sock] = Conn{peer, Phase::Idle, now, now, 0, 0};
  return true;
}

void Listener::Leave(socket_t sock) {
  std::lock_guard lock(mutex_);
  auto c = conns_.find(sock);
  if (c == conns_.end()) return;
  auto it = perPeer_.find(c->second.peer);
  if (c->second.phase != Phase::Shed && it != perPeer_.end() && --it->second <= 0)
    perPeer_.erase(it);
  conns_.erase(c);
}

void Listener::SetPhase(socket_t sock, Phase phase) {
  std::lock_guard lock(mutex_);
  auto c = conns_.find(sock);
  if (c == conns_.end() || c->second.phase == Phase::Shed) return;
  c->second.phase = phase;
  c->second.since = c->second.lastByte = std::chrono::steady_clock::now();
  c->second.bytes = 0;
}

namespace {
thread_local Listener* t_listener = nullptr;
thread_local socket_t t_sock = INVALID_SOCKET;
}  // namespace

void Listener::CallStarted() {
  if (t_listener) t_listener->SetPhase(t_sock, Phase::Busy);
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
  t_listener = this;
  t_sock = sock;
  strm.OnProgress([this, sock](size_t n) { Progress(sock, n); });
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
      const long long length = DeclaredLength(head);
      if (length >= 0 && static_cast<unsigned long long>(length) > limits_.bodyBytes) {
        refuse(413, "Payload Too Large", BodyTooBigMessage(limits_.bodyBytes));
        drain = std::min<unsigned long long>(length, 4 * limits_.bodyBytes);
        break;
      }
      // A body is admitted against the budgets before it is read; one that
      // is not gets its answer at once.
      const size_t cost = !HeaderValue(head, "transfer-encoding:").empty() ? limits_.bodyBytes
                          : length > 0                                     ? size_t(length)
                                                                           : 0;
      const size_t reserved = cost > kSmallBody ? cost : 0;
      if (reserved && !Reserve(peer, reserved)) {
        refuse(503, "Service Unavailable",
               "Servidor ocupado, tente de novo em instantes: há corpos grandes demais em "
               "leitura agora. Nada foi alterado.");
        drain = cost;
        break;
      }
      // A large body waits for its turn before it is read, not after: its
      // bytes wait in the kernel meanwhile, not in our memory. The wait is
      // the server's doing, so shedding does not count it against the peer.
      std::unique_lock turn(largeTurn_, std::defer_lock);
      if (cost > kLargeBody) {
        SetPhase(sock, Phase::Busy);
        if (!turn.try_lock_until(strm.Deadline())) {
          Unreserve(peer, reserved);
          refuse(503, "Service Unavailable",
                 "Servidor ocupado, tente de novo em instantes: outro corpo grande está em "
                 "leitura. Nada foi alterado.");
          break;
        }
      }
      SetPhase(sock, Phase::Body);
      bool closed = false;
      t_closeAfterAnswer = false;
      ok = process_request(strm, left == 1, closed, nullptr);
      if (turn.owns_lock()) {
        ReturnMemory();
        turn.unlock();
      }
      if (reserved) Unreserve(peer, reserved);
      if (strm.fault() != Listener::Fault::None) drain = 1 << 20;
      if (!ok || closed || t_closeAfterAnswer || strm.fault() != Listener::Fault::None) break;
    }
    Leave(sock);
  } else {
    Leave(sock);  // the TLS handshake failed or took too long
  }
  t_listener = nullptr;
  // Waiting for a refused peer's bytes holds a thread: only a few at once
  // (300 peers declaring 1 TB and trickling once held one each for 10 s and
  // stalled every call); the others take what already arrived and close.
  bool wait = false;
  if (drain > 0) {
    std::lock_guard lock(mutex_);
    if ((wait = draining_ < kMaxDraining)) ++draining_;
  }
  strm.Drain(drain, wait ? limits_.requestSeconds * 1000 : 0);
  if (wait) {
    std::lock_guard lock(mutex_);
    --draining_;
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

void Listener::ReturnMemory() {
  // glibc keeps freed heap pages in the arena of the thread that freed them,
  // where the next large body (on another thread) would not find them: they
  // go back to the system after each one.
  malloc_trim(0);
}

std::string BodyTooBigMessage(size_t bodyBytes) {
  return "A requisição excede o limite de " +
         (bodyBytes % (1024 * 1024) == 0 ? std::to_string(bodyBytes / (1024 * 1024)) + " MiB"
                                         : std::to_string(bodyBytes) + " bytes") +
         " e foi recusada; nada foi alterado.";
}

}  // namespace srv
