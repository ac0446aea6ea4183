// Simulated annealing over random swaps of two interior Route positions.
#pragma once

#include "model/instance.h"
#include "model/route_cache.h"
#include "search/search_output.h"
#include "search/search_state.h"
#include "search/settings.h"

// A level runs while its temperature, in double, is above this: a schedule
// that starts at or below it makes no move.
inline constexpr double kStopTemperature = 0.1;

// Improves the current Route of `state` by Metropolis-accepted swaps under
// geometric cooling schedules, the k-th starting at initial_temperature / k,
// until a schedule ends with the time since state.start_clock at or past
// settings.time_limit (so at least one whole schedule always runs), or
// settings.move_limit moves have been made (when it is not 0), or the
// output's keep_searching says to stop (at the end of a temperature level,
// every kMovesBetweenPolls moves within one, and at the end of a schedule
// that makes no move).
// fo is carried by adding each accepted change; every new best updates fomin
// and best and is reported with the run's move count (state.moves, which it
// advances). Both evaluations make the same moves and report the same numbers.
SearchEnd simulated_annealing(const Instance& instance, const Settings& settings, SearchState& state,
                              SearchOutput& output, Evaluation evaluation = Evaluation::incremental);
