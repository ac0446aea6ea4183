#include "search/tabu_search.h"

#include <algorithm>
#include <limits>

#include "model/moves.h"
#include "model/random.h"
#include "model/route.h"
#include "search/field_tabu.h"
#include "search/tabu_memory.h"
#include "search/tabu_scan.h"

SearchEnd tabu_search(const Instance& instance, const Settings& settings, SearchState& state, SearchOutput& output,
                      Evaluation evaluation) {
  if (settings.move_kinds != kProgramMoves) return field_tabu_search(instance, settings, state, output);
  const int route_length = static_cast<int>(state.current.size());
  const std::span<int> current = state.current;
  const std::span<int> best = state.best;
  const ClockTicks start_clock = state.start_clock;
  const int penalty_weight = settings.penalty_weight;
  const DerivedValues derived = derived_values(settings, instance);
  float& fo = state.fo;
  float& fomin = state.fomin;
  ClockTicks reading = clock_ms();
  // A 30-second run makes a few million iterations, a run of ten minutes
  // more than 2^31: the counts are 64-bit.
  long long iter = 0;
  long long last_improvement = 0;
  int tenure = settings.base_tenure;
  long long flat_moves = 0;
  int no1 = 0;
  int no2 = 0;
  float delta = 0.0f;
  TabuMemory memory;
  RouteCache cache;
  ScanScratch scratch;
  const bool cached = evaluation == Evaluation::incremental;
  // The survey of the matrix passes over every cell: on a large instance it
  // hears a stop (a deadline) on its way, and the search ends before its
  // first iteration.
  MatrixSurvey survey;
  if (cached && !survey_matrix(instance.matrix, survey, {&output, {fo, fomin, state.iterations}})) {
    output.tabu_finished(elapsed_seconds(start_clock));
    return SearchEnd::finished;
  }
  if (!memory_prepare(memory, route_length) ||
      (cached && !(cache_prepare(cache, instance.matrix, survey.cells, instance.demand, route_length,
                                 instance.vehicle_capacity, current) &&
                   scan_prepare(scratch, cache, survey.symmetric))))
    return SearchEnd::out_of_memory;
  // False when the output said to stop within the scan (a long Route's).
  const auto scan = [&] {
    if (cached)
      return best_admissible_swap_cached(no1, no2, delta, cache, current, fo, penalty_weight, fomin, memory, scratch,
                                         {&output, {fo, fomin, state.iterations - 1}});
    best_admissible_swap(no1, no2, delta, route_length, current, fo, instance.matrix, penalty_weight,
                         instance.vehicle_capacity, instance.demand, fomin, memory.list);
    return true;
  };
  // Ends the search with the best Route as the current one.
  const auto finish = [&] {
    copy_route(route_length, best, current);
    fo = fomin;
    output.tabu_finished(elapsed_seconds(start_clock));
    return SearchEnd::finished;
  };

  if (!output.tabu_started(seconds_between(start_clock, reading), fo)) return SearchEnd::stopped;

  for (;;) {
    ++iter;
    ++state.iterations;
    bool scanned = scan();
    while (scanned && delta == kNothingAdmissible) {
      // With at most one move in the list a new scan would find nothing
      // again: end the search as a restart would.
      if (memory.length <= 1) return finish();
      memory_trim(memory);
      scanned = scan();
    }
    if (!scanned) {
      // Told to stop within the scan: this iteration is not made.
      --state.iterations;
      return finish();
    }
    const MoveValue move{MoveKind::position_swap, no1, no2, 0};
    output.tabu_move_chosen(iter, delta, move);

    if (!memory_append(memory, move)) return SearchEnd::out_of_tabu_memory;
    if (memory.length > tenure) memory_remove_oldest(memory);

    swap_positions(no1, no2, current);
    if (cached) cache_describe(cache, current);
    fo = fo + delta;

    if (delta == 0.0f) {
      ++flat_moves;
      if (flat_moves >= settings.flat_move_limit) tenure = grown_tenure(tenure, settings.tenure_step);
    } else {
      flat_moves = 0;
    }

    if (fo < fomin) {
      reading = clock_ms();
      fomin = fo;
      last_improvement = iter;
      copy_route(route_length, current, best);
      tenure = settings.base_tenure;
      if (!output.tabu_new_best(seconds_between(start_clock, reading), fomin, iter)) return SearchEnd::stopped;
    }

    // Every max_stall iterations at most, a restart sets it back to 0.
    const int stall = static_cast<int>(iter - last_improvement);
    output.tabu_iteration_done(fo, stall);
    if (static_cast<double>(stall) == derived.trim_stall) memory_trim(memory);
    if ((settings.iteration_limit > 0 && iter >= settings.iteration_limit) ||
        !output.keep_searching({fo, fomin, state.iterations}))
      return finish();
    if (stall < settings.max_stall) continue;

    last_improvement = iter;
    memory_trim(memory);
    reading = clock_ms();
    tenure = static_cast<int>(random_below(derived.tenure_draw_bound) + derived.tenure_floor);
    copy_route(route_length, best, current);
    if (cached) cache_describe(cache, current);
    fo = fomin;
    if (!(seconds_between(start_clock, reading) < static_cast<double>(settings.time_limit))) break;
  }
  return finish();
}
