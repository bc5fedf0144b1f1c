// Timing for the programs that run where Google Benchmark is not at hand
// (the Windows builds under Wine): the best of ten rounds, so that a busy
// machine shows as little as it can.
#pragma once

#include <chrono>

namespace timing {

// Microseconds per call of f, over rounds of perRound calls.
template <typename F>
double BestOf(F f, int perRound) {
  double best = 1e30;
  for (int r = 0; r < 10; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < perRound; ++i) f();
    const auto t1 = std::chrono::steady_clock::now();
    const double us = std::chrono::duration<double, std::micro>(t1 - t0).count() / perRound;
    if (us < best) best = us;
  }
  return best;
}

}  // namespace timing
