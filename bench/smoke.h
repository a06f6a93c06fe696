#pragma once
// The smoke run (scripts/run-benchmarks --smoke, in CI): every benchmark once
// on tiny data, so that one that no longer runs is seen, not measured.

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace bench {

inline bool Smoke() {
  static const bool smoke = std::getenv("TRP_BENCH_SMOKE") != nullptr;
  return smoke;
}

// `full` in a measuring run, `tiny` in the smoke run.
inline int Scaled(int full, int tiny) { return Smoke() ? tiny : full; }

// For a benchmark that measures for `seconds`: one iteration in the smoke run.
template <int seconds>
void MinTimeOrOnce(benchmark::internal::Benchmark* b) {
  if (Smoke())
    b->Iterations(1);
  else
    b->MinTime(seconds);
}

}  // namespace bench
