#include "framework/net/netconnection.h"

#include "framework/data/errors.h"
#include "framework/net/rpcjson.h"
#include "framework/net/serveraddress.h"
#include "framework/ui/host_services.h"

#include <httplib.h>

namespace fw {
namespace {

void SetTimeout(httplib::Client& client, int ms, bool connect) {
  const time_t sec = ms / 1000;
  const time_t usec = static_cast<time_t>(ms % 1000) * 1000;
  if (connect) {
    client.set_connection_timeout(sec, usec);
  } else {
    client.set_read_timeout(sec, usec);
    client.set_write_timeout(sec, usec);
  }
}

struct TlsDefault {
  bool on = false;
  QString caFile;
};

TlsDefault& DefaultTls() {
  static TlsDefault d;
  return d;
}

}  // namespace

class TNetConnectionImpl {
 public:
  // One kept-alive client; httplib reconnects when the server dropped it.
  std::unique_ptr<httplib::Client> client;
};

TNetConnection::TNetConnection(const QString& name, QObject* parent)
    : QObject(parent),
      tls_(DefaultTls().on),
      caFile_(DefaultTls().caFile),
      impl_(std::make_unique<TNetConnectionImpl>()) {
  setObjectName(name);
}

void TNetConnection::SetDefaultTls(bool on, const QString& caFile) { DefaultTls() = {on, caFile}; }

void TNetConnection::SetTls(bool on) {
  if (on != tls_) impl_->client.reset();
  tls_ = on;
}

void TNetConnection::SetCaFile(const QString& path) {
  if (path != caFile_) impl_->client.reset();
  caFile_ = path;
}

TNetConnection::~TNetConnection() = default;

void TNetConnection::SetHost(const QString& host) {
  QString name = host.trimmed();
  bool tls = tls_;
  SplitScheme(&name, &tls);
  SetTls(tls);
  if (name != host_) impl_->client.reset();
  host_ = name;
}

void TNetConnection::SetPort(int port) {
  if (port != port_) impl_->client.reset();
  port_ = port;
}

QString TNetConnection::Address() const {
  return QStringLiteral("%1%2:%3")
      .arg(tls_ ? QStringLiteral("https://") : QString(), host_)
      .arg(port_);
}

static httplib::Client& ClientFor(TNetConnectionImpl& impl, const TNetConnection& c) {
  if (!impl.client) {
    if (c.Tls()) {
      impl.client = std::make_unique<httplib::Client>(
          QStringLiteral("https://%1:%2").arg(c.Host()).arg(c.Port()).toStdString());
      impl.client->enable_server_certificate_verification(true);
      if (!c.CaFile().isEmpty()) impl.client->set_ca_cert_path(c.CaFile().toStdString());
    } else {
      impl.client = std::make_unique<httplib::Client>(c.Host().toStdString(), c.Port());
    }
    impl.client->set_keep_alive(true);
    // Without it each small call waits for the peer's delayed ACK (about 40 ms).
    impl.client->set_tcp_nodelay(true);
    SetTimeout(*impl.client, c.ConnectTimeoutMs(), true);
    SetTimeout(*impl.client, c.ReadTimeoutMs(), false);
  }
  return *impl.client;
}

static QString TransportMessage(httplib::Error error, const QString& address) {
  switch (error) {
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
    case httplib::Error::BindIPAddress:
      return QStringLiteral(
                 "Não foi possível conectar ao servidor de aplicação em %1. Verifique se o "
                 "servidor está no ar e se o endereço e a porta configurados (opção --server ou "
                 "[Servidor] WebURL e WebPort) estão corretos.")
          .arg(address);
    case httplib::Error::SSLServerVerification:
      return QStringLiteral(
                 "O certificado do servidor de aplicação em %1 não foi reconhecido: ele não é "
                 "de uma autoridade confiável ou não é deste endereço. Nada foi enviado. Informe "
                 "a autoridade do hospital (opção --ca-file ou [Servidor] CA).")
          .arg(address);
    case httplib::Error::SSLLoadingCerts:
      return QStringLiteral(
                 "Não foi possível ler as autoridades de certificação (opção --ca-file "
                 "ou [Servidor] CA) para conectar a %1.")
          .arg(address);
    case httplib::Error::SSLConnection:
      return QStringLiteral(
                 "Não foi possível estabelecer a conexão segura (TLS) com o servidor "
                 "de aplicação em %1. Verifique se ele atende por https.")
          .arg(address);
    case httplib::Error::Read:
      return QStringLiteral(
                 "O servidor de aplicação em %1 não respondeu a tempo ou encerrou a conexão.")
          .arg(address);
    case httplib::Error::Write:
      return QStringLiteral("Não foi possível enviar o pedido ao servidor de aplicação em %1.")
          .arg(address);
    default:
      return QStringLiteral("Falha na comunicação com o servidor de aplicação em %1 (%2).")
          .arg(address, QString::fromStdString(httplib::to_string(error)));
  }
}

namespace {
TNetConnection::ReachObserver& Observer() {
  static TNetConnection::ReachObserver observer;
  return observer;
}
void Tell(bool reached, const QString& reason = {}) {
  if (const TNetConnection::ReachObserver& o = Observer()) o(reached, reason);
}
}  // namespace

void TNetConnection::SetReachObserver(ReachObserver observer) { Observer() = std::move(observer); }

void TNetConnection::SetConnected(bool on) {
  if (!on) {
    impl_->client.reset();
    if (connected_) {
      connected_ = false;
      emit connectedChanged(false);
    }
    return;
  }
  if (connected_) return;
  if (BeforeConnect) BeforeConnect(*this);
  if (token_.isEmpty()) token_ = Host::Instance().Token();
  if (serverName_.trimmed().isEmpty()) {
    throw Error(QStringLiteral("A conexão '%1' não indica o módulo do servidor de aplicação "
                               "(ServerName).")
                    .arg(objectName()));
  }
  if (host_.trimmed().isEmpty() || port_ <= 0 || port_ > 65535) {
    throw Error(QStringLiteral("Endereço do servidor de aplicação inválido: %1.").arg(Address()));
  }
  impl_->client.reset();
  httplib::Client& client = ClientFor(*impl_, *this);
  // Any HTTP answer proves the server is there; credentials are judged per call.
  const auto answer = client.Get(("/" + serverName_).toStdString());
  if (!answer) {
    const QString message = TransportMessage(answer.error(), Address());
    impl_->client.reset();
    Tell(false, message);
    throw Error(message);
  }
  connected_ = true;
  emit connectedChanged(true);
  Tell(true);
}

ServerResult TNetConnection::Call(const QString& method, const QVariantList& args) {
  if (!connected_) {
    try {
      SetConnected(true);
    } catch (const Error& e) {
      return {false, {}, e.message()};
    }
  }
  QByteArray body;
  try {
    body = BuildRpcRequest(method, args, nextId_++);
  } catch (const Error& e) {
    return {false, {}, QStringLiteral("Chamada %1 não enviada: %2").arg(method, e.message())};
  }
  httplib::Client& client = ClientFor(*impl_, *this);
  const httplib::Headers headers{
      {"Authorization", "Bearer " + token_.toStdString()},
  };
  const auto answer = client.Post(("/" + serverName_).toStdString(), headers, body.constData(),
                                  static_cast<size_t>(body.size()), "application/json");
  if (!answer) {
    impl_->client.reset();
    const QString message = TransportMessage(answer.error(), Address());
    Tell(false, message);
    return {false, {}, message};
  }
  Tell(true);
  if (answer->status == 401 || answer->status == 403) {
    ServerResult parsed = ParseRpcResponse(answer->body);
    if (answer->status == 403 && !parsed.ok &&
        !parsed.error.startsWith(QLatin1String("Resposta"))) {
      return parsed;
    }
    return {false,
            {},
            QStringLiteral("Acesso negado pelo servidor de aplicação: credencial inválida.")};
  }
  ServerResult result = ParseRpcResponse(answer->body);
  if (answer->status != 200 && result.ok) {
    return {false,
            {},
            QStringLiteral("O servidor de aplicação em %1 respondeu com o código HTTP %2.")
                .arg(Address())
                .arg(answer->status)};
  }
  if (answer->status != 200 && result.error.startsWith(QLatin1String("Resposta inválida"))) {
    result.error = QStringLiteral("O servidor de aplicação em %1 respondeu com o código HTTP %2.")
                       .arg(Address())
                       .arg(answer->status);
  }
  return result;
}

}  // namespace fw
