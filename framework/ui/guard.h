#pragma once
// The guard around every entry from Qt into module code (a slot, an event
// filter, a dataset operation started by a widget). It swallows fw::EAbort
// (the message, if any, was shown before the abort), shows fw::Error and any
// other std::exception through the dialog seam as an error, and never lets an
// exception cross the Qt event loop.

#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

namespace fw {

// Runs `body`. Returns true when it completed, false when it threw (the
// exception has then been shown or, for EAbort, silently swallowed).
bool Guard(const std::function<void()>& body) noexcept;

// A callable that runs `fn` inside the guard. It accepts exactly the
// arguments `fn` accepts, so Qt passes a signal's arguments or fewer.
template <typename F>
struct GuardedCall {
  F fn;
  template <typename... A>
  requires std::is_invocable_v<const F&, A...>
  void operator()(A&&... args) const {
    Guard([&] { fn(std::forward<A>(args)...); });
  }
};

// Wraps a callable for a Qt connection so that it runs inside the guard:
//   connect(button, &QToolButton::clicked, this, Guarded([this] { sbtFooClick(this); }));
template <typename F>
GuardedCall<std::decay_t<F>> Guarded(F&& f) {
  return {std::forward<F>(f)};
}

// Connects a signal to a callable that runs inside the guard.
template <typename Sender, typename Signal, typename F>
QMetaObject::Connection GuardedConnect(const Sender* sender, Signal signal, const QObject* context,
                                       F&& f) {
  return QObject::connect(sender, signal, context, Guarded(std::forward<F>(f)));
}

}  // namespace fw

// For the body of a slot written by hand: TRP_GUARD({ ...statements... });
#define TRP_GUARD(...) ::fw::Guard([&]() __VA_ARGS__)
