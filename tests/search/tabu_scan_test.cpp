// The tabu neighbourhood scan on small hand-made instances and on random
// ones, through the plain whole-Route scan and the cached one.
#include "search/tabu_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "model/route.h"
#include "support/test_support.h"

namespace {

using testing_support::make_matrix;
using testing_support::position_swap;
using Pairs = std::vector<std::pair<int, int>>;

constexpr int kPenalty = 1000;
constexpr int kUntouched = -7;

struct Choice {
  int no1;
  int no2;
  float delta;
};

struct ScanInstance {
  DistanceMatrix matrix;
  DemandVector demand;
  int capacity;
  Route route;
};

// Runs both scans with the given tabu pairs (oldest first). Each must leave
// the Route as it was and choose the same; the plain scan's choice is returned.
Choice scan(ScanInstance& instance, float fo, float fomin, const Pairs& tabu) {
  const Route entry = instance.route;
  const int length = static_cast<int>(instance.route.size());
  TabuList list;
  TabuMemory memory;
  EXPECT_TRUE(memory_prepare(memory, length));
  for (const auto& [no1, no2] : tabu) {
    tabu_append(new_tabu_move(no1, no2), list);
    EXPECT_TRUE(memory_append(memory, position_swap(no1, no2)));
  }
  Choice plain{kUntouched, kUntouched, 0.0f};
  best_admissible_swap(plain.no1, plain.no2, plain.delta, length, instance.route, fo,
                       instance.matrix, kPenalty, instance.capacity, instance.demand, fomin, list);
  EXPECT_EQ(instance.route, entry);

  RouteCache cache;
  EXPECT_TRUE(cache_prepare(cache, instance.matrix, instance.demand, length, instance.capacity, instance.route));
  ScanScratch scratch;
  EXPECT_TRUE(scan_prepare(scratch, cache));
  Choice cached{kUntouched, kUntouched, 0.0f};
  best_admissible_swap_cached(cached.no1, cached.no2, cached.delta, cache, instance.route, fo,
                              kPenalty, fomin, memory, scratch);
  EXPECT_EQ(instance.route, entry);
  EXPECT_EQ(cached.no1, plain.no1);
  EXPECT_EQ(cached.no2, plain.no2);
  EXPECT_EQ(cached.delta, plain.delta);
  return plain;
}

#define EXPECT_CHOICE(choice, i, j, change) \
  do {                                      \
    const Choice c_ = (choice);             \
    EXPECT_EQ(c_.no1, i);                   \
    EXPECT_EQ(c_.no2, j);                   \
    EXPECT_EQ(c_.delta, change);            \
  } while (false)

// Three customers in two trips, asymmetric distances, capacity 10:
//        to 0  1  2  3                 demand: 1 -> 3, 2 -> 4, 3 -> 5
// from 0    0  2  3  4
// from 1    5  0  6  7
// from 2    8  9  0  1
// from 3    2  3  4  0
// Route [0, 1, 2, 0, 3, 0]: 2 + 6 + 8 + 4 + 2 = 22, loads 7 and 5, fo 22.
// The six swaps of positions (the Route after it: distance, overload, change):
//   (1,2) [0,2,1,0,3,0]: 3+9+5+4+2 = 23, 0            ->    +1
//   (1,3) [0,0,2,1,3,0]: 0+3+9+7+2 = 21, 12-10 = 2    -> +1999
//   (1,4) [0,3,2,0,1,0]: 4+4+8+2+5 = 23, 0            ->    +1
//   (2,3) [0,1,0,2,3,0]: 2+5+3+1+2 = 13, 0            ->    -9
//   (2,4) [0,1,3,0,2,0]: 2+7+2+3+8 = 22, 0            ->     0
//   (3,4) [0,1,2,3,0,0]: 2+6+1+2+0 = 11, 2            -> +1989
ScanInstance two_trips() {
  return {make_matrix(3, {0, 2, 3, 4, 5, 0, 6, 7, 8, 9, 0, 1, 2, 3, 4, 0}),
          {0, 3, 4, 5}, 10, {0, 1, 2, 0, 3, 0}};
}

const Pairs kAllSix = {{1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}};

TEST(TabuScanChoice, SmallestAdmissibleChangeWins) {
  ScanInstance instance = two_trips();
  // A depot entry and a customer: the trip boundary moves.
  EXPECT_CHOICE(scan(instance, 22.0f, 22.0f, {}), 2, 3, -9.0f);
  // Changes are measured against the fo handed in, not the Route's objective.
  EXPECT_CHOICE(scan(instance, 23.5f, 22.0f, {}), 2, 3, -10.5f);
  // With (2,3) and (2,4) out of reach, the best left is a worsening one; the
  // tie of (1,2) and (1,4) goes to the smaller second position.
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{2, 3}, {2, 4}}), 1, 2, 1.0f);
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{2, 3}, {2, 4}, {1, 2}}), 1, 4, 1.0f);
  // A change of 0 is returned like any other.
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{2, 3}}), 2, 4, 0.0f);
  // Overloaded swaps carry 1000 per unit: (3,4) has the shortest distance.
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{1, 2}, {1, 4}, {2, 3}, {2, 4}}), 3, 4, 1989.0f);
}

TEST(TabuScanChoice, TabuInEitherOrderUnlessBelowTheBest) {
  ScanInstance instance = two_trips();
  // (2,3) gives 13. Tabu, it is admissible only when 13 is strictly below fomin.
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{2, 3}}), 2, 4, 0.0f);
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{3, 2}}), 2, 4, 0.0f);
  EXPECT_CHOICE(scan(instance, 22.0f, 13.5f, {{2, 3}}), 2, 3, -9.0f);
  EXPECT_CHOICE(scan(instance, 22.0f, 13.001f, {{3, 2}}), 2, 3, -9.0f);
  // A pair elsewhere in the list is tabu too; reversed pairs as well.
  EXPECT_CHOICE(scan(instance, 22.0f, 13.0f, {{1, 3}, {4, 2}, {2, 3}, {4, 3}}), 1, 2, 1.0f);
  // Every pair tabu: only the aspirated (2,3) is left when fomin allows it.
  EXPECT_CHOICE(scan(instance, 22.0f, 22.0f, kAllSix), 2, 3, -9.0f);
}

TEST(TabuScanChoice, NothingAdmissibleGivesTheMarkAndKeepsThePositions) {
  ScanInstance instance = two_trips();
  Pairs reversed;
  for (const auto& [i, j] : kAllSix) reversed.emplace_back(j, i);
  for (const Pairs& tabu : {kAllSix, reversed}) {
    const Choice choice = scan(instance, 22.0f, 13.0f, tabu);
    EXPECT_EQ(choice.delta, 2147483648.0f);
    EXPECT_EQ(choice.no1, kUntouched);
    EXPECT_EQ(choice.no2, kUntouched);
  }
  // One customer: [0, 1, 0] has no pair of inner positions to examine.
  ScanInstance single{make_matrix(1, {0, 4, 4, 0}), {0, 1}, 10, {0, 1, 0}};
  const Choice choice = scan(single, 8.0f, 8.0f, {});
  EXPECT_EQ(choice.delta, 2147483648.0f);
  EXPECT_EQ(choice.no1, kUntouched);
  EXPECT_EQ(choice.no2, kUntouched);
  // Two customers: [0, 1, 2, 0] has exactly the pair (1,2); 0->2->1->0 is 2+3+4 = 9
  // against 1+5+6 = 12 for the Route.
  ScanInstance pair{make_matrix(2, {0, 1, 2, 4, 0, 5, 6, 3, 0}), {0, 1, 1}, 10, {0, 1, 2, 0}};
  EXPECT_CHOICE(scan(pair, 12.0f, 12.0f, {}), 1, 2, -3.0f);
  EXPECT_EQ(scan(pair, 12.0f, 9.0f, {{1, 2}}).delta, 2147483648.0f);
}

// Every distance 0 and no overload: every change is 0, so the first
// admissible pair in scan order wins. Route [0, 0, 0, 1, 2, 3, 0]: positions 1
// and 2 both hold the depot and are never examined (swapping them would
// change nothing and, scanned first, would win).
TEST(TabuScanChoice, TiesGoToTheSmallestFirstThenSecondPosition) {
  ScanInstance instance{make_matrix(3, {}), {0, 1, 1, 1}, 10, {0, 0, 0, 1, 2, 3, 0}};
  EXPECT_CHOICE(scan(instance, 0.0f, 0.0f, {}), 1, 3, 0.0f);
  // After (1,3) comes (1,4), not (2,3).
  EXPECT_CHOICE(scan(instance, 0.0f, 0.0f, {{1, 3}}), 1, 4, 0.0f);
  EXPECT_CHOICE(scan(instance, 0.0f, 0.0f, {{1, 3}, {1, 4}, {1, 5}}), 2, 3, 0.0f);
  EXPECT_CHOICE(scan(instance, 0.0f, 0.0f, {{1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 4}, {2, 5}, {3, 4}}), 3,
                5, 0.0f);
  // With only the depot pair left, nothing is admissible.
  const Choice none = scan(instance, 0.0f, 0.0f,
                           {{1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 4}, {2, 5}, {3, 4}, {3, 5}, {4, 5}});
  EXPECT_EQ(none.delta, 2147483648.0f);
  EXPECT_EQ(none.no1, kUntouched);
}

// The cached scan against the plain one while the Route changes under its
// table: a swap between scans (the table follows the positions next to it)
// and now and then a new Route (it is worked out whole), on instances whose
// Routes are heavily overloaded, or never (large trucks), with rounded
// distances (exact sums, many ties) or not, asymmetric ones, a negative
// penalty weight; the tabu list holds recent swaps and random pairs, and
// fomin is set so that some tabu pairs are aspirated.
TEST(TabuScanChoice, MatchesThePlainScanAsTheRouteChanges) {
  struct Case {
    int n;
    int max_demand;
    int capacity;
    bool asymmetric;
    bool rounded;
    int penalty;
  };
  const Case cases[] = {{60, 90, 160, false, true, 1000},  {60, 90, 160, false, false, 1000},
                        {45, 60, 160, true, false, 1000},  {50, 30, 5000, false, true, 1000},
                        {40, 90, 160, false, true, -3}};
  unsigned seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(++seed);
    auto random = testing_support::random_instance(c.n, seed, c.max_demand, c.asymmetric);
    if (c.rounded)
      for (float& cell : random.matrix.cells) cell = std::round(cell);
    const int length = c.n + std::max(min_trucks(random.demand, c.n + 1, c.capacity), 1) + 1;
    std::mt19937 engine(seed);
    Route route(static_cast<std::size_t>(length), 0);
    for (int k = 1; k <= c.n; ++k) route[static_cast<std::size_t>(k)] = k;
    const auto shuffle = [&] { std::shuffle(route.begin() + 1, route.end() - 1, engine); };
    shuffle();
    RouteCache cache;
    ScanScratch scratch;
    TabuMemory memory;
    ASSERT_TRUE(cache_prepare(cache, random.matrix, random.demand, length, c.capacity, route));
    ASSERT_TRUE(scan_prepare(scratch, cache));
    ASSERT_TRUE(memory_prepare(memory, length));
    const auto position = [&] { return 1 + static_cast<int>(engine() % static_cast<unsigned>(length - 2)); };
    for (int step = 0; step < 40; ++step) {
      if (step % 13 == 12) {
        shuffle();
      } else {
        const int i = position();
        const int j = position();
        swap_positions(i, j, route);
        ASSERT_TRUE(memory_append(memory, position_swap(i, j)));
      }
      ASSERT_TRUE(memory_append(memory, position_swap(position(), position())));
      if (memory.length > 12) memory_remove_oldest(memory);
      cache_describe(cache, route);
      const float fo = objective_value(
          c.penalty * capacity_excess(length, c.capacity, route, random.demand), route_distance(length, random.matrix, route));
      const float fomin = fo + static_cast<float>(step % 3) * -15.0f;
      Choice plain{kUntouched, kUntouched, 0.0f};
      best_admissible_swap(plain.no1, plain.no2, plain.delta, length, route, fo, random.matrix, c.penalty, c.capacity,
                           random.demand, fomin, memory.list);
      Choice cached{kUntouched, kUntouched, 0.0f};
      best_admissible_swap_cached(cached.no1, cached.no2, cached.delta, cache, route, fo, c.penalty, fomin, memory,
                                  scratch);
      ASSERT_EQ(cached.no1, plain.no1) << "step " << step;
      ASSERT_EQ(cached.no2, plain.no2) << "step " << step;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(cached.delta), std::bit_cast<std::uint32_t>(plain.delta)) << "step " << step;
    }
  }
}

// The survey of a matrix of 1100 x 1100 cells goes in two blocks of rows
// (2^20 / 1100 = 953 rows, then 147): a cell in the second block that
// breaks the symmetry, is negative, or is 0.5 (lowest set bit 2^-1) must be
// seen there as in the first. Every other cell off the diagonal is 1.
TEST(TabuScan, MatrixSurveyCoversEveryBlockOfRows) {
  const struct {
    float at_1050_3, at_3_1050;
    bool symmetric, non_negative;
    double largest;
    int lowest;
  } cases[] = {{1.0f, 1.0f, true, true, 1.0, 0},
               {0.5f, 0.5f, true, true, 1.0, -1},
               {-2.0f, 1.0f, false, false, 2.0, 0},
               {1.0f, 3.0f, false, true, 3.0, 0}};
  for (const auto& c : cases) {
    DistanceMatrix matrix = make_matrix(1099, std::vector<float>(1100 * 1100, 1.0f));
    for (int k = 0; k < 1100; ++k) matrix.cell(k, k) = 0.0f;
    matrix.cell(1050, 3) = c.at_1050_3;
    matrix.cell(3, 1050) = c.at_3_1050;
    MatrixSurvey survey;
    ASSERT_TRUE(survey_matrix(matrix, survey, {}));
    EXPECT_EQ(survey.symmetric, c.symmetric);
    EXPECT_EQ(survey.cells.non_negative, c.non_negative);
    EXPECT_EQ(survey.cells.largest, c.largest);
    EXPECT_TRUE(survey.cells.any_nonzero);
    EXPECT_EQ(survey.cells.lowest, c.lowest);
  }
}

}  // namespace
