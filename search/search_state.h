// What a search works on and hands back: the current and the best Route with
// their objectives, the run's start on the run clock, and the moves and
// iterations made so far. A run sets it up once with start_search; the
// searches carry it on, each from where the one before left it.
#pragma once

#include "model/clock.h"
#include "model/instance.h"
#include "model/route.h"
#include "search/settings.h"

struct SearchState {
  ClockTicks start_clock = 0;  // the run's start: every time is counted from it
  Route current;
  Route best;
  float fo = 0.0f;             // the objective of current, carried by adding changes
  float fomin = 0.0f;          // the objective of best; never above fo
  long long moves = 0;         // annealing moves made in the run
  long long iterations = 0;    // tabu iterations made in the run
};

// The empty trucks a savings start adds when the fleet is not given: room for
// the search to split a trip.
inline constexpr int kSavingsSpareTrucks = 2;

// Seeds the generator with settings.random_seed, makes the current and the
// best Route of derived.route_length entries, scatters the customers over
// random positions of both, and sets fo = fomin to their objective. False
// (and the Routes empty) when the Routes' storage cannot be had.
//
// With settings.savings_start the generator is seeded all the same, and both
// Routes are instead Clarke and Wright's savings over the first
// settings.granularity neighbours of each customer (model/savings.h): the
// trips in order, each closed by a zero, the empty trucks at the end. Their
// trucks: settings.vehicles when it is given (the savings joined past the
// capacity down to it when they need more, empty trucks added when fewer),
// otherwise the savings' trips plus kSavingsSpareTrucks. The Routes' length
// (customers + trucks + 1) may then differ from derived.route_length: the
// Route's own size is its length.
[[nodiscard]] bool start_search(const Instance& instance, const Settings& settings, const DerivedValues& derived,
                                SearchState& state);

// The objective of a Route: its distance plus penalty_weight times its
// overload, as objective_value forms it.
float route_objective(const Instance& instance, int penalty_weight, std::span<const int> route);
