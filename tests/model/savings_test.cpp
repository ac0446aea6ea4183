#include "model/savings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "model/cvrplib.h"
#include "model/random.h"
#include "search/search_state.h"
#include "support/test_support.h"

namespace {

using Trips = std::vector<std::vector<int>>;

// Customers 1..n, each 10 from the depot both ways, d[i-1][j-1] between them.
Instance hand_made(std::vector<int> demand, int capacity, const std::vector<std::vector<float>>& d) {
  Instance instance;
  instance.customer_count = static_cast<int>(d.size());
  instance.vehicle_capacity = capacity;
  instance.demand = std::move(demand);
  const int nodes = instance.customer_count + 1;
  instance.matrix.rows = instance.matrix.cols = nodes;
  instance.matrix.cells.assign(static_cast<std::size_t>(nodes * nodes), 10.0f);
  instance.matrix.cell(0, 0) = 0.0f;
  for (int i = 1; i < nodes; ++i)
    for (int j = 1; j < nodes; ++j) instance.matrix.cell(i, j) = d[i - 1][j - 1];
  return instance;
}

// Savings 20 - d: (1,2) 18, (3,4) 16, (1,4) 15, (2,3) 8, (1,3) 5, (2,4) 2,
// (x,5) 1. Demands 4 3 3 4 1, capacity 14: 1-2 (load 7), 3-4 (7), then the
// ends 1 and 4 join them, [1,2] reversed: 2 1 4 3 (14); 5 fits nowhere.
// One truck: the ends 2, 3, 5 pair at saving 1 each, (2,5) first: 3 4 1 2 5.
// K = 1 (5's nearest is 1, the tie to the lower number): (1,4) unseen,
// (1,5) joins 5 to 1-2: 2 1 5 and 3 4.
const Instance five = hand_made({0, 4, 3, 3, 4, 1}, 14,
                                {{0, 2, 15, 5, 19}, {2, 0, 12, 18, 19}, {15, 12, 0, 4, 19}, {5, 18, 4, 0, 19},
                                 {19, 19, 19, 19, 0}});
// One way only: 3->1 1, 1->2 2, 2->3 3 (saving 17, closing the cycle:
// refused), all else 9: 3 1 2.
const Instance one_way = hand_made({0, 1, 1, 1}, 10, {{0, 2, 9}, {9, 0, 3}, {1, 9, 0}});

TEST(Savings, TripsEveryCustomerOnceWithinCapacityOrDownToTheFleet) {
  Instance x;
  ASSERT_EQ(read_cvrplib(CVRP_INSTANCES_DIR "/X/X-n101-k25.vrp", true, x), std::nullopt);
  struct Case {
    const Instance& instance;
    int k, trucks;
    Trips expected;     // empty: any
    std::size_t count;  // 0: any, at least the 25 trucks its demand of 5147 needs (206 each)
  };
  const std::vector<Case> cases = {
      {five, 4, 0, {{2, 1, 4, 3}, {5}}, 2},    {five, 4, 2, {{2, 1, 4, 3}, {5}}, 2},
      {five, 4, 1, {{3, 4, 1, 2, 5}}, 1},      {five, 1, 0, {{2, 1, 5}, {3, 4}}, 2},
      {one_way, 2, 0, {{3, 1, 2}}, 1},         {x, 20, 0, {}, 0},
      {x, 20, 25, {}, 25},                     {x, 20, 20, {}, 20},
  };
  for (const Case& c : cases) {
    const Trips trips = savings_trips(c.instance, nearest_neighbours(c.instance, c.k), c.trucks);
    if (!c.expected.empty()) {
      EXPECT_EQ(trips, c.expected);
    }
    EXPECT_TRUE(c.count ? trips.size() == c.count : trips.size() >= 25) << trips.size();
    std::vector<int> seen(static_cast<std::size_t>(c.instance.customer_count + 1), 0);
    for (const auto& trip : trips) {
      int load = 0;
      for (const int customer : trip) {
        load += c.instance.demand.at(static_cast<std::size_t>(customer));
        ++seen.at(static_cast<std::size_t>(customer));
      }
      EXPECT_TRUE(load <= c.instance.vehicle_capacity || c.trucks > 0);
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), c.instance.customer_count);
  }
}

TEST(Savings, StartSearchBuildsTheRouteAndSeedsAsBefore) {
  // Two trips: two spare trucks when no fleet is given. Distances by hand:
  // 10+2+5+4+10 + 10+10 = 51; one truck 10+4+5+2+19+10 = 50, overload 1.
  const std::vector<std::pair<int, std::vector<int>>> cases = {
      {0, {0, 2, 1, 4, 3, 0, 5, 0, 0, 0}}, {3, {0, 2, 1, 4, 3, 0, 5, 0, 0}}, {1, {0, 3, 4, 1, 2, 5, 0}}};
  for (const auto& [vehicles, route] : cases) {
    Settings settings;
    settings.random_seed = 7;
    settings.penalty_weight = 1000;
    settings.vehicles = vehicles;
    settings.granularity = 4;
    settings.savings_start = true;
    SearchState state;
    ASSERT_TRUE(start_search(five, settings, derived_values(settings, five), state));
    const int draw = random_below(1000000);
    seed_random(7);
    EXPECT_EQ(draw, random_below(1000000));
    EXPECT_EQ(state.current, route);
    EXPECT_EQ(state.best, route);
    EXPECT_EQ(state.fo, vehicles == 1 ? 1050.0f : 51.0f);
    EXPECT_EQ(state.fomin, state.fo);
  }
}

// 2400 customers in two far groups (more than one round of joins to one
// trip), demands 1..30 for trucks of 100: the fleet limit by the near ends.
TEST(Savings, AboveTheAllEndsSizeTheFleetLimitStillGivesEveryCustomerOnce) {
  testing_support::ScratchDir scratch;
  Instance drawn;
  drawn.customer_count = 2400;
  ASSERT_GT(drawn.customer_count, kAllEndsCustomers);
  drawn.vehicle_capacity = 100;
  drawn.points.emplace();
  std::mt19937 draw(11);
  for (int i = 0; i <= drawn.customer_count; ++i) {
    drawn.points->push_back({draw() % 101 + (i % 2 ? 900.0 : 0.0), static_cast<double>(draw() % 1001)});
    drawn.demand.push_back(i > 0 ? static_cast<int>(draw() % 30) + 1 : 0);
  }
  testing_support::write_file("many.vrp", cvrplib_text(drawn, "drawn"));
  Instance instance;
  ASSERT_EQ(read_cvrplib("many.vrp", true, instance), std::nullopt);
  const NeighbourLists lists = nearest_neighbours(instance, 20);
  for (const int trucks : {300, 40, 1}) {
    const Trips trips = savings_trips(instance, lists, trucks);
    EXPECT_EQ(trips.size(), static_cast<std::size_t>(trucks));
    std::vector<int> seen(static_cast<std::size_t>(instance.customer_count + 1), 0);
    for (const auto& trip : trips)
      for (const int customer : trip) ++seen.at(static_cast<std::size_t>(customer));
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), instance.customer_count) << trucks;
  }
}

}  // namespace
