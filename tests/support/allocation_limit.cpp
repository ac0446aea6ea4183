// Replaces the global operator new and delete of the test binary (in a file
// of their own, where no caller can see the bodies).
#include "support/allocation_limit.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace {
std::size_t allocation_limit = std::numeric_limits<std::size_t>::max();
}  // namespace

void testing_support::set_allocation_limit(std::size_t bytes) { allocation_limit = bytes; }

void* operator new(std::size_t size) {
  if (size >= allocation_limit) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
