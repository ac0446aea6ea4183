#include "model/random.h"

namespace random_detail {

RandomEngine engine;
Divisor divisor;

void set_divisor(std::uint32_t d) {
  int l = 0;
  while ((std::uint64_t{1} << l) < d) ++l;
  const int shift = 31 + l;
  divisor.d = d;
  divisor.shift = shift;
  divisor.m = ((std::uint64_t{1} << shift) + d - 1) / d;
}

}  // namespace random_detail
