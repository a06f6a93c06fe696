#include "framework/ui/host_services.h"

namespace fw {

Host& Host::Instance() {
  static Host host;
  return host;
}

void Host::AtualizaLocalCache(const QStringList& tables) const {
  if (OnAtualizaLocalCache) OnAtualizaLocalCache(tables);
  // A copy: a listener may close its screen meanwhile.
  const auto listeners = listeners_;
  for (auto it = listeners.cbegin(); it != listeners.cend(); ++it)
    if (listeners_.contains(it.key())) (*it)(tables);
}

int Host::AddCacheListener(std::function<void(const QStringList&)> listener) {
  listeners_.insert(nextListener_, std::move(listener));
  return nextListener_++;
}

void Host::RemoveCacheListener(int id) { listeners_.remove(id); }

void Host::Reset() {
  // Listeners belong to screens, which remove their own.
  auto listeners = std::move(listeners_);
  const int next = nextListener_;
  *this = Host();
  listeners_ = std::move(listeners);
  nextListener_ = next;
}

}  // namespace fw
