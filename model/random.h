// The program's only source of randomness: one Mersenne Twister MT19937,
// seeded once. Both of the runtime-style generators the search relies on
// ("rand" and the long-range "lrand") are the engine's output shifted right by
// one bit, so the draws are the same on every platform.
#pragma once

#include <cstdint>
#include <random>

// std::mt19937 with its state held in 32-bit words: the same parameters and
// so the same sequence, but several times faster where std::mt19937 keeps its
// state in 64-bit words (x86-64 Linux).
using RandomEngine =
    std::mersenne_twister_engine<std::uint32_t, 32, 624, 397, 31, 0x9908b0df, 11, 0xffffffff, 7,
                                 0x9d2c5680, 15, 0xefc60000, 18, 1812433253>;

namespace random_detail {
extern RandomEngine engine;
// A non-negative 31-bit value, as the C runtime's generators return.
inline std::int32_t next_draw() { return static_cast<std::int32_t>(engine() >> 1); }

// n mod d for 0 <= n < 2^31 and 0 < d < 2^31 without a hardware division:
// q = floor(n * m / 2^(31 + l)) with l = ceil(log2 d), m = ceil(2^(31 + l) / d)
// is the exact quotient for every 31-bit n (Granlund and Montgomery), and
// n * m < 2^63. The divisor's constants are kept for the bound last used.
struct Divisor {
  std::uint32_t d = 1;
  std::uint64_t m = std::uint64_t{1} << 31;
  int shift = 31;
};
extern Divisor divisor;
void set_divisor(std::uint32_t d);
inline std::int32_t remainder(std::int32_t n, std::int32_t d) {
  if (d < 0) return n % d;  // never used by the program; keeps C semantics
  if (static_cast<std::uint32_t>(d) != divisor.d) set_divisor(static_cast<std::uint32_t>(d));
  const std::uint64_t q = (static_cast<std::uint64_t>(n) * divisor.m) >> divisor.shift;
  return n - static_cast<std::int32_t>(q * divisor.d);
}
}  // namespace random_detail

// The engine; tests may copy and restore it to replay a sequence of draws.
inline RandomEngine& random_engine() { return random_detail::engine; }

// Reseeds the engine (the run does this once, with its fixed seed).
inline void seed_random(unsigned seed) { random_detail::engine.seed(seed); }

// A value in 0..bound-1 (the draw modulo bound); 0 without drawing for bound 0.
inline int random_below(int bound) {
  if (bound == 0) return 0;
  return random_detail::remainder(random_detail::next_draw(), bound);
}

// The step of a uniform draw: r mod 10000 for a fresh draw r.
inline int random_step() { return random_detail::next_draw() % 10000; }

// The value of a uniform draw of step `step` between low and high:
// low + step * 0.0001 * (high - low), evaluated in double in that order.
inline double uniform_value(int step, double low, double high) {
  return low + static_cast<double>(step) * 0.0001 * (high - low);
}

// uniform_value of a fresh step; low itself, without drawing, when low == high.
inline double random_uniform(double low, double high) {
  if (low == high) return low;
  return uniform_value(random_step(), low, high);
}
