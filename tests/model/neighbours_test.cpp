#include "model/neighbours.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Customers 1..n with the distance from i to j given by `cell` (the depot,
// node 0, far from every customer).
template <class Cell>
Instance instance_of(int n, Cell cell) {
  Instance instance;
  instance.customer_count = n;
  instance.matrix.rows = instance.matrix.cols = n + 1;
  instance.matrix.cells.assign(static_cast<std::size_t>(n + 1) * (n + 1), 1000.0f);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) instance.matrix.at(i, j) = i == j ? 0.0f : cell(i, j);
  return instance;
}

std::vector<int> list_of(const NeighbourLists& lists, int customer) {
  const auto of = lists.of(customer);
  return {of.begin(), of.end()};
}

TEST(NeighbourLists, NearestFirstEitherWayAndTiesToTheLowerNumber) {
  // Five customers on a line at 0, 1, 3, 6, 10.
  const float at[] = {0, 0, 1, 3, 6, 10};
  const Instance line = instance_of(5, [&](int i, int j) { return at[i] > at[j] ? at[i] - at[j] : at[j] - at[i]; });
  const NeighbourLists two = nearest_neighbours(line, 2);
  EXPECT_EQ(list_of(two, 1), (std::vector<int>{2, 3}));
  EXPECT_EQ(list_of(two, 3), (std::vector<int>{2, 1}));  // 2 at 2, then 1 and 4 at 3: the lower
  EXPECT_EQ(list_of(two, 5), (std::vector<int>{4, 3}));
  EXPECT_EQ(nearest_neighbours(line, 99).per_customer, 4);  // at most every other customer
  EXPECT_TRUE(nearest_neighbours(line, 0).customers.empty());

  // One-way streets: from 1 to 3 is 9, back 2; 1 to 2 is 5 both ways.
  const Instance oneway = instance_of(3, [](int i, int j) {
    if ((i == 1 && j == 3)) return 9.0f;
    if ((i == 3 && j == 1)) return 2.0f;
    return i + j == 3 ? 5.0f : 7.0f;
  });
  EXPECT_EQ(list_of(nearest_neighbours(oneway, 2), 1), (std::vector<int>{3, 2}));
}

}  // namespace
