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
  // Bodies over kSmallBody admitted at once, server-wide and from one
  // address, counted by their declared length (a chunked one by bodyBytes)
  // before any of them is read; each at least bodyBytes.
  size_t bodyBudget = size_t{32} << 20;
  size_t peerBodyBudget = size_t{16} << 20;
};

// Bodies up to this size are everyday calls: no budget is asked for them.
inline constexpr size_t kSmallBody = size_t{64} << 10;
// Bodies over this size (and chunked ones) are read, parsed and served one
// at a time: parsed, a body takes several times its size.
inline constexpr size_t kLargeBody = size_t{1} << 20;

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
  // Called by the handler once the body is read: the connection is then
  // answering a call, which shedding never takes.
  static void CallStarted();

  const ConnectionLimits& Limits() const { return limits_; }

 private:
  // Idle: waits for a request; Head: its head (or the TLS handshake) is
  // arriving; Body: its body is; Busy: the call is being answered.
  enum class Phase { Idle, Head, Body, Busy, Shed };
  struct Conn {
    std::string peer;
    Phase phase = Phase::Idle;
    std::chrono::steady_clock::time_point since;     // the phase began
    std::chrono::steady_clock::time_point lastByte;  // or `since` before the first
    size_t bytes = 0;                                // arrived in this phase
    size_t total = 0;                                // arrived since it connected
  };

  bool process_and_close_socket(socket_t sock) override;
  bool Admit(const std::string& peer, socket_t sock);
  void Leave(socket_t sock);
  void SetPhase(socket_t sock, Phase phase);
  void Progress(socket_t sock, size_t bytes);
  // Cuts a connection (of `peer`, or any) that never sent a byte, or has
  // sent nothing for a while, or whose head crawls; never one answering a
  // call, one whose head, body or handshake is arriving at a fair pace, nor
  // one that just sent or got something. False when none qualifies. Mutex held.
  bool ShedOne(const std::string* peer);
  bool WaitForRequest(socket_t sock) const;
  // Takes `bytes` of the body budgets for `peer`; false (nothing taken) when
  // either is short.
  bool Reserve(const std::string& peer, size_t bytes);
  void Unreserve(const std::string& peer, size_t bytes);
  void ReturnMemory();

  ConnectionLimits limits_;
  ssl_ctx_st* tls_ = nullptr;
  std::mutex mutex_;
  std::map<std::string, int> perPeer_;
  std::map<socket_t, Conn> conns_;
  size_t reserved_ = 0;
  std::map<std::string, size_t> peerReserved_;
  std::timed_mutex largeTurn_;
  int draining_ = 0;  // connections reading what a refused peer still sends
};

// The Portuguese sentence for a body beyond `bodyBytes`.
std::string BodyTooBigMessage(size_t bodyBytes);

}  // namespace srv
