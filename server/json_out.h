#pragma once
// Appends JSON text straight into a byte buffer: the big answers are written
// row by row from the database without building objects first.

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace srv {

// Shortest text that reads back as exactly the same double (std::to_chars
// without a precision gives the shortest round-trip form). Non-finite values
// cannot be stored, but are written as null rather than as invalid JSON.
inline void AppendNumber(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

inline void AppendString(std::string& out, std::string_view s) {
  out += '"';
  size_t plain = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        static const char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
      }
    }
  }
  out.append(s.data() + plain, s.size() - plain);
  out += '"';
}

}  // namespace srv
