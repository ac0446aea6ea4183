#include "model/neighbours.h"

#include <gtest/gtest.h>

#include <random>
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

TEST(NeighbourLists, FromPointsTheSameListsAsSortingEveryOther) {
  std::mt19937 draw(7);
  // n + 1 points, x and y from `coordinate`.
  const auto points = [&](int n, auto coordinate) {
    std::vector<NodePoint> p(static_cast<std::size_t>(n) + 1);
    for (NodePoint& point : p) point = {coordinate(), coordinate()};
    return p;
  };
  const auto small_grid = [&] { return static_cast<double>(draw() % 10); };  // ties and shared points
  const auto fine = [&] { return (draw() % 1000000) / 997.0; };
  const auto tenths = [&] { return (draw() % 91) / 10.0; };  // nearness equal to a ring's bound
  const auto one_spot = [] { return 3.5; };
  const auto huge = [&] { return (draw() % 3 == 0 ? -1e308 : 1e308) * ((draw() % 4 + 1) / 4.0); };  // no finite span
  struct Case {
    const char* name;
    std::vector<NodePoint> points;
    std::vector<int> ks;
  };
  const std::vector<Case> cases = {
      {"small grid", points(150, small_grid), {1, 7, 149, 200}}, {"fine", points(400, fine), {1, 20, 399}},
      {"tenths", points(162, tenths), {1, 4, 12}},              {"one spot", points(30, one_spot), {1, 29}},
      {"huge", points(25, huge), {1, 6, 24}},
  };
  // The lists from the points against those of sorting every other by the
  // same distances held as a matrix.
  for (const Case& c : cases)
    for (const bool round : {false, true}) {
      Instance instance;
      instance.customer_count = static_cast<int>(c.points.size()) - 1;
      instance.points = c.points;
      instance.true_distances = round ? TrueDistance::rounded_euclidean : TrueDistance::euclidean;
      const Instance matrix = instance_of(instance.customer_count, [&](int i, int j) {
        return static_cast<float>(euclidean_distance(c.points[static_cast<std::size_t>(i)],
                                                     c.points[static_cast<std::size_t>(j)], round));
      });
      for (const int k : c.ks)
        ASSERT_EQ(nearest_neighbours(instance, k).customers, nearest_neighbours(matrix, k).customers)
            << c.name << (round ? " rounded" : "") << " K " << k;
    }
}

}  // namespace
