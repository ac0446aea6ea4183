// The run clock: a monotonic wall clock in whole milliseconds. Every elapsed
// time of the program is (clock_ms() - start_clock) * 0.001 seconds.
#pragma once

#include <chrono>

using ClockTicks = long long;

// Where clock_ms() reads the time: the steady wall clock, unless a test puts
// a clock of its own in place to make the time limits deterministic.
using ClockSource = ClockTicks (*)();

inline ClockTicks steady_clock_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace clock_detail {
inline ClockSource source = steady_clock_ms;
}  // namespace clock_detail

inline void set_clock_source(ClockSource source) { clock_detail::source = source; }

inline ClockTicks clock_ms() { return clock_detail::source(); }

// Seconds from start_clock to a clock reading, as the program prints, logs
// (rounded to float) and compares them.
inline double seconds_between(ClockTicks start_clock, ClockTicks reading) {
  return static_cast<double>(reading - start_clock) * 0.001;
}

// Seconds since start_clock, reading the clock now.
inline double elapsed_seconds(ClockTicks start_clock) { return seconds_between(start_clock, clock_ms()); }
