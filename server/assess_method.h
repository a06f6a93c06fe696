#pragma once
// AvaliaMedida: a child's measurement placed on the kept references. Read
// only, so readers may call it.

#include "server/service.h"
#include "server/storage.h"

#include <QJsonArray>

namespace srv {

// params: [{"sexo":"M"|"F", "idade_dias":N | "nascimento":"AAAA-MM-DD" and
// "medicao":"AAAA-MM-DD", "peso":kg, "estatura":cm, "medida":"D"|"P",
// "pc":cm, "referencias":["02",...]}]; without references, every reference
// with an answer at that age. Throws RpcError (InvalidParams for what the
// call sent, Refused for an unknown reference) and DbError.
JsonPieces AvaliaMedida(Db& db, const QJsonArray& params);

}  // namespace srv
