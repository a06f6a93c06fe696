#pragma once
// The server's HTTP connections. httplib parses and answers the requests;
// the connections themselves are kept here, because httplib's own handling
// lets a silent client hold a worker thread for the whole keep-alive time,
// reads chunked bodies and header sections without a bound, and has no way
// to refuse a client that opens too many.

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>

struct ssl_ctx_st;

namespace srv {

struct ConnectionLimits {
  int threads = 4;                      // threads kept ready for connections
  int maxConnections = 256;             // connections served at once; later ones wait
  int maxPerPeer = 32;                  // from one address; beyond it a stalled one makes room
  int idleSeconds = 5;                  // an idle keep-alive connection is closed after this
  int lingerSeconds = 30;               // a thread beyond `threads` ends after this without work
  int requestSeconds = 10;              // a request's head and body must have arrived by then
  size_t headerBytes = 64 * 1024;       // request line and header section
  size_t bodyBytes = 16 * 1024 * 1024;  // body as sent (chunk framing included)
};

class Listener : public httplib::Server {
 public:
  explicit Listener(ConnectionLimits limits);
  ~Listener() override;
  // Serves TLS only, with a PEM certificate chain and key; plain HTTP is then
  // refused. Throws std::runtime_error with a Portuguese message when the
  // files cannot be used.
  void EnableTls(const std::string& certFile, const std::string& keyFile);
  // Call after binding: lets a burst of connections queue for accepting.
  void WidenBacklog();
  // Closes the connection of the request being answered on this thread once
  // `res` is written; `res` tells the client so, that it does not reuse it.
  static void CloseAfterAnswer(httplib::Response& res);

  // Why reading the current request's body on this thread failed, for the
  // answer's status and message.
  enum class Fault { None, TooBig, TooSlow };
  static Fault RequestFault();

  const ConnectionLimits& Limits() const { return limits_; }

 private:
  enum class Phase { Idle, Head, Busy, Shed };
  struct Conn {
    std::string peer;
    Phase phase = Phase::Idle;
    std::chrono::steady_clock::time_point since;
  };

  bool process_and_close_socket(socket_t sock) override;
  bool Admit(const std::string& peer, socket_t sock);
  void Leave(socket_t sock);
  void SetPhase(socket_t sock, Phase phase);
  // Cuts the connection (of `peer`, or any) that has waited longest without
  // a request in progress; false when every one is answering. Mutex held.
  bool ShedOne(const std::string* peer);
  bool WaitForRequest(socket_t sock) const;

  ConnectionLimits limits_;
  ssl_ctx_st* tls_ = nullptr;
  std::mutex mutex_;
  std::map<std::string, int> perPeer_;
  std::map<socket_t, Conn> conns_;
};

// The Portuguese sentence for a body beyond `bodyBytes`.
std::string BodyTooBigMessage(size_t bodyBytes);

}  // namespace srv
