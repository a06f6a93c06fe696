#include "server/json_out.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace srv {

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// Writes |v| as fixed-point text when it has at most nine decimals and the
// shortest round-trip text is the fixed form; false leaves `out` untouched.
//
// Below 1e6 two decimals 1e-9 apart never read back as the same double, so the
// first count of decimals whose integer m reads back as exactly |v| (m / 10^d
// is correctly rounded, both exact) gives the shortest digits, the same ones
// std::to_chars picks.
bool AppendFixed(std::string& out, double v) {
  const double a = std::fabs(v);
  if (!(a > 0 && a < 1e6)) return false;
  int d = 0;
  double m = 0;
  for (;; ++d) {
    if (d > 9) return false;
    m = std::nearbyint(a * kPow10[d]);
    if (m / kPow10[d] == a) break;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, std::uint64_t(m)).ptr;
  const int len = int(end - digits);
  // std::to_chars takes the exponent form when it is shorter (1e+05, 1e-04);
  // leave those to the general writer.
  int significant = len;
  while (significant > 1 && digits[significant - 1] == '0') --significant;
  // Exponents here have two digits: "e+05", "e-09".
  const int sciLen = significant + (significant > 1 ? 1 : 0) + 4;
  const int fixedLen = len > d ? len + (d ? 1 : 0) : d + 2;
  if (fixedLen > sciLen) return false;
  if (v < 0) out += '-';
  if (len > d) {
    out.append(digits, size_t(len - d));
    if (d) {
      out += '.';
      out.append(digits + (len - d), size_t(d));
    }
  } else {
    out += "0.";
    out.append(size_t(d - len), '0');
    out.append(digits, size_t(len));
  }
  return true;
}

}  // namespace

void AppendNumber(std::string& out, double v) {
  if (!AppendFixed(out, v)) fw::AppendJsonNumber(out, v);
}

}  // namespace srv
