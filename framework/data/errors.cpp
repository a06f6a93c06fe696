#include "framework/data/errors.h"

namespace fw {

void Abort() { throw EAbort(); }

}  // namespace fw
