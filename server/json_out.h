#pragma once
// Appends JSON text straight into a byte buffer: the big answers are written
// row by row from the database without building objects first.

#include "framework/data/json_write.h"

#include <string>
#include <string_view>

namespace srv {

// The framework's writers, so that server and client escape and round numbers
// the same way.
inline void AppendNumber(std::string& out, double v) { fw::AppendJsonNumber(out, v); }
inline void AppendString(std::string& out, std::string_view s) { fw::AppendJsonString(out, s); }

}  // namespace srv
