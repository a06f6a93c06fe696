#pragma once
// The server's methods over the master tables (references and percentiles)
// as the module calls them. Rows travel in the order of the GetCad packets:
// reference (code, name, citation, source, licence), percentile (code, name,
// value); an empty value is an invalid QVariant. Each call returns the raw
// outcome for fw::CheckResultServ.

#include "framework/net/netconnection.h"

#include <QVariantList>

namespace trp::services {

class RdmMasterData {
 public:
  explicit RdmMasterData(fw::TNetConnection& net) : net_(net) {}

  fw::ServerResult GetCadReferencia() { return Call("GetCadReferencia", {}); }
  fw::ServerResult IncluiReferencia(const QVariantList& row) {
    return Call("IncluiReferencia", row);
  }
  fw::ServerResult AlteraReferencia(const QVariantList& before, const QVariantList& after) {
    return Call("AlteraReferencia", {QVariant(before), QVariant(after)});
  }
  fw::ServerResult ExcluiReferencia(const QVariantList& before) {
    return Call("ExcluiReferencia", {QVariant(before)});
  }

  fw::ServerResult GetCadPercentil() { return Call("GetCadPercentil", {}); }
  fw::ServerResult IncluiPercentil(const QVariantList& row) { return Call("IncluiPercentil", row); }
  fw::ServerResult AlteraPercentil(const QVariantList& before, const QVariantList& after) {
    return Call("AlteraPercentil", {QVariant(before), QVariant(after)});
  }
  fw::ServerResult ExcluiPercentil(const QVariantList& before) {
    return Call("ExcluiPercentil", {QVariant(before)});
  }

 private:
  fw::ServerResult Call(const char* method, const QVariantList& args) {
    return net_.Call(QLatin1String(method), args);
  }
  fw::TNetConnection& net_;
};

}  // namespace trp::services
