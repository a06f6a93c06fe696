// The dataset filter parser: any text gives terms or fw::Error, and a term
// always names a field.

#include "framework/data/errors.h"
#include "framework/data/filter.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const QString expression =
      QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  try {
    for (const fw::FilterTerm& term : fw::ParseFilter(expression))
      if (term.field.isEmpty()) std::abort();
  } catch (const fw::Error&) {
  }
  return 0;
}
