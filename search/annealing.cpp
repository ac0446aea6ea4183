#include "search/annealing.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "model/neighbours.h"
#include "model/random.h"
#include "model/route.h"
#include "model/swap_evaluation.h"
#include "model/trips.h"
#include "search/adaptive_penalty.h"
#include "search/ruin_recreate.h"

namespace {

// A swap needs two interior positions holding different values.
bool has_two_interior_values(int route_length, std::span<const int> route) {
  for (int i = 2; i < route_length - 1; ++i)
    if (route[static_cast<std::size_t>(i)] != route[1]) return true;
  return false;
}

// The Metropolis test of a change that does not improve.
bool metropolis_accepts(float delta, float temperature, float u) {
  return std::exp(-1.0 * static_cast<double>(delta) / static_cast<double>(temperature)) >
         static_cast<double>(u);
}

// The acceptance draw u of a step: random_uniform(0, 1) rounded to float.
float acceptance_draw(int step) { return static_cast<float>(uniform_value(step, 0.0, 1.0)); }

// For every value u the acceptance draw can take, indexed by its step, two
// floats that settle the Metropolis test of most changes at or above 0
// without their exact value:
// - `reject`: a little above -ln(u) (by 1e-9, then by a factor 1 + 2^-22),
//   or infinity for u = 0, which rejects only a change whose exp underflows
//   to 0. A change whose value before its rounding to float exceeds
//   reject * temperature is sure to fail: exp(-x) < u once x > -ln(u).
// - `accept`: a little below -ln(u) (by a factor 1 - 2^-30, then by 1e-9),
//   or 700 for u = 0. A float change below accept * temperature is sure to
//   pass: its quotient by the temperature is below -ln(u), so exp of its
//   opposite is above u.
// The margins cover the rounding of a change to float (2^-24), of the product
// and of the quotient (2^-53) and the last bits of exp and log.
struct MetropolisTable {
  std::vector<float> reject;
  std::vector<float> accept;
};

// False when the table's storage cannot be had.
bool fill_metropolis_table(MetropolisTable& table) {
  if (!with_working_memory([&] { table = {std::vector<float>(10000), std::vector<float>(10000)}; })) return false;
  table.reject[0] = std::numeric_limits<float>::infinity();
  table.accept[0] = 700.0f;
  for (std::size_t step = 1; step < 10000; ++step) {
    const double minus_log_u = -std::log(static_cast<double>(acceptance_draw(static_cast<int>(step))));
    const double above = (minus_log_u + 1e-9) * (1.0 + 1.0 / 4194304.0);
    float rounded = static_cast<float>(above);
    if (static_cast<double>(rounded) < above) rounded = std::nextafter(rounded, 100.0f);
    table.reject[step] = rounded;
    const double below = minus_log_u * (1.0 - 1.0 / 1073741824.0) - 1e-9;
    rounded = static_cast<float>(below);
    if (static_cast<double>(rounded) > below) rounded = std::nextafter(rounded, -100.0f);
    table.accept[step] = rounded;
  }
  return true;
}

// True when a change whose value before rounding to float is `low` (or more)
// is sure to be rejected against the draw of this step.
bool surely_rejected(double low, double temperature, int step, const MetropolisTable& table) {
  return low > static_cast<double>(table.reject[static_cast<std::size_t>(step)]) * temperature;
}

// True when a change at or above 0 whose float value is `high` (or less) is
// sure to be accepted against the draw of this step.
bool surely_accepted(float high, double temperature, int step, const MetropolisTable& table) {
  return static_cast<double>(high) < static_cast<double>(table.accept[static_cast<std::size_t>(step)]) * temperature;
}

float draw_uniform() { return acceptance_draw(random_step()); }

// The Metropolis test of a change at or above 0 held in double (the sums
// of the instance's Routes are not exact in float) against the draw of this
// step: the program's test of a float change, with the same cheap bounds.
bool metropolis_accepts_wide(double change, float temperature, int step, const MetropolisTable& table) {
  const double u = static_cast<double>(acceptance_draw(step));
  const double t = static_cast<double>(temperature);
  if (step != 0) {
    if (1.0 - change / t > u * (1.0 + 1e-12)) return true;
    if (surely_rejected(change, t, step, table)) return false;
  }
  return std::exp(-1.0 * change / t) > u;
}

// The Metropolis test of an exact change at or above 0 against the draw of
// this step, as metropolis_accepts decides it, with exp worked out only when
// neither cheap bound settles it: exp(-x) >= 1 - x, and exp(-x) < u once x is
// above the step's threshold. The margins cover the last bits of exp.
bool metropolis_accepts_step(float delta, float temperature, int step, const MetropolisTable& table) {
  const float u = acceptance_draw(step);
  if (step != 0) {
    const double argument = -1.0 * static_cast<double>(delta) / static_cast<double>(temperature);
    if (1.0 + argument > static_cast<double>(u) * (1.0 + 1e-12)) return true;
    if (surely_rejected(static_cast<double>(delta), static_cast<double>(temperature), step, table)) return false;
  }
  return metropolis_accepts(delta, temperature, u);
}

// The objective change of the swap i < j before its rounding to float, as
// objective_change forms it from the exact distance: what the bounds must
// hold (checked in debug builds).
[[maybe_unused]] double change_before_rounding(RouteCache& cache, std::span<const int> route, int i, int j,
                                               int penalty, float fo) {
  return static_cast<double>(penalty) + static_cast<double>(swapped_distance(cache, route, i, j)) +
         static_cast<double>(-fo);
}

// The decision on a move the bounds leave open, on its exact change: the
// rare case, kept out of the loop. `step` is the acceptance draw if made.
[[gnu::noinline]] bool accepts_exactly(RouteCache& cache, std::span<const int> route, int i, int j, int penalty,
                                       float fo, float temperature, int step, const MetropolisTable& table) {
  const float change = objective_change(penalty, swapped_distance(cache, route, i, j), fo);
  if (change < 0.0f) return true;
  if (step < 0) step = random_step();
  return metropolis_accepts_step(change, temperature, step, table);
}

// What the search knows of the carried fo without the exact float sums of
// its last accepted move: low <= fo <= high. After a move to a Route of
// penalty p and exact distance d, fo = fo' + delta with delta the float
// rounding of p + d - fo', so fo lies within a few float roundings of p + d:
// 2^-23 of the sizes involved bounds them all.
//
// `floor` and `ceiling` bound the objective change of a move from the
// double change of the sum of the edges it makes and its penalty p: with
// their roundings, (added + (floor - removed)) + p and (added + (ceiling -
// removed)) + p hold the double value of the change before its rounding to
// float (the value objective_change_at forms for the exact distance d).
// They are (real - E) - high and (real + E) - low, widened by a slack: those
// sums lie within a few roundings (2^-53 each, of sizes below |real| + |fo|
// + |p| + 16 * largest cell) of real + change -/+ E - fo + p, which the
// definition of E puts beyond p + d - fo by at least its own forming term;
// the slack, 2^-48 of those sizes (with the largest penalty a Route can
// have), covers them and the roundings of p + d - fo. Worked out once per
// accepted move, they leave few additions between a move's draws and its
// decision.
struct CarriedBounds {
  double low;
  double high;
  double floor;
  double ceiling;
  double largest_penalty;
};

CarriedBounds carried_bounds(double low, double high, const RouteCache& cache, double largest_penalty) {
  const double size = std::fabs(cache.real) + std::max(std::fabs(low), std::fabs(high)) + 16.0 * cache.largest_cell +
                      largest_penalty;
  const double slack = size * (1.0 / 281474976710656.0);  // 2^-48
  return {low, high, ((cache.real - cache.error_bound) - high) - slack,
          ((cache.real + cache.error_bound) - low) + slack, largest_penalty};
}

[[gnu::always_inline]] inline CarriedBounds carried_after(int penalty, double approximate, double error, double low_change, double high_change,
                            const RouteCache& cache, double largest_penalty) {
  const double low = static_cast<double>(penalty) + (approximate - error);
  const double high = static_cast<double>(penalty) + (approximate + error);
  const double size = std::max(std::fabs(low), std::fabs(high)) + std::max(std::fabs(low_change), std::fabs(high_change));
  const double margin = size * (1.0 / 2097152.0);  // 2^-21
  return carried_bounds(low - margin, high + margin, cache, largest_penalty);
}

// How the cache settles a move: from the change of the double sum of the
// edges, which is the exact change when no sum of the instance rounds
// (RouteCache::exact_sums); on bounds first, evaluating exactly from the
// partial sums only what they leave open; or always from the partial sums,
// when sums could overflow and give no bounds.
enum class Sums { exact, bounded, unbounded };

// One move through the cache: the same draws, the same decision and the same
// change as the whole-Route evaluation. Makes the swap i < j when it is
// accepted and returns whether it was, with its change in delta.
//
// The decision is taken on bounds wherever they settle it, and those do not
// wait for the float sums: only the rare move they leave open needs the exact
// change before it is decided. An accepted move's exact change is worked out
// after the decision, and carried into fo.
template <Sums sums, class Cell>
bool cached_move(RouteCache& cache, std::span<int> route, int i, int j, int penalty_weight, float fo,
                 CarriedBounds& carried, float temperature, double wide_temperature, const MetropolisTable& table,
                 float& delta) {
  int step = -1;  // the acceptance draw, once made
  int penalty = 0;
  bool decided = false;
  double approximate = 0.0;
  double low = 0.0;
  double high = 0.0;
  const double error = cache.error_bound;
  if constexpr (sums == Sums::exact) {
    // The approximate distance is the exact one, so is the change of
    // objective formed from it: the bounds are the change itself.
    const EdgeChange edges = swapped_edges<Cell>(cache, route, i, j);
    approximate = cache.real + (edges.added - edges.removed);
    if (penalty_weight >= 0) {
      // The change with a lower bound of the penalty (0 without overload):
      // it often rejects the move before the exact excess is worked out.
      const double floor =
          objective_change_unrounded(penalty_weight * swapped_excess_floor(cache, route, i, j), approximate, fo);
      if (floor >= 0.0) {
        // The change is sure not to improve, so this move draws u.
        step = random_step();
        if (surely_rejected(floor, wide_temperature, step, table)) return false;
      }
    }
    penalty = penalty_weight * swapped_excess(cache, route, i, j);
    const float change = objective_change_at(penalty, approximate, fo);
    assert(change == objective_change(penalty, swapped_distance(cache, route, i, j), fo));
    if (!(change < 0.0f)) {
      if (step < 0) step = random_step();
      if (!metropolis_accepts_step(change, temperature, step, table)) return false;
    }
    swap_positions(i, j, route);
    cache_commit_swap(cache, route, i, j, approximate);
    delta = change;
    return true;
  } else if constexpr (sums == Sums::bounded) {
    // The bounds of the change before its rounding to float (see CarriedBounds).
    // The removed edges are known as soon as i and j are: joined to the
    // carried floor and ceiling first, they leave one addition after the
    // added ones.
    const EdgeChange edges = swapped_edges<Cell>(cache, route, i, j);
    const double floor = carried.floor - edges.removed;
    const double ceiling = carried.ceiling - edges.removed;
    approximate = cache.real + (edges.added - edges.removed);
    // A penalty is never negative, so on a Route without overload the change
    // without it is a lower bound too; it often settles the move before the
    // excess is worked out.
    if (cache.excess == 0 && penalty_weight >= 0) {
      const double low_without = edges.added + floor;
      assert(low_without <= change_before_rounding(cache, route, i, j, 0, fo));
      if (low_without >= 0.0) {
        // The change is sure not to improve, so this move draws u.
        step = random_step();
        if (surely_rejected(low_without, wide_temperature, step, table)) return false;
      }
    }
    penalty = penalty_weight * swapped_excess(cache, route, i, j);
    low = (edges.added + floor) + static_cast<double>(penalty);
    high = (edges.added + ceiling) + static_cast<double>(penalty);
    assert(low <= change_before_rounding(cache, route, i, j, penalty, fo));
    assert(change_before_rounding(cache, route, i, j, penalty, fo) <= high);
    if (static_cast<float>(high) < 0.0f) {
      decided = true;  // sure to improve
    } else if (low >= 0.0) {
      if (step < 0) step = random_step();
      if (surely_rejected(low, wide_temperature, step, table)) return false;
      decided = surely_accepted(static_cast<float>(high), wide_temperature, step, table);
    }
  } else {
    penalty = penalty_weight * swapped_excess(cache, route, i, j);
  }
  if (!decided && !accepts_exactly(cache, route, i, j, penalty, fo, temperature, step, table)) return false;
  if constexpr (sums == Sums::unbounded) approximate = approximate_swapped_distance(cache, route, i, j);
  swap_positions(i, j, route);
  cache_commit_swap(cache, route, i, j, approximate);
  delta = objective_change(penalty, cache.distance, fo);
  const float carried_fo = fo + delta;
  if constexpr (sums == Sums::bounded)
    carried = carried_after(penalty, approximate, error, low, high, cache, carried.largest_penalty);
  else
    carried = CarriedBounds{static_cast<double>(carried_fo), static_cast<double>(carried_fo), 0.0, 0.0, 0.0};
  return true;
}

// What the moves of a level carry from one to the next.
struct Carried {
  float fo;
  float fomin;
  long long move_count;  // billions in a 30-second run: past the range of an int
  CarriedBounds bounds;  // of fo, for the cached evaluation
  bool stopped;          // the output asked the search to stop
};

// The run a level belongs to: where new bests go and the clock they are timed on.
struct Reporting {
  SearchOutput& output;
  ClockTicks start_clock;
};

// A new best: it becomes fomin and best, and the output is told, with the
// time read now. False when the output asks the search to stop.
[[gnu::noinline]] bool record_new_best(Carried& carried, std::span<const int> current, std::span<int> best,
                                       const Reporting& reporting) {
  carried.fomin = carried.fo;
  copy_route(static_cast<int>(current.size()), current, best);
  const ClockTicks reading = clock_ms();
  carried.stopped = !reporting.output.annealing_new_best(seconds_between(reporting.start_clock, reading),
                                                         carried.fomin, carried.move_count);
  return !carried.stopped;
}

// Two interior positions holding different values, drawn as the search draws them.
[[gnu::always_inline]] inline std::pair<int, int> draw_swap(std::span<const int> current,
                                                          const DrawBound& interior) {
  const auto [first, second] = random_pair_below(interior);
  const int i = first + 1;
  int j = second + 1;
  while (current[static_cast<std::size_t>(i)] == current[static_cast<std::size_t>(j)]) j = random_below(interior) + 1;
  return {i, j};
}

// One level of moves at one temperature, each evaluated over the whole Route.
void whole_route_level(Carried& carried, std::span<int> current, std::span<int> best, int moves, float temperature,
                       const DistanceMatrix& matrix, int penalty_weight, int vehicle_capacity,
                       std::span<const int> demand, const DrawBound& interior, const Reporting& reporting) {
  const int route_length = static_cast<int>(current.size());
  for (int level_move = 0; level_move < moves; ++level_move) {
    ++carried.move_count;
    const auto [i, j] = draw_swap(current, interior);
    swap_positions(i, j, current);
    const float distance = route_distance(route_length, matrix, current);
    const int excess = capacity_excess(route_length, vehicle_capacity, current, demand);
    const float delta = objective_change(penalty_weight * excess, distance, carried.fo);
    if (!(delta < 0.0f || metropolis_accepts(delta, temperature, draw_uniform()))) {
      swap_positions(i, j, current);
      continue;
    }
    carried.fo = carried.fo + delta;
    if (delta < 0.0f && carried.fo < carried.fomin && !record_new_best(carried, current, best, reporting)) return;
  }
}

// The same level through the cache, its moves settled as `sums` says. The loop works on copies of what it carries,
// which the compiler can keep in registers.
template <Sums sums, class Cell>
[[gnu::noinline]] void cached_level(Carried& carried, RouteCache& cache, std::span<int> current, std::span<int> best,
                                    int moves, float temperature, int penalty_weight, const MetropolisTable& table,
                                    const DrawBound& bound, const Reporting& reporting) {
  float fo = carried.fo;
  CarriedBounds bounds = carried.bounds;
  const DrawBound interior = bound;
  const double wide_temperature = static_cast<double>(temperature);
  for (int level_move = 0; level_move < moves; ++level_move) {
    const auto [i, j] = draw_swap(current, interior);
    float delta = 0.0f;
    const bool ordered = i < j;
    if (!cached_move<sums, Cell>(cache, current, ordered ? i : j, ordered ? j : i, penalty_weight, fo, bounds,
                                temperature, wide_temperature, table, delta))
      continue;
    fo = fo + delta;
    if constexpr (sums == Sums::exact) {
      if (!(fo < carried.fomin)) continue;
    } else {
      assert(sums == Sums::unbounded ||
             (bounds.low <= static_cast<double>(fo) && static_cast<double>(fo) <= bounds.high));
      // The bounds settle at once that most moves make no new best.
      if (!(bounds.low < static_cast<double>(carried.fomin))) continue;
    }
    if (delta < 0.0f && fo < carried.fomin) {
      carried.fo = fo;
      carried.move_count += level_move + 1;
      if (!record_new_best(carried, current, best, reporting)) {
        carried.bounds = bounds;
        return;
      }
      carried.move_count -= level_move + 1;
    }
  }
  carried.fo = fo;
  carried.bounds = bounds;
  carried.move_count += moves;
}

// The level as the cache settles its moves, reading the cells as doubles
// when it keeps them so.
void cached_level(Carried& carried, RouteCache& cache, std::span<int> current, std::span<int> best, int moves,
                  float temperature, int penalty_weight, const MetropolisTable& table, const DrawBound& bound,
                  const Reporting& reporting) {
  const bool wide = !cache.wide.empty();
  if (cache.exact_sums && wide)
    cached_level<Sums::exact, double>(carried, cache, current, best, moves, temperature, penalty_weight, table, bound,
                                      reporting);
  else if (cache.exact_sums)
    cached_level<Sums::exact, float>(carried, cache, current, best, moves, temperature, penalty_weight, table, bound,
                                     reporting);
  else if (cache.intervals && wide)
    cached_level<Sums::bounded, double>(carried, cache, current, best, moves, temperature, penalty_weight, table,
                                        bound, reporting);
  else if (cache.intervals)
    cached_level<Sums::bounded, float>(carried, cache, current, best, moves, temperature, penalty_weight, table,
                                       bound, reporting);
  else
    cached_level<Sums::unbounded, float>(carried, cache, current, best, moves, temperature, penalty_weight, table,
                                         bound, reporting);
}

// What the field's moves work on during a run: the trips, the granular
// lists, the kinds drawn from, the weight of a unit of overload and what the
// best kept must be.
struct FieldRun {
  const Instance& instance;
  Trips trips;
  NeighbourLists neighbours;
  std::vector<MoveKind> kinds;  // the kinds a step draws from, each as likely
  // The draws of a step: a kind, a customer, one of its neighbours (or an
  // empty truck, for relocate), a variant.
  DrawBound kind_draw, customer_draw, neighbour_draw, relocate_draw, two_draw, eight_draw;
  const MetropolisTable* table = nullptr;
  // The trips' double sums are the Route's float sums. Otherwise a float
  // cannot hold every total of the instance's Routes (two Routes a unit
  // apart may have the same float distance): moves are then judged, and the
  // best kept, on the objective in double, `objective`, and what is reported
  // is its nearest float.
  bool exact = false;
  double objective = 0.0;       // the current Route's objective at `weight`, when not exact
  double best_objective = 0.0;  // the best kept's, priced as field_keep_best prices it, when not exact
  double weight = 0.0;          // the weight a move is judged with
  bool adaptive = false;
  AdaptivePenalty penalty;
  int reported_weight = 0;      // prices overload in what is kept and reported
  bool feasible_best = false;   // the best kept has no overload
  float distance = 0.0f;        // the current Route's float distance
  std::span<int> best;
  RuinRecreate ruin;            // the ruin-and-recreate step's lists and workspace
};

// The best kept: with a fixed weight the least objective, as the program
// keeps it; with the adaptive one the least objective priced with the
// reported weight, and once a Route without overload has been kept only such
// Routes. False when the output asks the search to stop.
bool field_keep_best(FieldRun& run, Carried& carried, float delta, const Reporting& reporting) {
  if (!run.exact) {
    // The same rules, on the objective in double.
    double kept = run.objective;
    const bool feasible = run.trips.excess == 0;
    if (!run.adaptive) {
      if (!(delta < 0.0f && run.objective < run.best_objective)) return true;
    } else {
      if (run.feasible_best && !feasible) return true;
      kept = run.reported_weight * static_cast<double>(run.trips.excess) + run.trips.distance;
      if (!(kept < run.best_objective)) return true;
      run.feasible_best = feasible;
    }
    run.best_objective = kept;
    carried.fomin = static_cast<float>(kept);
  } else if (!run.adaptive) {
    if (!(delta < 0.0f && carried.fo < carried.fomin)) return true;
    carried.fomin = carried.fo;
  } else {
    const bool feasible = run.trips.excess == 0;
    if (run.feasible_best && !feasible) return true;
    const float reported = objective_at_weight(run.reported_weight, run.trips.excess, run.distance);
    if (!(reported < carried.fomin)) return true;
    carried.fomin = reported;
    run.feasible_best = feasible;
  }
  route_from_trips(run.trips, run.best);
  carried.stopped = !reporting.output.annealing_new_best(seconds_between(reporting.start_clock, clock_ms()),
                                                         carried.fomin, carried.move_count);
  return !carried.stopped;
}

// The change of objective of a move to a Route of this penalty and
// distance (in double), when the program's rule accepts it at `temperature`:
// on exact sums the float change, as the program forms it; otherwise the
// change in double, tested as the program tests a float one.
inline std::optional<float> accepted_change(const FieldRun& run, const Carried& carried, double penalty,
                                            double distance, float temperature) {
  if (!run.exact) {
    const double change = penalty + distance - run.objective;
    if (!(change < 0.0 || metropolis_accepts_wide(change, temperature, random_step(), *run.table)))
      return std::nullopt;
    // Only its sign is looked at from here on: kept apart from 0 by the rounding.
    return change < 0.0 ? -1.0f : (change > 0.0 ? 1.0f : 0.0f);
  }
  const float delta = static_cast<float>(penalty + static_cast<double>(static_cast<float>(distance)) +
                                         static_cast<double>(-carried.fo));
  if (!(delta < 0.0f || metropolis_accepts_step(delta, temperature, random_step(), *run.table))) return std::nullopt;
  return delta;
}

// After a move is made: the objective carried, the adaptive weight and the
// best kept. False when the output asks the search to stop.
inline bool field_moved(FieldRun& run, Carried& carried, float delta, const Reporting& reporting) {
  const Trips& trips = run.trips;
  run.distance = static_cast<float>(trips.distance);
  if (run.exact) {
    carried.fo = carried.fo + delta;
  } else {
    run.objective = run.weight * static_cast<double>(trips.excess) + trips.distance;
    carried.fo = static_cast<float>(run.objective);
  }
  if (run.adaptive && penalty_visit(run.penalty, trips.excess > 0)) {
    run.weight = run.penalty.weight;
    run.objective = run.weight * static_cast<double>(trips.excess) + trips.distance;
    carried.fo = run.exact ? objective_at_weight(run.weight, trips.excess, run.distance)
                           : static_cast<float>(run.objective);
  }
  return field_keep_best(run, carried, delta, reporting);
}

// One move of kind `kind`: drawn, planned, judged by the program's rule and
// made when accepted. The kind is a template parameter, so that each kind's
// planning is compiled into the loop.
template <MoveKind kind>
[[gnu::always_inline]] inline bool field_move(FieldRun& run, Carried& carried, float temperature,
                                              const Reporting& reporting) {
  Trips& trips = run.trips;
  const int per_customer = run.neighbours.per_customer;
  MoveValue move{kind, random_below(run.customer_draw) + 1, 0, 0};
  const int pick = random_below(kind == MoveKind::relocate ? run.relocate_draw : run.neighbour_draw);
  if (pick < per_customer)
    move.second = run.neighbours.customers[static_cast<std::size_t>(move.first - 1) * static_cast<std::size_t>(per_customer) +
                                           static_cast<std::size_t>(pick)];
  if constexpr (move_variants(kind) == 2) move.variant = random_below(run.two_draw);
  if constexpr (move_variants(kind) == 8) move.variant = random_below(run.eight_draw);
  const MovePlan plan = plan_move(trips, move);
  if (plan.trips == 0) return true;
  const PlanEffect effect = plan_effect(trips, plan);
  const double penalty = run.weight * effect.excess;
  const std::optional<float> delta =
      accepted_change(run, carried, penalty, trips.distance + effect.distance_change, temperature);
  if (!delta) return true;
  apply_plan(trips, plan, effect);
  return field_moved(run, carried, *delta, reporting);
}

// One ruin-and-recreate step, judged by the same rule: the trips are changed
// in place, and put back when the step is rejected.
[[gnu::noinline]] bool ruin_move(FieldRun& run, Carried& carried, float temperature, const Reporting& reporting) {
  Trips& trips = run.trips;
  ruin(run.ruin, trips);
  recreate(run.ruin, trips);
  const PlanEffect effect = step_effect(run.ruin, trips);
  const double penalty = run.weight * effect.excess;
  const std::optional<float> delta =
      accepted_change(run, carried, penalty, trips.distance + effect.distance_change, temperature);
  if (!delta) {
    undo_step(run.ruin, trips);
    return true;
  }
  keep_step(run.ruin, trips, effect);
  return field_moved(run, carried, *delta, reporting);
}

// A block of moves of the field's kinds, each drawn among run.kinds.
void field_level(FieldRun& run, Carried& carried, int moves, float temperature, const Reporting& reporting) {
  const int kinds = static_cast<int>(run.kinds.size());
  for (int level_move = 0; level_move < moves; ++level_move) {
    ++carried.move_count;
    const MoveKind kind = run.kinds[static_cast<std::size_t>(kinds > 1 ? random_below(run.kind_draw) : 0)];
    bool going = true;
    switch (kind) {
      case MoveKind::relocate:
        going = field_move<MoveKind::relocate>(run, carried, temperature, reporting);
        break;
      case MoveKind::swap:
        going = field_move<MoveKind::swap>(run, carried, temperature, reporting);
        break;
      case MoveKind::two_opt:
        going = field_move<MoveKind::two_opt>(run, carried, temperature, reporting);
        break;
      case MoveKind::two_opt_star:
        going = field_move<MoveKind::two_opt_star>(run, carried, temperature, reporting);
        break;
      case MoveKind::or_opt:
        going = field_move<MoveKind::or_opt>(run, carried, temperature, reporting);
        break;
      case MoveKind::ruin:
        going = ruin_move(run, carried, temperature, reporting);
        break;
      case MoveKind::position_swap:
        break;
    }
    if (!going) return;
  }
}

// The cooling schedules, the same for every kind of move: `level` makes a
// block of moves at a temperature, of at most `poll_block` moves between
// two calls of keep_searching.
template <class Level>
void run_schedules(const Settings& settings, const SearchState& state, SearchOutput& output, Carried& carried,
                   int moves, int poll_block, Level&& level) {
  // Schedules that make no move take a clock reading each: many in a long run.
  long long schedule_index = 1;
  // A move budget ends the run after exactly that many moves, within a level.
  const long long budget = settings.move_limit;
  const long long budget_end = carried.move_count + budget;

  for (bool going_on = true; going_on;) {
    float temperature = settings.initial_temperature / static_cast<float>(schedule_index);
    const bool cools = static_cast<double>(temperature) > kStopTemperature;
    while (going_on && static_cast<double>(temperature) > kStopTemperature) {
      int level_moves = moves;
      if (budget > 0 && budget_end - carried.move_count < level_moves)
        level_moves = static_cast<int>(budget_end - carried.move_count);
      // The level's moves go in blocks, keep_searching asked between them.
      bool halted = false;
      for (int made = 0;;) {
        const int block = std::min(level_moves - made, poll_block);
        level(block, temperature);
        made += block;
        if (carried.stopped || made >= level_moves) break;
        halted = !output.keep_searching({carried.fo, carried.fomin, carried.move_count});
        if (halted) break;
      }
      if (carried.stopped) break;
      temperature = temperature * settings.cooling_factor;
      going_on = !halted && !(budget > 0 && carried.move_count >= budget_end) &&
                 output.keep_searching({carried.fo, carried.fomin, carried.move_count});
    }
    if (carried.stopped) break;
    ++schedule_index;
    // A budget that can no longer be spent ends the run: no two positions to
    // swap, or schedules that start below the stopping temperature (as every
    // later one will).
    if (budget > 0 && (moves == 0 || !cools)) break;
    // Otherwise the run waits for its time limit, still asking keep_searching.
    if (!cools) going_on = output.keep_searching({carried.fo, carried.fomin, carried.move_count});
    if (going_on && seconds_between(state.start_clock, clock_ms()) >= static_cast<double>(settings.time_limit)) break;
  }
}

// The annealing over the field's moves.
SearchEnd field_annealing(const Instance& instance, const Settings& settings, SearchState& state,
                          SearchOutput& output) {
  if (!output.annealing_started(state.fo, state.moves)) return SearchEnd::stopped;
  const Reporting reporting{output, state.start_clock};
  MetropolisTable table;
  FieldRun run{instance, {}, {}, {}, {}, {}, {}, {}, {}, {}, &table, false, 0.0, 0.0, 0.0, settings.adaptive_penalty, {},
               settings.penalty_weight, false, 0.0f, state.best, {}};
  const int route_length = static_cast<int>(state.current.size());
  if (!with_working_memory([&] {
        trips_from_route(run.trips, instance, state.current);
        run.neighbours = nearest_neighbours(instance, settings.granularity);
        for (const MoveKind kind : {MoveKind::relocate, MoveKind::swap, MoveKind::two_opt, MoveKind::two_opt_star,
                                    MoveKind::or_opt, MoveKind::ruin})
          if ((settings.move_kinds & move_bit(kind)) != 0) run.kinds.push_back(kind);
        if ((settings.move_kinds & move_bit(MoveKind::ruin)) != 0)
          ruin_prepare(run.ruin, run.trips, settings.ruin_size, settings.ruin_string, settings.blink,
                       settings.granularity);
      }) ||
      !fill_metropolis_table(table))
    return SearchEnd::out_of_memory;
  const auto bound = [](std::size_t d) { return draw_bound(static_cast<std::uint32_t>(std::max<std::size_t>(d, 1))); };
  run.kind_draw = bound(run.kinds.size());
  run.customer_draw = bound(static_cast<std::size_t>(instance.customer_count));
  run.neighbour_draw = bound(static_cast<std::size_t>(run.neighbours.per_customer));
  run.relocate_draw = bound(static_cast<std::size_t>(run.neighbours.per_customer) + 1);
  run.two_draw = bound(2);
  run.eight_draw = bound(8);
  // Whether the trips' double sums are the Route's float sums, as the
  // program's cache finds it.
  run.exact = route_sums_exact(instance.matrix, route_length);
  run.distance = route_distance(route_length, instance.matrix, state.current);
  run.weight = settings.penalty_weight;
  if (run.adaptive) {
    run.penalty = adaptive_penalty_start(instance, settings.overload_target);
    run.weight = run.penalty.weight;
    // What is kept and reported is priced with the reported weight.
    run.feasible_best = run.trips.excess == 0;
  }
  Carried carried{objective_at_weight(run.weight, run.trips.excess, run.distance), state.fomin, state.moves, {}, false};
  if (!run.exact) {
    run.objective = run.weight * static_cast<double>(run.trips.excess) + run.trips.distance;
    carried.fo = static_cast<float>(run.objective);
    run.best_objective = static_cast<double>(state.fomin);
  }
  const int moves = instance.customer_count >= 2 && run.neighbours.per_customer > 0 && !run.kinds.empty()
                        ? settings.moves_per_temperature
                        : 0;
  // A ruin-and-recreate step takes about as long as a thousand small moves.
  const int poll_block = (settings.move_kinds & move_bit(MoveKind::ruin)) != 0 ? kStepsBetweenPolls : kMovesBetweenPolls;
  run_schedules(settings, state, output, carried, moves, poll_block,
                [&](int block, float temperature) { field_level(run, carried, block, temperature, reporting); });
  route_from_trips(run.trips, state.current);
  state.fo = carried.fo;
  state.fomin = carried.fomin;
  state.moves = carried.move_count;
  if (carried.stopped) return SearchEnd::stopped;
  output.annealing_finished(seconds_between(state.start_clock, clock_ms()));
  return SearchEnd::finished;
}

}  // namespace

SearchEnd simulated_annealing(const Instance& instance, const Settings& settings, SearchState& state,
                              SearchOutput& output, Evaluation evaluation) {
  if (settings.move_kinds != kProgramMoves) return field_annealing(instance, settings, state, output);
  const DistanceMatrix& matrix = instance.matrix;
  const std::span<const int> demand = instance.demand;
  const int route_length = static_cast<int>(state.current.size());
  const std::span<int> route = state.current;
  const std::span<int> best = state.best;
  const int penalty_weight = settings.penalty_weight;
  const Reporting reporting{output, state.start_clock};

  if (!output.annealing_started(state.fo, state.moves)) return SearchEnd::stopped;
  const int moves = has_two_interior_values(route_length, route) ? settings.moves_per_temperature : 0;
  RouteCache cache;
  MetropolisTable table;
  if (evaluation == Evaluation::incremental &&
      !(cache_prepare(cache, matrix, demand, route_length, instance.vehicle_capacity, route) &&
        fill_metropolis_table(table)))
    return SearchEnd::out_of_memory;

  const DrawBound interior = draw_bound(static_cast<std::uint32_t>(std::max(route_length - 2, 1)));
  // A Route's overload is at most the sum of the positive demands.
  double largest_excess = 0.0;
  for (std::size_t node = 1; node < demand.size(); ++node)
    largest_excess += std::max(0.0, static_cast<double>(demand[node]));
  const double largest_penalty = std::fabs(static_cast<double>(penalty_weight)) * largest_excess;
  Carried carried{state.fo, state.fomin, state.moves,
                  carried_bounds(static_cast<double>(state.fo), static_cast<double>(state.fo), cache, largest_penalty),
                  false};
  run_schedules(settings, state, output, carried, moves, kMovesBetweenPolls, [&](int block, float temperature) {
    if (evaluation == Evaluation::whole_route)
      whole_route_level(carried, route, best, block, temperature, matrix, penalty_weight, instance.vehicle_capacity,
                        demand, interior, reporting);
    else
      cached_level(carried, cache, route, best, block, temperature, penalty_weight, table, interior, reporting);
  });
  state.fo = carried.fo;
  state.fomin = carried.fomin;
  state.moves = carried.move_count;
  if (carried.stopped) return SearchEnd::stopped;

  output.annealing_finished(seconds_between(state.start_clock, clock_ms()));
  return SearchEnd::finished;
}
