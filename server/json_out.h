#pragma once
// Appends JSON text straight into a byte buffer: the big answers are written
// row by row from the database without building objects first.

#include "framework/data/json_write.h"

#include <string>
#include <string_view>

namespace srv {

// The same text as the framework's writer (shortest round trip, non-finite as
// null), so that server and client round numbers the same way; values between
// 1e-3 and 1e6 with at most nine decimals, as the tables hold, take a quicker path.
void AppendNumber(std::string& out, double v);

inline void AppendString(std::string& out, std::string_view s) { fw::AppendJsonString(out, s); }

}  // namespace srv
