#include "server/json_out.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace srv {

namespace {

// Writes |v| as fixed-point text when it has at most nine decimals and the
// shortest round-trip text is the fixed form; false leaves `out` untouched.
//
// Between 1e-3 and 1e6 two decimals 1e-9 apart never read back as the same
// double, so when the nearest multiple of 1e-9 reads back as exactly |v|
// (m / 1e9 is correctly rounded, both exact) it is the only such decimal with
// nine or fewer decimals, and without its trailing zeros it has the shortest
// digits: the ones std::to_chars picks.
bool AppendFixed(std::string& out, double v) {
  const double a = std::fabs(v);
  if (!(a >= 1e-3 && a < 1e6)) return false;
  const auto m = std::int64_t(std::llround(a * 1e9));
  if (double(m) / 1e9 != a) return false;
  char digits[24];
  int len = int(std::to_chars(digits, digits + sizeof digits, m).ptr - digits);
  int d = 9;
  while (d > 0 && digits[len - 1] == '0') --d, --len;
  // std::to_chars takes the exponent form when it is shorter (1e+05, 1e-04);
  // leave those to the general writer. Exponents here have two digits.
  int significant = len;
  while (significant > 1 && digits[significant - 1] == '0') --significant;
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
