#include "model/random.h"

void RandomEngine::seed(result_type value) {
  state_[0] = value;
  for (std::size_t k = 1; k < state_size; ++k)
    state_[k] = 1812433253u * (state_[k - 1] ^ (state_[k - 1] >> 30)) + static_cast<result_type>(k);
  next_ = state_size;
}

// Integer work only, so the result is the same on any processor; where the
// processor has AVX2 the loops use its wider registers.
__attribute__((target_clones("avx2", "default"))) void RandomEngine::refill() {
  constexpr std::size_t shift = 397;
  constexpr result_type upper = 0x80000000u;
  constexpr result_type lower = 0x7fffffffu;
  const auto twisted = [](result_type word, result_type next, result_type far) {
    const result_type y = (word & upper) | (next & lower);
    return far ^ (y >> 1) ^ ((0u - (y & 1u)) & 0x9908b0dfu);
  };
  result_type* state = state_.data();
  std::size_t k = 0;
  for (; k < state_size - shift; ++k) state[k] = twisted(state[k], state[k + 1], state[k + shift]);
  for (; k < state_size - 1; ++k) state[k] = twisted(state[k], state[k + 1], state[k + shift - state_size]);
  state[k] = twisted(state[k], state[0], state[shift - 1]);
  for (k = 0; k < state_size; ++k) {
    result_type z = state[k];
    z ^= z >> 11;
    z ^= (z << 7) & 0x9d2c5680u;
    z ^= (z << 15) & 0xefc60000u;
    z ^= z >> 18;
    output_[k] = z;
  }
  next_ = 0;
}

DrawBound draw_bound(std::uint32_t d) {
  int l = 0;
  while ((std::uint64_t{1} << l) < d) ++l;
  const int shift = 31 + l;
  return {d, ((std::uint64_t{1} << shift) + d - 1) / d, shift};
}

namespace random_detail {

RandomEngine engine;
DrawBound divisor;

}  // namespace random_detail
