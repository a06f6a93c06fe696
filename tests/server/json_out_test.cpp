// The server's number writer must give byte for byte the framework's text:
// the client compares and rounds what it reads against what it writes.

#include "server/json_out.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace {

std::string Server(double v) {
  std::string s;
  srv::AppendNumber(s, v);
  return s;
}

std::string Framework(double v) {
  std::string s;
  fw::AppendJsonNumber(s, v);
  return s;
}

TEST(JsonOut, EdgeValuesMatchTheFrameworkWriter) {
  const double inf = std::numeric_limits<double>::infinity();
  const double cases[] = {0.0,
                          -0.0,
                          1,
                          -1,
                          0.1,
                          0.5,
                          10,
                          1000,
                          10000,
                          100000,
                          120000,
                          999999,
                          999999.999999999,
                          1e6,
                          1e6 - 1e-9,
                          0.001,
                          0.0001,
                          0.00012,
                          0.0012,
                          1e-9,
                          1.5e-9,
                          123456.789012345,
                          3.14159265,
                          2.0 / 3.0,
                          0.1 + 0.2,
                          1e15,
                          1e21,
                          1e22,
                          5e-324,
                          std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::min(),
                          inf,
                          -inf,
                          std::nan("")};
  for (double v : cases) {
    EXPECT_EQ(Server(v), Framework(v)) << "value " << Framework(v);
    EXPECT_EQ(Server(-v), Framework(-v)) << "value -" << Framework(v);
  }
}

// Decimals as the tables hold them (up to ten significant digits), at every
// magnitude the quick path covers and beyond.
TEST(JsonOut, RandomDecimalsMatchTheFrameworkWriter) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> mantissa(0, 9'999'999'999);
  std::uniform_int_distribution<int> scale(0, 16);
  int mismatches = 0;
  for (int i = 0; i < 2'000'000 && mismatches < 10; ++i) {
    const double v = double(mantissa(rng)) / std::pow(10.0, scale(rng)) * (i % 2 ? -1 : 1);
    if (Server(v) != Framework(v)) {
      ADD_FAILURE() << "value " << Framework(v) << " written as " << Server(v);
      ++mismatches;
    }
  }
}

// Any bit pattern: the quick path must recognise what it cannot write.
TEST(JsonOut, RandomDoublesMatchTheFrameworkWriter) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(0, 1e6);
  int mismatches = 0;
  for (int i = 0; i < 1'000'000 && mismatches < 10; ++i) {
    const double bits = std::bit_cast<double>(rng());
    const double near = unit(rng);
    for (double v : {bits, near, std::round(near * 1e4) / 1e4, std::nextafter(near, 0.0)}) {
      if (Server(v) != Framework(v)) {
        ADD_FAILURE() << "value " << Framework(v) << " written as " << Server(v);
        ++mismatches;
      }
    }
  }
}

}  // namespace
