#include "model/route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "model/random.h"
#include "support/test_support.h"

namespace {

using testing_support::make_matrix;

int length(const Route& route) { return static_cast<int>(route.size()); }

// Three customers, asymmetric, with a non-zero depot diagonal so that an
// empty trip shows up in the distance:
//        to 0    1    2    3
// from 0   0.5   1    2    4
// from 1  10     0    3    5
// from 2  20    30    0    6
// from 3  40    50   60    0
DistanceMatrix tiny_matrix() {
  return make_matrix(3, {0.5f, 1, 2, 4, 10, 0, 3, 5, 20, 30, 0, 6, 40, 50, 60, 0});
}
// The depot's 999 must never be loaded on a truck.
const DemandVector kTinyDemand = {999, 60, 30, 30};

TEST(RouteEvaluation, DistanceFollowsTheRouteInOrder) {
  const DistanceMatrix matrix = tiny_matrix();
  const Route forward = {0, 1, 2, 3, 0};          // 1 + 3 + 6 + 40 = 50
  const Route backward = {0, 3, 2, 1, 0};         // 4 + 60 + 30 + 10 = 104
  const Route empty_trip = {0, 1, 0, 0, 2, 3, 0}; // 1 + 10 + 0.5 + 2 + 6 + 40 = 59.5
  const Route leading_zero = {0, 0, 1, 2, 3, 0};  // 0.5 + 1 + 3 + 6 + 40 = 50.5
  EXPECT_EQ(route_distance(length(forward), matrix, forward), 50.0f);
  EXPECT_EQ(route_distance(length(backward), matrix, backward), 104.0f);
  EXPECT_EQ(route_distance(length(empty_trip), matrix, empty_trip), 59.5f);
  EXPECT_EQ(route_distance(length(leading_zero), matrix, leading_zero), 50.5f);
  // Only the first route_length entries count: {0, 1, 2} is 1 + 3.
  EXPECT_EQ(route_distance(3, matrix, forward), 4.0f);
}

TEST(RouteEvaluation, DistanceRoundsToFloatAfterEachAddition) {
  // Floats near 1e8 are 8 apart. From the start: 1e8 + 4 is a tie that rounds
  // to the even 1e8, and so does the next + 4, giving exactly 1e8. Summing
  // from the other end (4 + 4 + 1e8) or in double would give 100000008.
  const DistanceMatrix matrix = make_matrix(2, {0, 1e8f, 0, 0, 0, 4, 4, 0, 0});
  const Route route = {0, 1, 2, 0};
  EXPECT_EQ(route_distance(4, matrix, route), 1e8f);
}

TEST(RouteEvaluation, CapacityExcessPerTrip) {
  const Route two_trips = {0, 1, 0, 2, 3, 0};  // loads 60 and 30 + 30 = 60
  // Capacity 50: 10 + 10 over.
  EXPECT_EQ(capacity_excess(length(two_trips), 50, two_trips, kTinyDemand), 20);
  // Capacity 60: both exactly full, nothing over; 59: 1 + 1.
  EXPECT_EQ(capacity_excess(length(two_trips), 60, two_trips, kTinyDemand), 0);
  EXPECT_EQ(capacity_excess(length(two_trips), 59, two_trips, kTinyDemand), 2);
  // One trip closed only by the last entry: 120 - 50.
  const Route one_trip = {0, 1, 2, 3, 0};
  EXPECT_EQ(capacity_excess(length(one_trip), 50, one_trip, kTinyDemand), 70);
  // The empty trip adds nothing: 10 + 0 + 10.
  const Route empty_trip = {0, 1, 0, 0, 2, 3, 0};
  EXPECT_EQ(capacity_excess(length(empty_trip), 50, empty_trip, kTinyDemand), 20);

  // The objective of the two trips at capacity 50: distance
  // 1 + 10 + 2 + 6 + 40 = 59, plus 1000 * 20.
  const float distance = route_distance(length(two_trips), tiny_matrix(), two_trips);
  EXPECT_EQ(distance, 59.0f);
  EXPECT_EQ(objective_value(1000 * 20, distance), 20059.0f);
  EXPECT_EQ(objective_value(0, distance), 59.0f);
}

TEST(RouteEvaluation, ObjectiveTermsAreAddedInDoubleAndRoundedOnce) {
  // 2^24 + 1 - 1 in double is 2^24. In float, 2^24 + 1 would round to 2^24
  // and the - 1 would then give 16777215.
  EXPECT_EQ(objective_change(16777216, 1.0f, 1.0f), 16777216.0f);
  // 20000 + 59.5 - 20050 = 9.5
  EXPECT_EQ(objective_change(20000, 59.5f, 20050.0f), 9.5f);
}

TEST(RouteEvaluation, TrucksUsedCountsNonEmptyTrips) {
  const std::vector<std::pair<Route, int>> cases = {
      {{0, 1, 2, 3, 0}, 1},
      {{0, 1, 0, 0, 2, 3, 0}, 2},  // adjacent zeros: one empty trip
      {{0, 0, 1, 2, 3, 0}, 1},     // zero at position 1
      {{0, 1, 2, 3, 0, 0}, 1},     // zero at position L-2
      {{0, 1, 0, 2, 0, 3, 0}, 3},
      {{0, 0, 0}, 0},
  };
  for (const auto& [route, trucks] : cases)
    EXPECT_EQ(trucks_used(length(route), route), trucks) << ::testing::PrintToString(route);
  // Position L-1 never starts a trip, whatever it holds: of {0, 1, 0, 2} with
  // L = 4 only the trip at position 1 counts.
  const Route odd_end = {0, 1, 0, 2};
  EXPECT_EQ(trucks_used(4, odd_end), 1);
}

TEST(RouteEvaluation, MinTrucksRoundsUpAndSkipsTheDepot) {
  // Customers 60 + 30 + 30 = 120; the depot's 999 is left out.
  EXPECT_EQ(min_trucks(kTinyDemand, 4, 120), 1);  // exact multiple
  EXPECT_EQ(min_trucks(kTinyDemand, 4, 60), 2);
  EXPECT_EQ(min_trucks(kTinyDemand, 4, 119), 2);  // one unit more than capacity
  EXPECT_EQ(min_trucks(kTinyDemand, 4, 200), 1);
  EXPECT_EQ(min_trucks(kTinyDemand, 3, 90), 1);   // count 3: 60 + 30 only
  EXPECT_EQ(min_trucks(kTinyDemand, 3, 89), 2);
  EXPECT_EQ(min_trucks(DemandVector{5, 0, 0}, 3, 160), 0);
  // Three demands of 2 x 10^9 total 6 x 10^9, beyond an int: 3 trucks of
  // 2 x 10^9; with trucks of 1, more than an int holds, given as 2^31 - 1.
  const DemandVector heavy{0, 2'000'000'000, 2'000'000'000, 2'000'000'000};
  EXPECT_EQ(min_trucks(heavy, 4, 2'000'000'000), 3);
  EXPECT_EQ(min_trucks(heavy, 4, 1'999'999'999), 4);
  EXPECT_EQ(min_trucks(heavy, 4, 1), 2147483647);
}

TEST(RouteMoves, SwapAndCopy) {
  Route route = {0, 1, 2, 3, 0};
  swap_positions(1, 3, route);
  EXPECT_EQ(route, (Route{0, 3, 2, 1, 0}));

  const Route source = {9, 1, 2, 3, 9};
  Route destination = {7, 0, 0, 0, 7};
  copy_route(5, source, destination);
  EXPECT_EQ(destination, (Route{7, 1, 2, 3, 7}));  // the ends keep their 7
  EXPECT_EQ(source, (Route{9, 1, 2, 3, 9}));
}

// Builds the initial Route for n customers and m trucks after seeding.
struct Built {
  Route current;
  Route best;
};
Built build(int customers, int trucks, unsigned seed) {
  const int route_length = customers + trucks + 1;
  Built built{Route(static_cast<std::size_t>(route_length), 0),
              Route(static_cast<std::size_t>(route_length), 0)};
  seed_random(seed);
  build_initial_route(DemandVector(static_cast<std::size_t>(customers) + 1, 1), route_length,
                      built.current, customers, built.best);
  return built;
}

TEST(InitialRoute, HoldsEveryCustomerOnceAndTheTruckSeparators) {
  const std::vector<std::pair<int, int>> sizes = {{1, 1}, {5, 1}, {3, 3}, {10, 3}, {50, 1}, {50, 4}};
  for (const auto& [customers, trucks] : sizes)
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(::testing::Message() << customers << " customers, " << trucks
                                        << " trucks, seed " << seed);
      const Built built = build(customers, trucks, seed);
      const Route& route = built.current;
      ASSERT_EQ(length(route), customers + trucks + 1);
      EXPECT_EQ(route.front(), 0);
      EXPECT_EQ(route.back(), 0);
      EXPECT_EQ(std::count(route.begin() + 1, route.end() - 1, 0), trucks - 1);
      for (int customer = 1; customer <= customers; ++customer)
        EXPECT_EQ(std::count(route.begin(), route.end(), customer), 1) << "customer " << customer;
      EXPECT_EQ(built.best, built.current);
      const int used = trucks_used(length(route), route);
      EXPECT_GE(used, 1);
      EXPECT_LE(used, trucks);
      if (trucks == 1) {
        EXPECT_EQ(used, 1);
      }
      EXPECT_EQ(build(customers, trucks, seed).current, route);  // same seed, same Route
    }
}

TEST(InitialRoute, TakenPositionIsRedrawn) {
  // Seed 19000: the first std::mt19937 outputs are 609954807, 2656839334,
  // 3930315441, 3013073178, 2410201337; shifted right by one and taken
  // modulo L - 2 = 4 they give 3, 3, 0, 1, 0. With 3 customers and 2 trucks
  // (L = 6): customer 1 goes to 3 + 1 = 4; customer 2 draws 4 again (taken),
  // then 0 + 1 = 1; customer 3 goes to 1 + 1 = 2.
  const Built built = build(3, 2, 19000);
  EXPECT_EQ(built.current, (Route{0, 2, 3, 0, 1, 0}));
  // Four draws were used: the fifth, 1205100668 modulo 55, is 13.
  EXPECT_EQ(random_below(55), 13);
}

}  // namespace
