#pragma once
// The seam of the web view: pages under /web/ answered by a handler that
// lives outside trp_server (it draws with Qt Gui), with the server's own
// tokens, methods, limits and log.

#include "server/app_server.h"
#include "server/service.h"

#include <httplib.h>

#include <functional>
#include <string>

namespace srv {

struct WebAccess {
  Service* service = nullptr;
  // The credential of a token, nullptr when there is none.
  std::function<const Token*(const std::string& token)> token;
  // One log line, as a JSON-RPC call's.
  std::function<void(const std::string& what, double ms, const std::string& outcome)> log;
  bool tls = false;
};

class WebView {
 public:
  virtual ~WebView() = default;
  // Answers a request under /web/ whose head (and, for a POST, body) arrived.
  virtual void Serve(const httplib::Request& req, httplib::Response& res) = 0;
  // Before a POST body is read: false when it is refused (`res` holds the
  // answer and the body is never read).
  virtual bool AcceptsBody(const httplib::Request& req, httplib::Response& res) = 0;
};

inline bool IsWebPath(const std::string& path) {
  return path == "/web" || path.rfind("/web/", 0) == 0;
}

}  // namespace srv
