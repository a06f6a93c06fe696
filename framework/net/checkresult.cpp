#include "framework/net/checkresult.h"

#include "framework/ui/consiste.h"

namespace fw {

QVariant CheckResultServ(const ServerResult& result, bool abort, int /*flags*/) {
  if (result.ok) return result.payload;
  MensErro(result.error, abort);
  return {};
}

}  // namespace fw
