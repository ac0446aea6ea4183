#include "model/neighbours.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Customers 1..n, the distance from i to j given by `cell`.
template <class Cell>
Instance instance_of(int n, Cell cell) {
  Instance instance;
  instance.customer_count = n;
  instance.matrix.rows = instance.matrix.cols = n + 1;
  instance.matrix.cells.assign(static_cast<std::size_t>(n + 1) * (n + 1), 1000.0f);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) instance.matrix.cell(i, j) = i == j ? 0.0f : cell(i, j);
  return instance;
}

std::vector<int> list(const NeighbourLists& lists, int customer) {
  return {lists.of(customer).begin(), lists.of(customer).end()};
}

TEST(NeighbourLists, NearestFirstEitherWayAndTiesToTheLowerNumber) {
  // On a line at 0, 1, 3, 6, 10: customer 3 has 2 at 2, then 1 and 4 at 3.
  const float at[] = {0, 0, 1, 3, 6, 10};
  const Instance line = instance_of(5, [&](int i, int j) { return at[i] > at[j] ? at[i] - at[j] : at[j] - at[i]; });
  EXPECT_EQ(list(nearest_neighbours(line, 2), 3), (std::vector<int>{2, 1}));
  EXPECT_EQ(list(nearest_neighbours(line, 2), 5), (std::vector<int>{4, 3}));
  EXPECT_EQ(nearest_neighbours(line, 99).per_customer, 4);  // at most every other customer
  // One way from 1 to 3 is 9, the other 2: nearer than 2, at 5 both ways.
  const Instance oneway = instance_of(3, [](int i, int j) { return i + j == 4 ? (i == 1 ? 9.0f : 2.0f) : 5.0f; });
  EXPECT_EQ(list(nearest_neighbours(oneway, 2), 1), (std::vector<int>{3, 2}));
}

}  // namespace
