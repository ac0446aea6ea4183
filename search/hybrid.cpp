#include "search/hybrid.h"

#include "search/annealing.h"
#include "search/tabu_search.h"

SearchEnd hybrid_search(const Instance& instance, const Settings& settings, SearchState& state,
                        SearchOutput& output, Evaluation evaluation) {
  Settings annealing = settings;
  annealing.time_limit = derived_values(settings, instance).annealing_limit;
  if (const SearchEnd end = simulated_annealing(instance, annealing, state, output, evaluation);
      end != SearchEnd::finished)
    return end;
  state.fo = state.fomin;
  copy_route(static_cast<int>(state.current.size()), state.best, state.current);
  // A caller's stop heard in the annealing (its deadline) ends the hybrid
  // there, before the tabu search sets up its storage.
  if (!output.keep_searching({state.fo, state.fomin, state.moves})) return SearchEnd::finished;
  output.hybrid_switch();
  return tabu_search(instance, settings, state, output, evaluation);
}
