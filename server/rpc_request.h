#pragma once
// A JSON-RPC 2.0 request body as the server accepts it: one object with
// "jsonrpc":"2.0", a method name and positional parameters, no member twice.

#include <QJsonArray>
#include <QString>

#include <string>
#include <string_view>

namespace srv {

struct RpcRequest {
  std::string idText = "null";  // the request's id as JSON text, for the answer
  QString method;
  QJsonArray params;
  // Set when the body is refused: the JSON-RPC error code and a Portuguese
  // sentence for the user; the other members are then only what was read.
  int errorCode = 0;
  QString error;
};

// Never throws: a body that is refused comes back with errorCode set.
RpcRequest ParseRpcRequest(std::string_view body);

}  // namespace srv
