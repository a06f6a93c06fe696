#pragma once
// CheckResultServ: the one way a screen looks at a server call's outcome.

#include "framework/net/netconnection.h"

#include <QVariant>

namespace fw {

// Success: returns the payload. Failure: shows the server's message as an
// error (MensErro) and, when `abort` is set, aborts silently (fw::EAbort);
// without abort it returns an invalid QVariant after the message. `flags` is
// accepted for the callers' sake and has no effect.
QVariant CheckResultServ(const ServerResult& result, bool abort = true, int flags = 0);

}  // namespace fw
