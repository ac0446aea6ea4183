// The tabu search over the field's moves: its tabu edges, its choice, and
// the search's contract.
#include "model/route_cache.h"
#include "search/field_tabu.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "model/random.h"
#include "model/route.h"
#include "search/tabu_search.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

std::size_t at(int index) { return static_cast<std::size_t>(index); }

// Customers on a grid, Manhattan distances (whole numbers: every sum
// exact), demands 1..20.
Instance grid_instance(int n, unsigned seed, int capacity) {
  std::mt19937 engine(seed);
  std::vector<int> x(at(n + 1)), y(at(n + 1));
  for (int node = 0; node <= n; ++node) {
    x[at(node)] = static_cast<int>(engine() % 100);
    y[at(node)] = static_cast<int>(engine() % 100);
  }
  Instance instance;
  instance.customer_count = n;
  instance.vehicle_capacity = capacity;
  instance.matrix = make_matrix(n, {});
  for (int a = 0; a <= n; ++a)
    for (int b = 0; b <= n; ++b)
      instance.matrix.cell(a, b) = static_cast<float>(std::abs(x[at(a)] - x[at(b)]) + std::abs(y[at(a)] - y[at(b)]));
  instance.demand.assign(at(n + 1), 0);
  for (int c = 1; c <= n; ++c) instance.demand[at(c)] = 1 + static_cast<int>(engine() % 20);
  return instance;
}

// Customers 1..n in order over `trucks` trucks (the first holds them all).
Route one_truck(int n, int trucks) {
  Route route(at(n + trucks + 1), 0);
  for (int c = 1; c <= n; ++c) route[at(c)] = c;
  return route;
}

// The Route a move gives, rebuilt by the trips' own code on a copy.
Route route_after(const FieldTabu& field, const MovePlan& plan, std::size_t length) {
  Trips copy = field.trips;
  apply_plan(copy, plan, plan_effect(copy, plan));
  Route route(length, 0);
  route_from_trips(copy, route);
  return route;
}

// The edges of a Route as a multiset of unordered pairs (depot to depot left out).
std::map<std::pair<int, int>, int> edges_of(const Route& route) {
  std::map<std::pair<int, int>, int> edges;
  for (std::size_t k = 1; k < route.size(); ++k)
    if (route[k - 1] != route[k]) ++edges[std::minmax(route[k - 1], route[k])];
  return edges;
}

Settings field_settings(MoveKinds kinds, int granularity) {
  Settings settings = program_settings(50);
  settings.move_kinds = kinds;
  settings.granularity = granularity;
  return settings;
}

// Depot at 0, customers 1-3 at x = 10, 11, 12 and 4-6 at x = -10, -11, -12
// on a line; one empty truck. Customer 2 is moved away from 1 and 3 into
// the other trip, then that trip is reordered (2 shifts a position). Moving
// 2 back beside 1 or 3 is then the best move by far (-22): it re-makes an
// edge the first move removed, so it is tabu through iteration 1 + tenure
// unless it would make a new best.
TEST(FieldTabu, RemovedEdgesStayTabuAfterShiftsUntilTheTenureEnds) {
  const std::vector<int> x = {0, 10, 11, 12, -10, -11, -12};
  Instance instance;
  instance.customer_count = 6;
  instance.vehicle_capacity = 10;
  instance.matrix = make_matrix(6, {});
  for (int a = 0; a <= 6; ++a)
    for (int b = 0; b <= 6; ++b) instance.matrix.cell(a, b) = static_cast<float>(std::abs(x[at(a)] - x[at(b)]));
  instance.demand = {0, 1, 1, 1, 1, 1, 1};
  const Route start = {0, 1, 2, 3, 0, 4, 5, 6, 0, 0};
  const int tenure = 5;
  struct Case {
    long long iteration;
    bool aspiration;  // fomin above every objective: any tabu move would be a new best
    bool back_beside_1_or_3;
  };
  const std::vector<Case> cases = {
      {3, false, false}, {1 + tenure, false, false}, {2 + tenure, false, true}, {3, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.iteration);
    FieldTabu field;
    ASSERT_TRUE(field_tabu_prepare(field, instance, field_settings(kAllFieldMoves, 5), start, 1000.0));
    const auto force = [&](const MoveValue& move, long long iteration) {
      FieldChoice choice;
      choice.found = true;
      choice.move = move;
      choice.plan = plan_move(field.trips, move);
      ASSERT_NE(choice.plan.trips, 0);
      choice.effect = plan_effect(field.trips, choice.plan);
      field_tabu_make(field, choice, iteration, tenure);
    };
    force({MoveKind::relocate, 2, 5, 0}, 1);  // 0 1 3 0 4 5 2 6 0 0
    force({MoveKind::relocate, 6, 4, 1}, 2);  // 0 1 3 0 6 4 5 2 0 0
    Route moved(start.size(), 0);
    route_from_trips(field.trips, moved);
    ASSERT_EQ(moved, (Route{0, 1, 3, 0, 6, 4, 5, 2, 0, 0}));
    ASSERT_TRUE(field_tabu_refresh(field, nullptr, {}));
    const float fomin = c.aspiration ? 1e9f : route_objective(instance, 1000, start);  // 48: the least
    const FieldChoice choice = field_tabu_choose(field, c.iteration, {fomin, 1000, false});
    ASSERT_TRUE(choice.found);
    const Route after = route_after(field, choice.plan, start.size());
    const auto edges = edges_of(after);
    EXPECT_EQ(edges.count({1, 2}) + edges.count({2, 3}) > 0, c.back_beside_1_or_3);
    // 72 before; every move that puts 2 back beside 1 or 3 gives at best 50.
    if (c.back_beside_1_or_3) {
      EXPECT_EQ(route_distance(10, instance.matrix, after), 50.0f);
    }
  }
}

// Each iteration's choice against every move of the neighbourhood evaluated
// on its whole Route: the chosen move's objective is the least of the
// admissible ones (no made edge tabu, or a new best). Kinds alone and all
// together, on an instance tight enough that some moves overload.
TEST(FieldTabu, ChoosesTheBestAdmissibleMoveOfTheNeighbourhood) {
  const int n = 18;
  const Instance instance = grid_instance(n, 7, 45);
  const int weight = 10;
  const int granularity = 5;
  for (const MoveKinds kinds : {kAllFieldMoves, move_bit(MoveKind::relocate), move_bit(MoveKind::or_opt),
                                move_bit(MoveKind::two_opt) | move_bit(MoveKind::two_opt_star)}) {
    SCOPED_TRACE(kinds);
    Route route = one_truck(n, 6);
    FieldTabu field;
    const Settings settings = field_settings(kinds, granularity);
    ASSERT_TRUE(field_tabu_prepare(field, instance, settings, route, weight));
    float fomin = route_objective(instance, weight, route);
    int held_back = 0;  // iterations whose best move was tabu
    for (long long iteration = 1; iteration <= 30; ++iteration) {
      SCOPED_TRACE(iteration);
      ASSERT_TRUE(field_tabu_refresh(field, nullptr, {}));
      const FieldChoice choice = field_tabu_choose(field, iteration, {fomin, weight, false});
      // Every move, each Route rebuilt and evaluated whole.
      const auto old_edges = edges_of(route);
      float least = std::numeric_limits<float>::infinity();
      float least_of_all = least;
      const auto consider = [&](const MoveValue& move) {
        const MovePlan plan = plan_move(field.trips, move);
        if (plan.trips == 0) return;
        const Route after = route_after(field, plan, route.size());
        const float value = route_objective(instance, weight, after);
        bool tabu = false;
        for (const auto& [edge, count] : edges_of(after)) {
          const auto old = old_edges.find(edge);
          if (count > (old == old_edges.end() ? 0 : old->second))
            tabu = tabu || edge_tabu_holds(field.tabu, edge.first, edge.second, iteration);
        }
        if (!tabu || value < fomin) least = std::min(least, value);
        least_of_all = std::min(least_of_all, value);
      };
      const NeighbourLists lists = nearest_neighbours(instance, granularity);
      for (int u = 1; u <= n; ++u) {
        for (const MoveKind kind : {MoveKind::relocate, MoveKind::swap, MoveKind::two_opt, MoveKind::two_opt_star,
                                    MoveKind::or_opt}) {
          if ((kinds & move_bit(kind)) == 0) continue;
          for (const int v : lists.of(u))
            for (int variant = 0; variant < move_variants(kind); ++variant) consider({kind, u, v, variant});
        }
        // Into an empty truck, unless u is alone in its own (that changes nothing).
        const std::size_t trip_size = field.trips.nodes[at(field.trips.trip_of[at(u)])].size();
        if ((kinds & move_bit(MoveKind::relocate)) != 0 && field.trips.empty_trip >= 0 && trip_size > 3)
          consider({MoveKind::relocate, u, 0, 0});
      }
      ASSERT_EQ(choice.found, least != std::numeric_limits<float>::infinity());
      if (!choice.found) break;
      if (least > least_of_all) ++held_back;
      route = route_after(field, choice.plan, route.size());
      EXPECT_EQ(route_objective(instance, weight, route), least);
      field_tabu_make(field, choice, iteration, 4);
      fomin = std::min(fomin, route_objective(instance, weight, route));
    }
    EXPECT_GT(held_back, 0) << "the tabu edges never decided";
  }
}

// The search's events, kept.
struct Recorder : SearchOutput {
  std::vector<std::pair<float, MoveValue>> moves;  // each move and its delta
  std::vector<float> bests;
  std::vector<float> fos;
  void tabu_move_chosen(long long, float delta, const MoveValue& move) override { moves.emplace_back(delta, move); }
  bool tabu_new_best(double, float fomin, long long) override {
    bests.push_back(fomin);
    return true;
  }
  void tabu_iteration_done(float fo, int) override { fos.push_back(fo); }
};

struct SearchRun {
  Recorder events;
  SearchState state;
  SearchEnd end;
};

SearchRun run_search(const Instance& instance, const Settings& settings, const Route& start) {
  SearchRun run;
  run.state.current = start;
  run.state.best = start;
  run.state.fo = run.state.fomin = route_objective(instance, settings.penalty_weight, start);
  run.state.start_clock = clock_ms();
  seed_random(static_cast<unsigned>(settings.random_seed));
  run.end = tabu_search(instance, settings, run.state, run.events);
  return run;
}

// Through tabu_search: the iteration budget, the state on return (the best
// Route, its objective evaluated afresh), the reported best never rising,
// the same run twice; on whole and on unrounded distances (the moves then
// confirmed on the whole Route), with a fixed and an adaptive penalty. On a
// tight instance (the demands fill five trucks to 95%) reported with a
// weight of 1, which makes overloaded Routes cheap, the adaptive search's
// best from one overloaded truck is feasible, and stays so from there.
TEST(FieldTabu, SearchKeepsItsBudgetAndItsBestAndRepeatsItself) {
  auto unrounded = random_instance(40, 3, 20, false);
  Instance euclidean;
  euclidean.customer_count = 40;
  euclidean.vehicle_capacity = 100;
  euclidean.matrix = unrounded.matrix;
  euclidean.demand = unrounded.demand;
  const Instance grid = grid_instance(40, 5, 100);
  Instance tight = grid_instance(30, 11, 0);
  int total = 0;
  for (int c = 1; c <= 30; ++c) total += tight.demand[at(c)];
  tight.vehicle_capacity = (total * 100 / 95 + 4) / 5;
  struct Case {
    const Instance* instance;
    bool adaptive;
    int iterations;
    int max_stall;
    int penalty_weight;
    int tenure;
  };
  for (const Case& c : {Case{&grid, false, 200, 2000, 1000, 10}, Case{&grid, true, 200, 60, 1000, 10},
                        Case{&euclidean, false, 200, 40, 1000, 10}, Case{&euclidean, true, 150, 2000, 1000, 10},
                        Case{&tight, true, 600, 2000, 1, 40}}) {
    const int n = c.instance->customer_count;
    SCOPED_TRACE(testing::Message() << n << (c.instance == &grid ? " grid " : " ") << c.adaptive);
    Settings settings = field_settings(kAllFieldMoves, 8);
    settings.time_limit = 100.0f;
    settings.iteration_limit = c.iterations;
    settings.max_stall = c.max_stall;
    settings.base_tenure = c.tenure;
    settings.adaptive_penalty = c.adaptive;
    settings.penalty_weight = c.penalty_weight;
    const Route start = one_truck(n, n / 3 - 4);
    const SearchRun first = run_search(*c.instance, settings, start);
    ASSERT_EQ(first.end, SearchEnd::finished);
    EXPECT_EQ(first.state.iterations, c.iterations);
    EXPECT_EQ(first.events.moves.size(), at(c.iterations));
    EXPECT_EQ(first.state.current, first.state.best);
    EXPECT_EQ(first.state.fo, first.state.fomin);
    // Where float sums are not exact the best is judged in double, and
    // reported as that objective's nearest float.
    const float objective = route_objective(*c.instance, settings.penalty_weight, first.state.best);
    if (route_sums_exact(c.instance->matrix, static_cast<int>(start.size())))
      EXPECT_EQ(first.state.fomin, objective);
    else
      EXPECT_NEAR(first.state.fomin, objective, 1e-5 * objective);
    ASSERT_FALSE(first.events.bests.empty());
    for (std::size_t k = 1; k < first.events.bests.size(); ++k)
      EXPECT_LT(first.events.bests[k], first.events.bests[k - 1]);
    if (c.instance == &tight) {
      // Feasible, and from that start the best found stays feasible.
      const auto excess = [&](const Route& route) {
        return capacity_excess(static_cast<int>(route.size()), tight.vehicle_capacity, route, tight.demand);
      };
      EXPECT_EQ(excess(first.state.best), 0);
      EXPECT_EQ(excess(run_search(tight, settings, first.state.best).state.best), 0);
    }
    const SearchRun second = run_search(*c.instance, settings, start);
    EXPECT_EQ(second.state.best, first.state.best);
    EXPECT_EQ(second.events.fos, first.events.fos);
    EXPECT_EQ(second.events.moves, first.events.moves);
  }
}

}  // namespace
