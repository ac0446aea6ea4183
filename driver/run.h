// One run of the program: the fixed settings, the set-up (instance, initial
// Route), the menu, the chosen search and the close.
#pragma once

#include "model/clock.h"
#include "model/instance.h"
#include "model/route.h"

// The run's fixed settings.
struct RunParameters {
  int customer_count = 50;
  int vehicle_capacity = 160;
  int penalty_weight = 1000;
  float time_limit = 30.0f;
  int random_seed = 19000;
  float initial_temperature = 10000.0f;
  float cooling_factor = 0.97f;
  int moves_per_temperature = 10000;
  int max_stall = 2000;
  int base_tenure = static_cast<int>(customer_count * 0.8);  // 40
  int flat_move_limit = 5;
  int tenure_step = 10;
  double hybrid_share = 0.05;
};

// Everything a run owns from set-up to close.
struct RunState {
  ClockTicks start_clock = 0;
  DistanceMatrix matrix;
  DemandVector demand;
  int min_trucks = 0;
  int route_length = 0;
  Route current;
  Route best;
  float fo = 0.0f;
  float fomin = 0.0f;
};

// Reads the instance from the working directory, prints the minimum number of
// trucks, builds the initial Route into current and best and prints its
// objective ("Fo = %f"). Input failures end the run with status 1.
void set_up_run(const RunParameters& parameters, RunState& state);

// Runs the search of a menu choice: 2 tabu search, 3 the hybrid (a short
// annealing, then tabu search from its best Route), anything else annealing.
void run_search(int choice, const RunParameters& parameters, RunState& state);

// The whole program: set-up, menu, search, report, close. Returns the exit status.
int run_program();
