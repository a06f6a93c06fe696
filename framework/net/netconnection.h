#pragma once
// TNetConnection: the client side of the application server's remote data
// module. Calls are JSON-RPC 2.0 POSTs to /<ServerName> over one keep-alive
// HTTP connection, authorised by a bearer token, with bounded connect and
// read time-outs. Everything runs on the calling (user-interface) thread.

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace fw {

// The outcome of a server call. payload: bool true for a success-only
// method, fw::DataPacket for a packet, QVariantList of payloads for an array
// (the pairs). error: a Portuguese sentence fit to show the user.
struct ServerResult {
  bool ok = false;
  QVariant payload;
  QString error;
};

class TNetConnectionImpl;

class TNetConnection : public QObject {
  Q_OBJECT
 public:
  explicit TNetConnection(const QString& name, QObject* parent = nullptr);
  ~TNetConnection() override;

  // The remote data module addressed (the path of the calls); required.
  QString ServerName() const { return serverName_; }
  void SetServerName(const QString& name) { serverName_ = name; }
  QString Host() const { return host_; }
  // "https://NAME" turns TLS on, "http://NAME" off; a bare name keeps the
  // process default (SetDefaultTls).
  void SetHost(const QString& host);
  // TLS: the server's certificate is verified against caFile (PEM), or the
  // system's authorities when it is empty; a certificate that does not
  // verify, or that names another host, fails every call.
  bool Tls() const { return tls_; }
  void SetTls(bool on);
  QString CaFile() const { return caFile_; }
  void SetCaFile(const QString& path);
  // What connections made afterwards start with (the host sets them from its
  // configuration: [Servidor] TLS and CA, --ca-file).
  static void SetDefaultTls(bool on, const QString& caFile);
  int Port() const { return port_; }
  void SetPort(int port);
  // Without a token of its own, connecting takes the host's (fw::Host::Token).
  QString Token() const { return token_; }
  void SetToken(const QString& token) { token_ = token; }

  int ConnectTimeoutMs() const { return connectTimeoutMs_; }
  void SetConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }
  int ReadTimeoutMs() const { return readTimeoutMs_; }
  void SetReadTimeoutMs(int ms) { readTimeoutMs_ = ms; }

  // Runs first whenever the connection is switched on; sets host and port.
  std::function<void(TNetConnection&)> BeforeConnect;

  // On: runs BeforeConnect, then checks that the server answers; throws
  // fw::Error naming host and port when it cannot be reached, or when no
  // ServerName or no valid address is set (the connection stays off). Off: drops the HTTP
  // connection. Exceptions of BeforeConnect propagate and leave the connection off.
  void SetConnected(bool on);
  bool Connected() const { return connected_; }

  // Calls a method of the remote data module with positional arguments (see
  // BuildRpcRequest for the types). A connection that is off is switched on
  // first. Never throws: transport failures, refused credentials and the
  // server's own failures come back as ok=false with a Portuguese message.
  ServerResult Call(const QString& method, const QVariantList& args = {});

  // "HOST:PORT" ("https://HOST:PORT" with TLS), as messages name the server.
  QString Address() const;

  // Told of every answer from a server (reached) and of every connection
  // or call that could not reach one (with the reason), whichever
  // connection made it; the host keeps its status bar current with it. One
  // for the process; empty: none. Runs on the calling thread.
  using ReachObserver = std::function<void(bool reached, const QString& reason)>;
  static void SetReachObserver(ReachObserver observer);

 signals:
  void connectedChanged(bool connected);

 private:
  QString serverName_;
  QString host_ = QStringLiteral("127.0.0.1");
  int port_ = 8211;
  QString token_;
  bool tls_;
  QString caFile_;
  int connectTimeoutMs_ = 3000;
  int readTimeoutMs_ = 120000;
  bool connected_ = false;
  qint64 nextId_ = 1;
  std::unique_ptr<TNetConnectionImpl> impl_;
};

}  // namespace fw
