#include "server/app_server.h"

#include "server/http_listener.h"
#include "server/json_out.h"
#include "server/rpc_request.h"
#include "server/service.h"
#include "server/web_hook.h"

#include <httplib.h>

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace srv {

namespace {

const char* const kPath = "/Qel53600.rdmTabRelPeso";

std::string Envelope(const std::string& id, int code, const QString& message) {
  std::string out = "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"error\":{\"code\":";
  out += std::to_string(code);
  out += ",\"message\":";
  AppendString(out, message.toStdString());
  out += "}}";
  return out;
}

// A reply whose middle part (the cached result) is shared, not copied.
struct Reply {
  JsonPieces pieces;
  size_t size() const {
    size_t n = 0;
    for (const auto& p : pieces) n += p->size();
    return n;
  }
};

bool WriteSpan(httplib::DataSink& sink, const Reply& r, size_t offset, size_t length) {
  size_t at = 0;
  for (const auto& piece : r.pieces) {
    const std::string* p = piece.get();
    const size_t end = at + p->size();
    if (offset < end && length > 0) {
      const size_t from = offset - at;
      const size_t n = std::min(length, p->size() - from);
      if (!sink.write(p->data() + from, n)) return false;
      offset += n;
      length -= n;
    }
    at = end;
  }
  return true;
}

}  // namespace

QList<Token> ReadTokensFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
    throw std::runtime_error(
        QStringLiteral("Não foi possível ler o arquivo de credenciais '%1': %2")
            .arg(path, f.errorString())
            .toStdString());
  QList<Token> tokens;
  int lineNo = 0;
  while (!f.atEnd()) {
    ++lineNo;
    QString line = QString::fromUtf8(f.readLine());
    const qsizetype hash = line.indexOf(u'#');
    if (hash >= 0) line.truncate(hash);
    const QStringList parts = line.simplified().split(u' ', Qt::SkipEmptyParts);
    if (parts.isEmpty()) continue;
    if (parts.size() != 3 ||
        (parts[1] != QLatin1String("maintainer") && parts[1] != QLatin1String("reader")))
      throw std::runtime_error(
          QStringLiteral("Arquivo de credenciais '%1', linha %2: use \"nome papel credencial\", "
                         "com papel maintainer ou reader.")
              .arg(path)
              .arg(lineNo)
              .toStdString());
    // The audit keeps the name in 60 characters; PostgreSQL would refuse a
    // longer one at the first change, SQLite would keep it.
    if (parts[0].toUcs4().size() > 60)
      throw std::runtime_error(
          QStringLiteral("Arquivo de credenciais '%1', linha %2: o nome tem mais de 60 "
                         "caracteres.")
              .arg(path)
              .arg(lineNo)
              .toStdString());
    tokens.append({parts[0], parts[1], parts[2]});
  }
  return tokens;
}

QString GenerateToken() {
  QString t;
  for (int i = 0; i < 4; ++i)
    t += QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0');
  return t;
}

class AppServerImpl {
 public:
  explicit AppServerImpl(ServerOptions o)
      : options(std::move(o)),
        service(options.database, std::max(1, options.dbConnections)),
        http(ConnectionLimits{
            options.threads, options.maxConnections, options.maxPerPeer, options.idleSeconds,
            options.lingerSeconds, options.requestSeconds, size_t(options.headerKib) * 1024,
            size_t(options.bodyMib) * 1024 * 1024, size_t(options.bodyBudgetMib) * 1024 * 1024,
            size_t(options.peerBodyBudgetMib) * 1024 * 1024}) {
    for (const Token& t : options.tokens) tokens[t.token.toStdString()] = t;
    if (options.web)
      web = options.web(WebAccess{&service,
                                  [this](const std::string& token) {
                                    const auto it = tokens.find(token);
                                    return it == tokens.end() ? nullptr : &it->second;
                                  },
                                  [this](const std::string& what, double ms,
                                         const std::string& outcome) { Log(what, ms, outcome); },
                                  !options.tlsCert.isEmpty()});
  }

  int Start() {
    if (running) return port;
    if (!options.tlsCert.isEmpty())
      http.EnableTls(options.tlsCert.toStdString(), options.tlsKey.toStdString());
    service.Open();
    // Only SO_REUSEADDR: httplib's default also sets SO_REUSEPORT, which would
    // let a second server silently share a port that is already taken.
    http.set_socket_options([](socket_t sock) {
      int yes = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Small answers must not wait for the peer's delayed ACK.
    http.set_tcp_nodelay(true);
    http.set_keep_alive_max_count(1000000);
    http.set_payload_max_length(http.Limits().bodyBytes);
    http.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
      // Whatever was left unread of a refused request would be taken for the
      // next one: the connection ends with the answer.
      if (res.status == 400 || res.status == 408 || res.status == 413 || res.status == 414 ||
          res.status == 431)
        Listener::CloseAfterAnswer(res);
      switch (Listener::RequestFault()) {
        case Listener::Fault::TooBig:
          res.status = 413;
          res.body.clear();
          break;
        case Listener::Fault::TooSlow:
          res.status = 408;
          res.body.clear();
          break;
        case Listener::Fault::None:
          break;
      }
      if (res.status == 413) {
        Listener::CloseAfterAnswer(res);
        res.set_content(
            Envelope("null", RpcError::InvalidRequest,
                     QString::fromStdString(BodyTooBigMessage(http.Limits().bodyBytes))),
            "application/json");
      } else if (res.status == 408) {
        Listener::CloseAfterAnswer(res);
        res.set_content(
            Envelope("null", RpcError::InvalidRequest,
                     QStringLiteral("A requisição não chegou completa em %1 s e foi recusada; "
                                    "nada foi alterado.")
                         .arg(http.Limits().requestSeconds)),
            "application/json");
      } else if (res.body.empty()) {
        res.set_content(
            Envelope("null", RpcError::InvalidRequest,
                     QStringLiteral("Requisição HTTP inválida (código %1).").arg(res.status)),
            "application/json");
      }
    });
    // Before any body is read: a length that is not a number is refused at
    // once instead of being waited for, and so is a call without a valid
    // token, whose body is never read.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (req.has_header("Content-Length")) {
        const std::string length = req.get_header_value("Content-Length");
        if (length.empty() || length.find_first_not_of("0123456789") != std::string::npos) {
          res.status = 400;
          res.set_content(Envelope("null", RpcError::InvalidRequest,
                                   QStringLiteral("Cabeçalho Content-Length inválido; a "
                                                  "requisição foi recusada.")),
                          "application/json");
          Listener::CloseAfterAnswer(res);
          return httplib::Server::HandlerResponse::Handled;
        }
      }
      if (req.path == "/health" && (req.method == "GET" || req.method == "HEAD")) {
        Listener::CallStarted();
        Health(res);
        return httplib::Server::HandlerResponse::Handled;
      }
      // The web view checks its own credential (a cookie), as strictly.
      if (web && IsWebPath(req.path)) {
        if (req.method == "GET" || req.method == "HEAD") {
          Listener::CallStarted();
          web->Serve(req, res);
          return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method == "POST" && web->AcceptsBody(req, res))
          return httplib::Server::HandlerResponse::Unhandled;
        if (req.method != "POST") {
          res.status = 405;
          res.set_header("Allow", "GET, HEAD, POST");
        }
        Listener::CloseAfterAnswer(res);
        return httplib::Server::HandlerResponse::Handled;
      }
      if (req.method != "POST") {
        NotAllowed(res);
        // A body sent with it is not read.
        if ((req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0") ||
            req.has_header("Transfer-Encoding"))
          Listener::CloseAfterAnswer(res);
        return httplib::Server::HandlerResponse::Handled;
      }
      if (!Authenticate(req)) {
        RefuseCredential(req, res);
        return httplib::Server::HandlerResponse::Handled;
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
    if (web)
      http.Post("/web(/.*)?", [this](const httplib::Request& req, httplib::Response& res) {
        Listener::CallStarted();
        web->Serve(req, res);
      });
    http.Post(".*",
              [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
    const std::string host = options.host.toStdString();
    if (options.port == 0) {
      port = http.bind_to_any_port(host);
    } else {
      port = http.bind_to_port(host, options.port) ? options.port : -1;
    }
    if (port <= 0)
      throw std::runtime_error(QStringLiteral("Não foi possível escutar em %1:%2 (endereço em "
                                              "uso ou inválido).")
                                   .arg(options.host)
                                   .arg(options.port)
                                   .toStdString());
    http.WidenBacklog();
    listener = std::thread([this] { http.listen_after_bind(); });
    for (int i = 0; i < 5000 && !http.is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    running = true;
    if (!http.is_running()) {
      Stop();
      throw std::runtime_error(QStringLiteral("O servidor de aplicação não começou a escutar em "
                                              "%1:%2.")
                                   .arg(options.host)
                                   .arg(port)
                                   .toStdString());
    }
    return port;
  }

  void Stop() {
    if (!running) return;
    http.stop();
    // Calls in progress finish; then idle keep-alive connections are closed,
    // which httplib would otherwise hold until their keep-alive timeout.
    for (int i = 0; i < 30000 && activeCalls > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CloseAcceptedConnections(port);
    if (listener.joinable()) listener.join();
    running = false;
  }

  // Shuts down every socket of this process whose local port is the
  // server's: only connections this server accepted (a client in the same
  // process has the port as its peer, not as its own).
  static void CloseAcceptedConnections(int port) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
      const int fd = std::atoi(e->d_name);
      if (fd <= 2 || fd == dirfd(dir)) continue;
      sockaddr_storage addr{};
      socklen_t len = sizeof addr;
      if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) continue;
      int local = -1;
      if (addr.ss_family == AF_INET)
        local = ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
      else if (addr.ss_family == AF_INET6)
        local = ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
      sockaddr_storage peer{};
      socklen_t peerLen = sizeof peer;
      if (local == port && getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0)
        shutdown(fd, SHUT_RDWR);
    }
    closedir(dir);
  }

  // One line: when, method, duration, outcome and, once the token is
  // known, whose call it was (a refused call names who tried).
  void Log(const std::string& method, double ms, const std::string& outcome,
           const QString& user = {}) {
    if (options.logLevel == QLatin1String("quiet")) return;
    if (options.logLevel == QLatin1String("warn") && outcome == "ok") return;
    const std::string who =
        user.isEmpty() ? std::string() : " (usuário " + user.toStdString() + ")";
    char line[640];
    std::snprintf(line, sizeof line, "%s %s %.1f ms %.480s%s\n",
                  QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8().constData(),
                  method.c_str(), ms, outcome.c_str(), who.c_str());
    std::fputs(line, stderr);
  }

  void Handle(const httplib::Request& req, httplib::Response& res) {
    Listener::CallStarted();
    ++activeCalls;
    struct Done {
      std::atomic<int>& n;
      ~Done() { --n; }
    } done{activeCalls};
    const auto started = std::chrono::steady_clock::now();
    std::string idText = "null";
    std::string method = "-";
    QString user;
    auto finish = [&](int status, const std::string& body, const std::string& outcome) {
      res.status = status;
      res.set_content(body, "application/json");
      Log(method,
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
              .count(),
          outcome, user);
    };
    auto fail = [&](int status, int code, const QString& message) {
      finish(status, Envelope(idText, code, message), "error " + message.toStdString());
    };

    // The pre-routing check refused a missing or wrong token already.
    const Token* who = Authenticate(req);
    if (!who) return RefuseCredential(req, res);
    user = who->name;
    if (req.path != kPath)
      return fail(404, RpcError::MethodNotFound,
                  QStringLiteral("Servidor de aplicação desconhecido: '%1' (use %2).")
                      .arg(QString::fromStdString(req.path).left(60), QLatin1String(kPath)));

    // A body over 1 MiB was read and is parsed in its turn (the listener's).
    const RpcRequest request = ParseRpcRequest(req.body);
    idText = request.idText;
    if (!request.method.isEmpty()) method = request.method.left(60).toStdString();
    if (request.errorCode) return fail(200, request.errorCode, request.error);
    try {
      const Caller caller{who->name, who->role == QLatin1String("maintainer")};
      Reply reply;
      reply.pieces.push_back(std::make_shared<const std::string>(
          "{\"jsonrpc\":\"2.0\",\"id\":" + idText + ",\"result\":"));
      for (auto& piece : service.Call(caller, request.method, request.params))
        reply.pieces.push_back(std::move(piece));
      reply.pieces.push_back(std::make_shared<const std::string>("}"));
      if (reply.size() < size_t{64} * 1024) {
        std::string body;
        body.reserve(reply.size());
        for (const auto& p : reply.pieces) body += *p;
        finish(200, body, "ok");
      } else {
        // Big answers go out straight from the shared buffer.
        const size_t size = reply.size();
        auto shared = std::make_shared<Reply>(std::move(reply));
        res.status = 200;
        res.set_content_provider(size, "application/json",
                                 [shared](size_t offset, size_t length, httplib::DataSink& sink) {
                                   return WriteSpan(sink, *shared, offset,
                                                    std::min<size_t>(length, 1 << 20));
                                 });
        Log(method,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count(),
            "ok", user);
      }
    } catch (const RpcError& e) {
      fail(200, e.code(), e.message());
    } catch (const std::exception& e) {
      fail(200, RpcError::Internal,
           QStringLiteral("Falha interna do servidor de aplicação; nada foi alterado. Detalhe: %1")
               .arg(QString::fromUtf8(e.what())));
    }
  }

  const Token* Authenticate(const httplib::Request& req) const {
    const std::string auth = req.get_header_value("Authorization");
    if (auth.rfind("Bearer ", 0) != 0) return nullptr;
    auto it = tokens.find(auth.substr(7));
    return it == tokens.end() ? nullptr : &it->second;
  }

  void RefuseCredential(const httplib::Request& req, httplib::Response& res) {
    // A client without a valid token gets no connection to keep.
    Listener::CloseAfterAnswer(res);
    res.set_header("WWW-Authenticate", "Bearer");
    res.status = 401;
    const QString message =
        !req.get_header_value("Authorization").empty()
            ? QStringLiteral("Credencial inválida para o servidor de aplicação.")
            : QStringLiteral(
                  "Credencial ausente: o servidor de aplicação exige o cabeçalho "
                  "Authorization: Bearer.");
    res.set_content(Envelope("null", RpcError::Forbidden, message), "application/json");
    Log("-", 0, "error " + message.toStdString());
  }

  static void NotAllowed(httplib::Response& res) {
    res.status = 405;
    res.set_header("Allow", "POST");
    res.set_content(Envelope("null", RpcError::InvalidRequest,
                             QStringLiteral("Use POST %1 com uma requisição JSON-RPC 2.0.")
                                 .arg(QLatin1String(kPath))),
                    "application/json");
  }

  // The load balancer's check: 200 while the database answers, 503 otherwise.
  void Health(httplib::Response& res) {
    const QString problem = service.Health();
    res.status = problem.isEmpty() ? 200 : 503;
    std::string body = "{\"status\":";
    body += problem.isEmpty() ? "\"ok\"" : "\"indisponivel\",\"message\":";
    if (!problem.isEmpty()) AppendString(body, problem.toStdString());
    body += "}";
    res.set_content(body, "application/json");
  }

  ServerOptions options;
  Service service;
  std::map<std::string, Token> tokens;
  std::unique_ptr<WebView> web;
  Listener http;
  std::thread listener;
  int port = 0;
  bool running = false;
  std::atomic<int> activeCalls{0};
};

AppServer::AppServer(ServerOptions options)
    : impl_(std::make_unique<AppServerImpl>(std::move(options))) {}

AppServer::~AppServer() { Stop(); }

int AppServer::Start() {
  try {
    return impl_->Start();
  } catch (const DbError& e) {
    throw std::runtime_error(e.what());
  }
}

void AppServer::Stop() { impl_->Stop(); }

int AppServer::Port() const { return impl_->port; }

}  // namespace srv
