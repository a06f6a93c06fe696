#pragma once
// The server methods over the master tables: GetCadReferencia,
// IncluiReferencia, AlteraReferencia, ExcluiReferencia and the same for
// percentiles (GetCadPercentil, IncluiPercentil, AlteraPercentil,
// ExcluiPercentil). Same envelope, roles and audit as the table methods.

#include "server/service.h"

#include <QJsonArray>
#include <QString>

namespace srv {

class MasterDataMethods {
 public:
  static bool Knows(const QString& method);
  // Runs one of the methods above. Throws RpcError (nothing changed) or
  // DbError, which Service::Call turns into messages as for every method.
  static JsonPieces Call(Service& service, const Caller& caller, const QString& method,
                         const QJsonArray& params, bool& committing);
};

}  // namespace srv
