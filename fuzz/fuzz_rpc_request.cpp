// The server's request envelope: any bytes give an accepted request or a
// refusal with a message, never a crash; an accepted one has no repeated
// member and answers with an id that is JSON text.

#include "server/json_check.h"
#include "server/rpc_request.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const srv::RpcRequest r = srv::ParseRpcRequest(body);
  if (r.errorCode != 0) {
    if (r.error.isEmpty()) std::abort();
    return 0;
  }
  if (srv::RepeatedMember(body)) std::abort();
  const QByteArray id = QByteArray::fromStdString("[" + r.idText + "]");
  if (QJsonDocument::fromJson(id).isNull()) std::abort();
  return 0;
}
