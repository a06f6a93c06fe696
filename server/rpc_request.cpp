#include "server/rpc_request.h"

#include "server/json_check.h"
#include "server/json_out.h"
#include "server/service.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace srv {

RpcRequest ParseRpcRequest(std::string_view body) {
  RpcRequest r;
  auto refuse = [&](int code, const QString& message) {
    r.errorCode = code;
    r.error = message;
    return r;
  };
  QJsonParseError perr;
  const QJsonDocument doc =
      QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), qsizetype(body.size())), &perr);
  if (perr.error != QJsonParseError::NoError) {
    if (perr.error == QJsonParseError::IllegalNumber)
      return refuse(RpcError::ParseError,
                    QStringLiteral("A requisição contém um número inválido (posição %1): NaN, "
                                   "infinito ou números grandes demais não são aceitos. Nada foi "
                                   "alterado.")
                        .arg(perr.offset));
    return refuse(RpcError::ParseError,
                  QStringLiteral("A requisição não é um JSON válido (erro na posição %1). Nada "
                                 "foi alterado.")
                      .arg(perr.offset));
  }
  // The parser keeps the last of two equal names: what the client meant is
  // unknown, so nothing is done.
  if (const auto repeated = RepeatedMember(body))
    return refuse(RpcError::InvalidRequest,
                  QStringLiteral("A requisição repete o membro \"%1\" num mesmo objeto JSON e "
                                 "foi recusada; nada foi alterado.")
                      .arg(repeated->left(60)));
  if (!doc.isObject())
    return refuse(RpcError::InvalidRequest,
                  QStringLiteral("A requisição deve ser um objeto JSON-RPC 2.0 (chamadas em lote "
                                 "não são aceitas)."));
  const QJsonObject o = doc.object();
  const QJsonValue id = o.value(QLatin1String("id"));
  if (id.isDouble() || id.isString()) {
    r.idText.clear();
    if (id.isString())
      AppendString(r.idText, id.toString().toStdString());
    else
      AppendNumber(r.idText, id.toDouble());
  }
  if (o.value(QLatin1String("jsonrpc")).toString() != QLatin1String("2.0") ||
      !o.value(QLatin1String("method")).isString())
    return refuse(RpcError::InvalidRequest,
                  QStringLiteral("A requisição não segue o protocolo JSON-RPC 2.0: faltam "
                                 "\"jsonrpc\":\"2.0\" ou o nome do método."));
  r.method = o.value(QLatin1String("method")).toString();
  const QJsonValue params = o.value(QLatin1String("params"));
  if (!params.isUndefined() && !params.isArray())
    return refuse(RpcError::InvalidParams,
                  QStringLiteral("Os parâmetros do método %1 devem ser uma lista posicional.")
                      .arg(r.method.left(60)));
  r.params = params.toArray();
  return r;
}

}  // namespace srv
