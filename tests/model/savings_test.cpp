#include "model/savings.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/cvrplib.h"
#include "model/random.h"
#include "search/search_state.h"

namespace {

using Trips = std::vector<std::vector<int>>;

// Customers 1..n, every one 10 from the depot both ways, `cell` between them.
template <class Cell>
Instance hand_made(std::vector<int> demand, int capacity, Cell cell) {
  Instance instance;
  instance.customer_count = static_cast<int>(demand.size()) - 1;
  instance.vehicle_capacity = capacity;
  instance.demand = demand;
  const int nodes = instance.customer_count + 1;
  instance.matrix.rows = instance.matrix.cols = nodes;
  instance.matrix.cells.assign(static_cast<std::size_t>(nodes * nodes), 0.0f);
  for (int i = 0; i < nodes; ++i)
    for (int j = 0; j < nodes; ++j)
      instance.matrix.at(i, j) = i == j ? 0.0f : i == 0 || j == 0 ? 10.0f : cell(i, j);
  return instance;
}

// Symmetric: d(1,2) 2, d(3,4) 4, d(1,4) 5, d(2,3) 12, d(1,3) 15, d(2,4) 18,
// 5 at 19 from all. Savings 20 - d: (1,2) 18, (3,4) 16, (1,4) 15, (2,3) 8,
// (1,3) 5, (2,4) 2, (x,5) 1. Demands 4 3 3 4 1, capacity 14: 1-2 (load 7),
// 3-4 (7), then 1 and 4, both ends, join the two with [1,2] reversed: 2 1 4 3
// (14). 5 fits nowhere. With one truck, the ends 2, 3 and 5 pair at saving 1
// each; (2,5) comes first: 3 4 1 2 5, run from its lower end 3.
Instance symmetric_five() {
  const float d[6][6] = {{}, {0, 0, 2, 15, 5, 19}, {0, 2, 0, 12, 18, 19}, {0, 15, 12, 0, 4, 19},
                         {0, 5, 18, 4, 0, 19}, {0, 19, 19, 19, 19, 0}};
  return hand_made({0, 4, 3, 3, 4, 1}, 14, [&](int i, int j) { return d[i][j]; });
}

// Asymmetric: d(3,1) 1, d(1,2) 2, d(2,3) 3, every other way 9. Savings
// (3,1) 19, (1,2) 18, (2,3) 17 (closing the cycle: refused), the others 11.
Instance asymmetric_three() {
  return hand_made({0, 1, 1, 1}, 10, [](int i, int j) {
    return (i == 3 && j == 1) ? 1.0f : (i == 1 && j == 2) ? 2.0f : (i == 2 && j == 3) ? 3.0f : 9.0f;
  });
}

Instance x_n101() {
  Instance instance;
  EXPECT_EQ(read_cvrplib(CVRP_INSTANCES_DIR "/X/X-n101-k25.vrp", true, instance), std::nullopt);
  return instance;
}

// Every customer once; each trip's load within capacity when `within`.
void expect_sound(const Instance& instance, const Trips& trips, bool within) {
  std::vector<int> seen(static_cast<std::size_t>(instance.customer_count + 1), 0);
  for (const auto& trip : trips) {
    long long load = 0;
    for (const int c : trip) {
      ASSERT_TRUE(c >= 1 && c <= instance.customer_count) << c;
      ++seen[static_cast<std::size_t>(c)];
      load += instance.demand[static_cast<std::size_t>(c)];
    }
    EXPECT_FALSE(trip.empty());
    if (within) {
      EXPECT_LE(load, instance.vehicle_capacity);
    }
  }
  for (int c = 1; c <= instance.customer_count; ++c) EXPECT_EQ(seen[static_cast<std::size_t>(c)], 1) << c;
}

TEST(Savings, HandMadeTripsAndTheFleetLimit) {
  struct Case {
    const char* name;
    Instance instance;
    int k;
    int trucks;
    Trips expected;
  };
  const std::vector<Case> cases = {
      {"symmetric", symmetric_five(), 4, 0, {{2, 1, 4, 3}, {5}}},
      {"symmetric, fleet of 2 (the savings' own)", symmetric_five(), 4, 2, {{2, 1, 4, 3}, {5}}},
      {"symmetric, fleet of 1: past the capacity", symmetric_five(), 4, 1, {{3, 4, 1, 2, 5}}},
      // K = 1: 1's nearest is 2, 2's 1, 3's 4, 4's 3, 5's 1 (a tie to the
      // lower number): (1,4) is not looked at, (1,5) joins 5 to 1-2 (load 8),
      // run from the end 2.
      {"symmetric, K = 1", symmetric_five(), 1, 0, {{2, 1, 5}, {3, 4}}},
      {"asymmetric", asymmetric_three(), 2, 0, {{3, 1, 2}}},
  };
  for (const Case& c : cases) {
    const Trips trips = savings_trips(c.instance, nearest_neighbours(c.instance, c.k), c.trucks);
    EXPECT_EQ(trips, c.expected) << c.name;
    expect_sound(c.instance, trips, c.trucks == 0);
  }
}

TEST(Savings, XN101WithinCapacityAndDownToTheFleet) {
  const Instance instance = x_n101();
  const NeighbourLists lists = nearest_neighbours(instance, 20);
  const Trips free = savings_trips(instance, lists, 0);
  expect_sound(instance, free, true);
  ASSERT_GT(free.size(), 25u);  // the fleet limit below has work to do
  const Trips limited = savings_trips(instance, lists, 25);
  expect_sound(instance, limited, false);
  EXPECT_EQ(limited.size(), 25u);
}

TEST(Savings, StartSearchBuildsTheRouteAndSeedsAsBefore) {
  const Instance instance = symmetric_five();
  struct Case {
    int vehicles;
    std::vector<int> route;
  };
  // The savings make 2 trips: 2 spare trucks with no fleet given.
  const std::vector<Case> cases = {
      {0, {0, 2, 1, 4, 3, 0, 5, 0, 0, 0}},
      {3, {0, 2, 1, 4, 3, 0, 5, 0, 0}},
      {1, {0, 3, 4, 1, 2, 5, 0}},
  };
  for (const Case& c : cases) {
    Settings settings;
    settings.random_seed = 7;
    settings.penalty_weight = 1000;
    settings.vehicles = c.vehicles;
    settings.granularity = 4;
    settings.savings_start = true;
    SearchState state;
    ASSERT_TRUE(start_search(instance, settings, derived_values(settings, instance), state));
    const int draw = random_below(1000000);
    seed_random(7);
    EXPECT_EQ(draw, random_below(1000000)) << c.vehicles;
    EXPECT_EQ(state.current, c.route) << c.vehicles;
    EXPECT_EQ(state.best, c.route) << c.vehicles;
    // By hand: 10+2+5+4+10 + 10+10 = 51; one truck: 10+4+5+2+19+10 = 50, overload 1.
    EXPECT_EQ(state.fo, c.vehicles == 1 ? 1050.0f : 51.0f) << c.vehicles;
    EXPECT_EQ(state.fomin, state.fo);
  }
}

}  // namespace
