// Every setting of a search run, and the values worked out from them. The
// program runs with program_settings(); other callers change what they study
// and let derived_values() work out the rest, so no value can disagree with
// the settings it comes from.
#pragma once

#include <algorithm>
#include <limits>

#include "model/instance.h"
#include "model/moves.h"

struct Settings {
  int random_seed = 0;        // seeds the generator once, before the initial Route
  float time_limit = 0.0f;    // seconds since the run's start (the searches' own clock rule)
  long long move_limit = 0;   // annealing moves in all; 0: no limit but the time
  int iteration_limit = 0;    // tabu iterations; 0: no limit but the time
  int penalty_weight = 0;     // the objective's cost of one unit of overload
  int vehicles = 0;           // trucks in the Route; 0: the minimum the demands need
  // Simulated annealing.
  float initial_temperature = 0.0f;
  float cooling_factor = 0.0f;
  int moves_per_temperature = 0;
  // Tabu search.
  int max_stall = 0;          // iterations without a new best before a restart
  int base_tenure = 0;        // the tabu list's length after a new best
  int flat_move_limit = 0;    // flat moves in a row after which the tenure grows
  int tenure_step = 0;        // by this much
  // The hybrid: the share of time_limit its annealing phase gets.
  double hybrid_share = 0.0;
  // What the searches move over and start from (cvrpsolve's choices; the
  // program's are the defaults): the kinds of move, the first `granularity`
  // nearest customers a move may join a customer to, Clarke and Wright's
  // savings as the first Route in place of the random scatter, and a weight
  // of a unit of overload that adapts during the search (penalty_weight
  // then prices overload only in what is reported and kept).
  MoveKinds move_kinds = kProgramMoves;
  int granularity = 20;
  bool savings_start = false;
  bool adaptive_penalty = false;
  double overload_target = 0.25;  // the adaptive penalty's aim: the share of overloaded solutions visited
  // Ruin and recreate (the annealing's move kind ruin): the customers a step
  // takes out on average, the longest string it takes from one trip, and
  // the chance that putting a customer back passes over a place.
  int ruin_size = 10;
  int ruin_string = 10;
  double blink = 0.01;
};

// The program's instance: 50 customers, trucks of capacity 160. Its settings
// are program_settings(kProgramCustomers).
inline constexpr int kProgramCustomers = 50;
inline constexpr int kProgramCapacity = 160;

// The program's fixed settings for an instance of `customer_count`
// customers: seed 19000, 30 s, penalty 1000, annealing from 10000 cooled by
// 0.97 with 10000 moves per temperature, tabu stall 2000, base tenure
// customer_count x 0.8 (40 for 50 customers), flat-move limit 5, tenure step
// 10, the hybrid's annealing 5% of the time.
Settings program_settings(int customer_count);

// The values a run works out from its settings and its instance, in one place.
struct DerivedValues {
  int min_trucks = 0;         // the total demand over the capacity, rounded up
  int trucks = 0;             // the Route's trucks: vehicles, or min_trucks (at least 1)
  int route_length = 0;       // customers + trucks + 1, at most 2^31 - 1
  float annealing_limit = 0;  // the hybrid's annealing phase: time_limit x hybrid_share, as a float
  int tenure_draw_bound = 0;  // a restart draws the tenure below customers x 0.7 ...
  double tenure_floor = 0.0;  // ... and adds customers x 0.2
  double trim_stall = 0.0;    // the stall at which the tabu list is trimmed: max_stall x 0.8
};

DerivedValues derived_values(const Settings& settings, const Instance& instance);

// The tabu tenure grown by `step`, held within the range of an int: flat
// moves in a row (co-located customers) can grow it without end.
inline int grown_tenure(int tenure, int step) {
  constexpr long long kLow = std::numeric_limits<int>::min();
  constexpr long long kHigh = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(static_cast<long long>(tenure) + step, kLow, kHigh));
}

// The annealing's first temperature worked out of the instance's distances
// (cvrpsolve's "--initial-temperature auto"): twice the mean distance from a
// customer to its nearest other customer, at least 1.
float auto_initial_temperature(const Instance& instance);
