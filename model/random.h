// The program's only source of randomness: one Mersenne Twister MT19937,
// seeded once. Both of the runtime-style generators the search relies on
// ("rand" and the long-range "lrand") are the engine's output shifted right by
// one bit, so the draws are the same on every platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

// MT19937, the generator std::mt19937 is: the same seeding and the same
// sequence. It twists its state and tempers the next 624 outputs in one
// pass, so that a draw is a load from that block.
class RandomEngine {
 public:
  using result_type = std::uint32_t;
  static constexpr std::size_t state_size = 624;
  static constexpr result_type default_seed = 5489u;

  RandomEngine() { seed(default_seed); }
  explicit RandomEngine(result_type value) { seed(value); }

  void seed(result_type value);
  result_type operator()() {
    if (next_ == state_size) refill();
    return output_[next_++];
  }
  // Two outputs in a row.
  std::pair<result_type, result_type> two() {
    if (next_ + 2 > state_size) {
      const result_type first = (*this)();
      return {first, (*this)()};
    }
    next_ += 2;
    return {output_[next_ - 2], output_[next_ - 1]};
  }
  void discard(unsigned long long count) {
    for (; count > 0; --count) (*this)();
  }
  // Engines are equal when they will draw the same sequence.
  friend bool operator==(const RandomEngine& left, const RandomEngine& right) {
    return left.next_ == right.next_ && left.state_ == right.state_;
  }

 private:
  void refill();  // twists the state and tempers its outputs

  std::array<result_type, state_size> state_{};
  std::array<result_type, state_size> output_{};
  std::size_t next_ = state_size;
};

// A positive bound of draws with the constants of its remainder: n mod d for
// 0 <= n < 2^31 and 0 < d < 2^31 without a hardware division. q = floor(n * m
// / 2^(31 + l)) with l = ceil(log2 d), m = ceil(2^(31 + l) / d) is the exact
// quotient for every 31-bit n (Granlund and Montgomery), and n * m < 2^63.
struct DrawBound {
  std::uint32_t d = 1;
  std::uint64_t m = std::uint64_t{1} << 31;
  int shift = 31;
};
DrawBound draw_bound(std::uint32_t d);

namespace random_detail {
inline std::int32_t remainder(std::int32_t n, const DrawBound& bound) {
  const std::uint64_t q = (static_cast<std::uint64_t>(n) * bound.m) >> bound.shift;
  return n - static_cast<std::int32_t>(q * bound.d);
}

extern RandomEngine engine;
// A non-negative 31-bit value, as the C runtime's generators return.
inline std::int32_t next_draw() { return static_cast<std::int32_t>(engine() >> 1); }

// n mod d, with the constants kept for the bound last used.
extern DrawBound divisor;
inline std::int32_t remainder(std::int32_t n, std::int32_t d) {
  if (d < 0) return n % d;  // never used by the program; keeps C semantics
  if (static_cast<std::uint32_t>(d) != divisor.d) divisor = draw_bound(static_cast<std::uint32_t>(d));
  return remainder(n, divisor);
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

// random_below(bound.d) for a bound prepared once.
inline int random_below(const DrawBound& bound) {
  return random_detail::remainder(random_detail::next_draw(), bound);
}

// Two draws below the same bound in a row: random_below(bound) twice.
inline std::pair<int, int> random_pair_below(const DrawBound& bound) {
  const auto [first, second] = random_detail::engine.two();
  return {random_detail::remainder(static_cast<std::int32_t>(first >> 1), bound),
          random_detail::remainder(static_cast<std::int32_t>(second >> 1), bound)};
}

// A fresh draw: 0..2^31-1.
inline std::int32_t random_draw() { return random_detail::next_draw(); }

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
