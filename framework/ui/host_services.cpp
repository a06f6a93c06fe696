#include "framework/ui/host_services.h"

namespace fw {

Host& Host::Instance() {
  static Host host;
  return host;
}

void Host::AtualizaLocalCache(const QStringList& tables) const {
  if (OnAtualizaLocalCache) OnAtualizaLocalCache(tables);
}

void Host::Reset() { *this = Host(); }

}  // namespace fw
