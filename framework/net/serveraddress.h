#pragma once
// How users write the application server's address, shared by the host and
// the command-line tools: "HOST:PORTA", "http://HOST:PORTA" or
// "https://HOST:PORTA" (TLS, the certificate verified).

#include <QString>

namespace fw {

struct ServerAddress {
  QString host;
  int port = 0;
  bool tls = false;
};

// False (and `out` untouched) when the text is not such an address.
bool ParseServerAddress(const QString& text, ServerAddress* out);

// Splits an "https://" or "http://" prefix off a host name: true and the
// rest in `host` when there was one, `tls` telling which.
bool SplitScheme(QString* host, bool* tls);

}  // namespace fw
