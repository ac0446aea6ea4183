// The cached swap evaluation against the whole-Route functions, on random
// Routes and every pair of positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>

#include "model/route.h"
#include "model/route_cache.h"
#include "model/swap_evaluation.h"
#include "support/test_support.h"

namespace {

using testing_support::random_instance;

// A random Route of n customers and `zeros` interior zeros.
Route random_route(int n, int zeros, std::mt19937& engine) {
  Route route(static_cast<std::size_t>(n + zeros + 2), 0);
  for (int c = 1; c <= n; ++c) route[static_cast<std::size_t>(c)] = c;
  std::shuffle(route.begin() + 1, route.end() - 1, engine);
  return route;
}

struct Case {
  int n;
  int zeros;
  int max_demand;
  bool asymmetric;
  bool rounded = false;  // whole-number distances: every sum exact
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.n << " customers, " << c.zeros << " zeros, demands up to " << c.max_demand
       << (c.rounded ? ", rounded" : "");
}

// A stable test name: "n50_zeros4_demand40_symmetric".
std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  const Case& c = info.param;
  char name[64];
  std::snprintf(name, sizeof name, "n%d_zeros%d_demand%d_%s%s", c.n, c.zeros, c.max_demand,
                c.asymmetric ? "asymmetric" : "symmetric", c.rounded ? "_rounded" : "");
  return name;
}

class SwapEvaluation : public ::testing::TestWithParam<Case> {};

TEST_P(SwapEvaluation, MatchesWholeRouteOnEveryPair) {
  const Case c = GetParam();
  std::mt19937 engine(static_cast<unsigned>(c.n * 31 + c.zeros));
  auto instance = random_instance(c.n, engine(), c.max_demand, c.asymmetric);
  if (c.rounded)
    for (float& cell : instance.matrix.cells) cell = std::round(cell);
  const int capacity = 160;
  for (int trial = 0; trial < 20; ++trial) {
    Route route = random_route(c.n, c.zeros, engine);
    const int length = static_cast<int>(route.size());
    RouteCache cache;
    ASSERT_TRUE(cache_prepare(cache, instance.matrix, instance.demand, length, capacity, route));
    ASSERT_EQ(cache.distance, route_distance(length, instance.matrix, route));
    ASSERT_EQ(cache.excess, capacity_excess(length, capacity, route, instance.demand));
    // With exact sums the bound is 0: the approximate distances are checked to be exact.
    ASSERT_EQ(cache.exact_sums, c.rounded);
    // Each piece against the whole-Route evaluation of the swapped Route.
    const auto check_every_pair = [&] {
      for (int i = 1; i < length - 2; ++i)
        for (int j = i + 1; j < length - 1; ++j) {
          if (route[static_cast<std::size_t>(i)] == route[static_cast<std::size_t>(j)]) continue;
          const int excess = swapped_excess(cache, route, i, j);
          const int floor = swapped_excess_floor(cache, route, i, j);
          const double approximate = approximate_swapped_distance(cache, route, i, j);
          const float exact = swapped_distance(cache, route, i, j);
          swap_positions(i, j, route);
          const float whole = route_distance(length, instance.matrix, route);
          ASSERT_EQ(std::bit_cast<std::uint32_t>(exact), std::bit_cast<std::uint32_t>(whole))
              << "pair " << i << "," << j;
          ASSERT_EQ(excess, capacity_excess(length, capacity, route, instance.demand))
              << "pair " << i << "," << j;
          ASSERT_LE(floor, excess) << "pair " << i << "," << j;
          ASSERT_LE(std::fabs(static_cast<double>(exact) - approximate), cache.error_bound);
          swap_positions(i, j, route);
        }
    };
    ASSERT_NO_FATAL_FAILURE(check_every_pair());
    // Make a few swaps through the cache and check it follows the Route.
    for (int move = 0; move < 300; ++move) {
      int i = 1 + static_cast<int>(engine() % static_cast<unsigned>(length - 2));
      int j = 1 + static_cast<int>(engine() % static_cast<unsigned>(length - 2));
      if (route[static_cast<std::size_t>(i)] == route[static_cast<std::size_t>(j)]) continue;
      if (i > j) std::swap(i, j);
      const double approximate = approximate_swapped_distance(cache, route, i, j);
      swap_positions(i, j, route);
      cache_commit_swap(cache, route, i, j, approximate);
      ASSERT_EQ(cache.distance, route_distance(length, instance.matrix, route));
      ASSERT_EQ(cache.excess, capacity_excess(length, capacity, route, instance.demand));
      // The double sum of the edges follows the swaps within its tracked error.
      long double edges = 0.0L;
      for (int k = 1; k < length; ++k)
        edges += static_cast<long double>(instance.matrix.at(route[static_cast<std::size_t>(k - 1)],
                                                             route[static_cast<std::size_t>(k)]));
      ASSERT_LE(std::fabs(static_cast<long double>(cache.real) - edges), static_cast<long double>(cache.real_error));
    }
    // Every pair is still evaluated exactly after those swaps.
    ASSERT_NO_FATAL_FAILURE(check_every_pair());
  }
}

INSTANTIATE_TEST_SUITE_P(
    RandomRoutes, SwapEvaluation,
    ::testing::Values(Case{50, 4, 40, false}, Case{50, 4, 40, true}, Case{12, 5, 90, false},
                      Case{8, 0, 30, true}, Case{20, 9, 160, false}, Case{3, 2, 200, true},
                      Case{50, 4, 60, false, true}, Case{30, 12, 90, true, true}),
    case_name);

// Sums are exact when every cell is a multiple of one power of two q and L-1
// times the largest cell is at most 2^24 q: whole numbers, multiples of 1/8,
// negative ones, and a matrix of zeros; not with a cell of 0.1 (its lowest
// bit is 2^-27, and 2^24 times that is far below the sums), nor whole
// numbers whose sums may pass 2^24.
TEST(ExactSums, FoundFromTheCellsAlone) {
  const Route route{0, 1, 2, 0, 3, 0};  // L = 6: five edges
  const auto exact = [&route](const std::vector<float>& cells) {
    const DistanceMatrix matrix = testing_support::make_matrix(3, cells);
    const DemandVector demand{0, 1, 1, 1};
    RouteCache cache;
    EXPECT_TRUE(cache_prepare(cache, matrix, demand, 6, 10, route));
    if (cache.exact_sums) {
      EXPECT_EQ(cache.error_bound, 0.0);
    }
    return cache.exact_sums;
  };
  const auto grid = [](float first, float rest) {
    std::vector<float> cells(16, rest);
    cells[1] = first;
    return cells;
  };
  EXPECT_TRUE(exact(grid(7.0f, 3.0f)));
  EXPECT_TRUE(exact(grid(0.125f, 2.5f)));
  EXPECT_TRUE(exact(grid(-9.0f, 4.0f)));
  EXPECT_TRUE(exact(grid(0.0f, 0.0f)));
  EXPECT_FALSE(exact(grid(0.1f, 3.0f)));
  // 5 x 3355443 = 16777215 < 2^24; 5 x 3355444 > 2^24.
  EXPECT_TRUE(exact(grid(3355443.0f, 1.0f)));
  EXPECT_FALSE(exact(grid(3355444.0f, 1.0f)));
  // Multiples of 2: twice the reach.
  EXPECT_TRUE(exact(grid(6710886.0f, 2.0f)));
  EXPECT_FALSE(exact(grid(6710886.0f, 1.0f)));
}

}  // namespace
