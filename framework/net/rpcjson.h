#pragma once
// The JSON-RPC 2.0 envelope of the application server, without building a
// document of the whole body: a packet of a quarter of a million rows is
// handed to fw::DataPacket::fromJson as the byte span it already occupies.

#include "framework/net/netconnection.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVariantList>

namespace fw {

// Writes a request body. Arguments: QString, double, float, int, qint64,
// bool, null (an invalid QVariant), fw::DataPacket, fw::DeltaPacket and
// QVariantList of these. Throws fw::Error naming the argument's position
// when a type is not supported or a double is not finite.
QByteArray BuildRpcRequest(const QString& method, const QVariantList& args, qint64 id);

// Reads a response body. "result": true/false -> bool, a packet object ->
// fw::DataPacket, an array -> QVariantList of such payloads, null -> an
// invalid QVariant, strings and numbers as such. "error" -> ok=false with the
// server's message as is. Malformed bodies -> ok=false with a Portuguese
// message; never throws.
ServerResult ParseRpcResponse(QByteArrayView body);

// Index just past the JSON value that starts at `pos` (leading blanks are
// skipped), or -1 when the text ends first or is not JSON there. Only the
// structure is checked: brackets, strings and their escapes.
qsizetype SkipJsonValue(QByteArrayView text, qsizetype pos);

}  // namespace fw
