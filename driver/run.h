// One run of the program: the set-up (instance, initial Route), the menu, the
// chosen search and the close, with the fixed instance size and settings of
// search/settings.h (kProgramCustomers, program_settings). Every failure
// below is turned into the program's message here, and the run ends with
// status 1.
#pragma once

#include "driver/program_output.h"
#include "model/instance.h"
#include "search/search_state.h"
#include "search/settings.h"

// Everything a run owns from set-up to close.
struct RunState {
  Instance instance;
  Settings settings;
  DerivedValues derived;
  SearchState search;
};

// Reads the instance from the working directory, prints the minimum number of
// trucks, builds the initial Route into current and best and prints its
// objective ("Fo = %f"). A failure ends the run with its message and status 1.
void set_up_run(RunState& run);

// Runs the search of a menu choice: 2 tabu search, 3 the hybrid (a short
// annealing, then tabu search from its best Route), anything else annealing,
// printing through `output`. A failure ends the run with its message and status 1.
void run_search(int choice, RunState& run, ProgramOutput& output);

// The whole program: set-up, menu, search, report, close. Returns the exit status.
int run_program();
