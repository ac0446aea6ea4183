// The field's moves against the whole Route: for every kind and variant, on
// instances whose sums are exact (whole-number cells), unrounded and
// asymmetric, each planned move is made on the trips and its figures are
// checked against route_distance and capacity_excess of the Route written
// from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "model/instance.h"
#include "model/neighbours.h"
#include "model/route.h"
#include "model/trips.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

struct Case {
  const char* name;
  bool asymmetric;
  bool rounded;
};

Instance instance_of(const RandomInstance& random) {
  Instance instance;
  instance.matrix = random.matrix;
  instance.demand = random.demand;
  instance.customer_count = random.matrix.rows - 1;
  instance.vehicle_capacity = 160;
  return instance;
}

TEST(Trips, EachKindMatchesTheWholeRoute) {
  const Case cases[] = {{"rounded", false, true}, {"unrounded", false, false}, {"asymmetric", true, false},
                        {"asymmetric rounded", true, true}};
  constexpr MoveKind kinds[] = {MoveKind::relocate, MoveKind::swap, MoveKind::two_opt, MoveKind::two_opt_star,
                                MoveKind::or_opt};
  for (const Case& c : cases) {
    RandomInstance random = random_instance(40, 7, 60, c.asymmetric);
    if (c.rounded)
      for (float& cell : random.matrix.cells) cell = std::round(cell);
    const Instance instance = instance_of(random);
    const NeighbourLists neighbours = nearest_neighbours(instance, 8);
    // 40 customers in 12 trucks: overloaded trips, short ones and empty ones.
    std::mt19937 engine(5);
    Route route(40 + 12 + 1, 0);
    for (int customer = 1; customer <= 40; ++customer) route[static_cast<std::size_t>(customer)] = customer;
    std::shuffle(route.begin() + 1, route.end() - 1, engine);
    Trips trips;
    trips_from_route(trips, instance, route);
    int made[5] = {};
    for (int step = 0; step < 4000; ++step) {
      const MoveKind kind = kinds[step % 5];
      const int u = static_cast<int>(engine() % 40) + 1;
      const auto pick = static_cast<std::size_t>(engine() % 9);
      const MoveValue move{kind, u, pick < 8 ? neighbours.of(u)[pick] : 0,
                           static_cast<int>(engine() % static_cast<unsigned>(move_variants(kind)))};
      const MovePlan plan = plan_move(trips, move);
      if (plan.trips == 0) continue;
      SCOPED_TRACE(std::string(c.name) + " " + move_kind_name(kind) + " variant " + std::to_string(move.variant));
      const PlanEffect effect = plan_effect(trips, plan);
      const float planned = planned_route_distance(trips, plan);
      const double before = trips.distance;
      apply_plan(trips, plan, effect);
      route_from_trips(trips, route);
      // Every customer still once, with the Route's zeros where they were counted.
      Route sorted = route;
      std::sort(sorted.begin(), sorted.end());
      ASSERT_EQ(std::count(sorted.begin(), sorted.end(), 0), 13);
      for (int customer = 1; customer <= 40; ++customer) ASSERT_EQ(sorted[static_cast<std::size_t>(customer + 12)], customer);
      const int length = static_cast<int>(route.size());
      const float whole = route_distance(length, instance.matrix, route);
      ASSERT_EQ(effect.excess, capacity_excess(length, 160, route, instance.demand));
      ASSERT_EQ(std::bit_cast<std::uint32_t>(planned), std::bit_cast<std::uint32_t>(whole));
      if (c.rounded)  // every sum exact: the double change is the float one
        ASSERT_EQ(static_cast<double>(whole), before + effect.distance_change);
      else
        ASSERT_NEAR(before + effect.distance_change, trips_distance(trips), 1e-9 * trips_distance(trips));
      const bool some_empty = std::any_of(trips.nodes.begin(), trips.nodes.end(), [](const auto& n) { return n.size() == 2; });
      ASSERT_EQ(trips.empty_trip >= 0, some_empty);
      if (some_empty) {
        ASSERT_EQ(trips.nodes[static_cast<std::size_t>(trips.empty_trip)].size(), 2u);
      }
      ++made[step % 5];
    }
    for (const int count : made) EXPECT_GT(count, 50) << c.name;
  }
}

// Hand-worked plans on a line: customers 1..4 at x = 1..4, the depot at 0.
TEST(Trips, PlansJoinTheTripsAsTheirKindSays) {
  std::vector<float> cells;
  for (int from = 0; from <= 4; ++from)
    for (int to = 0; to <= 4; ++to) cells.push_back(static_cast<float>(std::abs(from - to)));
  Instance instance;
  instance.matrix = make_matrix(4, cells);
  instance.demand = {0, 10, 10, 10, 10};
  instance.customer_count = 4;
  instance.vehicle_capacity = 20;
  struct Row {
    Route before;
    MoveValue move;
    Route after;  // empty: not possible
  };
  const Row rows[] = {
      {{0, 1, 3, 0, 2, 4, 0}, {MoveKind::relocate, 2, 1, 0}, {0, 1, 2, 3, 0, 4, 0}},
      {{0, 1, 3, 0, 2, 4, 0}, {MoveKind::relocate, 2, 1, 1}, {0, 2, 1, 3, 0, 4, 0}},
      {{0, 1, 2, 0, 0, 3, 4, 0}, {MoveKind::relocate, 4, 0, 0}, {0, 1, 2, 0, 4, 0, 3, 0}},
      {{0, 1, 3, 0, 2, 4, 0}, {MoveKind::swap, 3, 2, 0}, {0, 1, 2, 0, 3, 4, 0}},
      {{0, 1, 3, 2, 4, 0}, {MoveKind::two_opt, 1, 2, 0}, {0, 1, 2, 3, 4, 0}},
      {{0, 1, 3, 2, 4, 0}, {MoveKind::two_opt, 3, 4, 1}, {0, 1, 2, 3, 4, 0}},
      {{0, 1, 4, 0, 2, 3, 0}, {MoveKind::two_opt_star, 1, 2, 0}, {0, 1, 2, 3, 0, 4, 0}},
      {{0, 1, 4, 0, 3, 2, 0}, {MoveKind::two_opt_star, 1, 2, 1}, {0, 1, 2, 3, 0, 4, 0}},
      {{0, 3, 4, 0, 1, 2, 0}, {MoveKind::or_opt, 3, 2, 0}, {0, 0, 1, 2, 3, 4, 0}},
      {{0, 4, 3, 0, 1, 2, 0}, {MoveKind::or_opt, 4, 2, 4}, {0, 0, 1, 2, 3, 4, 0}},
      {{0, 1, 2, 0, 3, 4, 0}, {MoveKind::or_opt, 1, 2, 0}, {}},  // 2 inside the string
      {{0, 1, 2, 0, 3, 4, 0}, {MoveKind::two_opt, 1, 3, 0}, {}},  // two trips
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(move_kind_name(row.move.kind)) + " " + std::to_string(row.move.first) + " " +
                 std::to_string(row.move.second) + " variant " + std::to_string(row.move.variant));
    Trips trips;
    trips_from_route(trips, instance, row.before);
    const MovePlan plan = plan_move(trips, row.move);
    ASSERT_EQ(plan.trips == 0, row.after.empty());
    if (plan.trips == 0) continue;
    apply_plan(trips, plan, plan_effect(trips, plan));
    Route route(row.before.size());
    route_from_trips(trips, route);
    EXPECT_EQ(route, row.after);
  }
}

}  // namespace
