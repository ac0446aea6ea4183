// The test binary's operator new: it can be made to fail, so that the tests
// see how the program meets memory that cannot be had.
#pragma once

#include <cstddef>

namespace testing_support {

// From now on every operator new request of `bytes` or more throws
// std::bad_alloc. A test that sets it sets it back before anything else
// (the test framework itself) allocates.
void set_allocation_limit(std::size_t bytes);

}  // namespace testing_support
