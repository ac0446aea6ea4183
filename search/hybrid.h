// The hybrid: a short simulated annealing, then tabu search from its best Route.
#pragma once

#include "model/instance.h"
#include "model/route_cache.h"
#include "search/search_output.h"
#include "search/search_state.h"
#include "search/settings.h"

// Runs the annealing with the share of the time limit the settings give it
// (derived_values' annealing_limit; with a move limit, that many moves), makes
// its best Route the current one with fo = fomin, asks keep_searching once
// more (false ends the hybrid there: a deadline reached in the annealing),
// tells the output of the switch, and runs the tabu search on the whole time
// limit (or its iteration limit). Both phases count time from state.start_clock; the tabu search
// replaces the best only by something strictly better than the annealing's.
SearchEnd hybrid_search(const Instance& instance, const Settings& settings, SearchState& state,
                        SearchOutput& output, Evaluation evaluation = Evaluation::incremental);
