// The run clock: a monotonic wall clock in whole milliseconds. Every elapsed
// time of the program is (clock_ms() - start_clock) * 0.001 seconds.
#pragma once

#include <chrono>

using ClockTicks = long long;

inline ClockTicks clock_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Seconds since start, as the program prints and compares them.
inline double elapsed_seconds(ClockTicks start_clock) {
  return static_cast<double>(clock_ms() - start_clock) * 0.001;
}
