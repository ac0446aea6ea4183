#include "model/random.h"

#include <cstdint>

namespace {
std::mt19937 engine;
}  // namespace

std::mt19937& random_engine() { return engine; }

void seed_random(unsigned seed) { engine.seed(seed); }

namespace {
// Non-negative 31-bit value, as the C runtime's generators return.
std::int32_t next_draw() { return static_cast<std::int32_t>(engine() >> 1); }
}  // namespace

int random_below(int bound) {
  if (bound == 0) return 0;
  return static_cast<int>(next_draw() % bound);
}

double random_uniform(double low, double high) {
  if (low == high) return low;
  const std::int32_t step = next_draw() % 10000;
  return low + static_cast<double>(step) * 0.0001 * (high - low);
}
