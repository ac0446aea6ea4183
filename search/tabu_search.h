// Tabu search over the swap neighbourhood, with an adaptive tenure and
// restarts from the best Route.
#pragma once

#include "model/instance.h"
#include "model/route_cache.h"
#include "search/search_output.h"
#include "search/search_state.h"
#include "search/settings.h"

// The swap an iteration makes and its change of objective.
struct SwapChoice {
  int no1;
  int no2;
  float delta;
  bool operator==(const SwapChoice&) const = default;
};

// Each iteration makes the best admissible swap (even a worsening one),
// records it in the tabu list and keeps the best Route; after max_stall
// iterations without a new best it restarts from the best Route, and stops at
// the first restart whose clock reading is at or past settings.time_limit
// (measured from state.start_clock), after settings.iteration_limit
// iterations (when it is not 0), or when the output's keep_searching says to
// stop after an iteration (or within a long scan: that iteration is then not
// made, nor counted; or, on a large instance, within the survey of its
// matrix that comes before the first iteration). Every iteration and new best is reported to the
// output. On entry fo == fomin and current == best; on a finished return
// too (a stopped one may leave the iteration it was in). Both evaluations
// make the same moves.
SearchEnd tabu_search(const Instance& instance, const Settings& settings, SearchState& state, SearchOutput& output,
                      Evaluation evaluation = Evaluation::incremental);
