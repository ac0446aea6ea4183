// Ruin and recreate's step against the whole Route: what the ruin takes
// out, where the recreate puts each customer back, and that a step kept or
// undone leaves the trips as the Route they describe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/random.h"
#include "model/route.h"
#include "search/ruin_recreate.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

Instance instance_of(const RandomInstance& random, int capacity) {
  Instance instance;
  instance.matrix = random.matrix;
  instance.demand = random.demand;
  instance.customer_count = random.matrix.rows - 1;
  instance.vehicle_capacity = capacity;
  return instance;
}

// A Route of the customers in order, `per_trip` to a truck, with `spare` empty trucks.
Route route_of(int customers, int per_trip, int spare) {
  Route route{0};
  for (int c = 1; c <= customers; ++c) {
    route.push_back(c);
    if (c % per_trip == 0 || c == customers) route.push_back(0);
  }
  route.insert(route.end(), static_cast<std::size_t>(spare), 0);
  return route;
}

// The overload of the trips as their nodes stand.
int capacity_excess_of(const Trips& trips) {
  int excess = 0;
  for (const std::vector<int>& nodes : trips.nodes) {
    int load = 0;
    for (const int node : nodes) load += trips.instance->demand[static_cast<std::size_t>(node)];
    excess += std::max(0, load - trips.instance->vehicle_capacity);
  }
  return excess;
}

// Each customer once, and the trips' figures those of the Route they write.
void expect_whole(const Trips& trips, const Instance& instance, std::size_t length) {
  Route route(length);
  route_from_trips(trips, route);
  Route sorted = route;
  std::sort(sorted.begin(), sorted.end());
  const auto zeros = static_cast<std::size_t>(std::count(sorted.begin(), sorted.end(), 0));
  ASSERT_EQ(zeros + static_cast<std::size_t>(instance.customer_count), length);
  for (int c = 1; c <= instance.customer_count; ++c) ASSERT_EQ(sorted[zeros + static_cast<std::size_t>(c) - 1], c);
  for (int c = 1; c <= instance.customer_count; ++c)
    ASSERT_EQ(trips.nodes[static_cast<std::size_t>(trips.trip_of[static_cast<std::size_t>(c)])]
                         [static_cast<std::size_t>(trips.position_of[static_cast<std::size_t>(c)])],
              c);
  const int size = static_cast<int>(length);
  EXPECT_EQ(trips.excess, capacity_excess(size, instance.vehicle_capacity, route, instance.demand));
  EXPECT_NEAR(trips.distance, trips_distance(trips), 1e-6 * trips.distance);
}

TEST(RuinRecreate, StepsTakeStringsAndPutEveryCustomerBackOnce) {
  for (const bool asymmetric : {false, true}) {
    SCOPED_TRACE(asymmetric ? "asymmetric" : "symmetric");
    const Instance instance = instance_of(random_instance(60, 3, 40, asymmetric), 100);
    const Route start = route_of(60, 6, 2);
    Trips trips;
    trips_from_route(trips, instance, start);
    RuinRecreate step;
    ruin_prepare(step, trips, 8, 4, 0.01, 10);
    seed_random(7);
    for (int k = 0; k < 500; ++k) {
      const std::vector<std::vector<int>> before = trips.nodes;
      ruin(step, trips);
      // At most 4 x 8 / (1 + 4) trips lose a string each, of 1 to 4 customers.
      ASSERT_GE(step.touched.size(), 1u);
      ASSERT_LE(step.touched.size(), 6u);
      for (const int t : step.touched) {
        const std::size_t taken = before[static_cast<std::size_t>(t)].size() - trips.nodes[static_cast<std::size_t>(t)].size();
        ASSERT_GE(taken, 1u);
        ASSERT_LE(taken, 4u);
      }
      for (const int c : step.removed) ASSERT_EQ(trips.trip_of[static_cast<std::size_t>(c)], -1);
      recreate(step, trips);
      const PlanEffect effect = step_effect(step, trips);
      if (k % 2 == 0) {
        undo_step(step, trips);
        ASSERT_EQ(trips.nodes, before);
        expect_whole(trips, instance, start.size());
      } else {
        keep_step(step, trips, effect);
        expect_whole(trips, instance, start.size());
      }
    }
  }
}

// With one customer taken out and every customer a place next to it, the
// customer goes to the cheapest place with room, with blink 0; with blink 1
// it passes over every place and takes an empty truck, or, with none left,
// the place that overloads least.
TEST(RuinRecreate, PutsBackAtTheCheapestPlaceWithRoomOrFallsBack) {
  const Instance instance = instance_of(random_instance(30, 11, 30, false), 90);
  for (const int spare : {0, 1}) {
    for (const double blink : {0.0, 1.0}) {
      SCOPED_TRACE("spare " + std::to_string(spare) + ", blink " + std::to_string(blink));
      Trips trips;
      trips_from_route(trips, instance, route_of(30, 5, spare));
      RuinRecreate step;
      ruin_prepare(step, trips, 1, 1, blink, 29);
      seed_random(1);
      for (int k = 0; k < 200; ++k) {
        ruin(step, trips);
        ASSERT_EQ(step.removed.size(), 1u);
        const int c = step.removed[0];
        const int demand = instance.demand[static_cast<std::size_t>(c)];
        // The places as the customer finds them, worked out whole.
        double cheapest = std::numeric_limits<double>::infinity();
        int least_overload = std::numeric_limits<int>::max();
        bool empty = false;
        for (std::size_t t = 0; t < trips.nodes.size(); ++t) {
          const std::vector<int>& nodes = trips.nodes[t];
          int load = 0;
          for (const int node : nodes) load += instance.demand[static_cast<std::size_t>(node)];
          empty = empty || nodes.size() == 2;
          const auto over = [&](int l) { return std::max(0, l - 90); };
          least_overload = std::min(least_overload, over(load + demand) - over(load));
          if (nodes.size() == 2 || load + demand > 90) continue;
          for (std::size_t p = 0; p + 1 < nodes.size(); ++p)
            cheapest = std::min(cheapest, static_cast<double>(instance.matrix.at(nodes[p], c)) +
                                              static_cast<double>(instance.matrix.at(c, nodes[p + 1])) -
                                              static_cast<double>(instance.matrix.at(nodes[p], nodes[p + 1])));
        }
        const double before = trips_distance(trips);
        const int excess_before = capacity_excess_of(trips);
        recreate(step, trips);
        const std::vector<int>& home = trips.nodes[static_cast<std::size_t>(trips.trip_of[static_cast<std::size_t>(c)])];
        const double added = trips_distance(trips) - before;
        if (blink == 0.0 && cheapest < std::numeric_limits<double>::infinity()) {
          EXPECT_NEAR(added, cheapest, 1e-3);
          EXPECT_EQ(capacity_excess_of(trips), excess_before);
        } else if (empty) {
          EXPECT_EQ(home.size(), 3u);
        } else {
          EXPECT_EQ(capacity_excess_of(trips) - excess_before, least_overload);
        }
        keep_step(step, trips, step_effect(step, trips));
      }
    }
  }
}

}  // namespace
