#pragma once
// The server's HTTP connections. httplib parses and answers the requests;
// the connections themselves are kept here, because httplib's own handling
// lets a silent client hold a worker thread for the whole keep-alive time and
// has no way to refuse a client that opens too many.

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>

namespace srv {

struct ConnectionLimits {
  int threads = 4;           // threads kept ready for connections
  int maxConnections = 256;  // connections served at once; later ones wait
  int maxPerPeer = 32;       // from one address; more are refused at once
  int idleSeconds = 5;       // an idle keep-alive connection is closed after this
  int lingerSeconds = 30;    // a thread beyond `threads` ends after this without work
};

class Listener : public httplib::Server {
 public:
  explicit Listener(ConnectionLimits limits);
  // Call after binding: lets a burst of connections queue for accepting.
  void WidenBacklog();
  // Closes the connection of the request being answered on this thread once
  // `res` is written; `res` tells the client so, that it does not reuse it.
  static void CloseAfterAnswer(httplib::Response& res);

 private:
  bool process_and_close_socket(socket_t sock) override;
  bool Admit(const std::string& peer);
  void Leave(const std::string& peer);
  bool WaitForRequest(socket_t sock) const;

  ConnectionLimits limits_;
  std::mutex mutex_;
  std::map<std::string, int> perPeer_;
};

}  // namespace srv
