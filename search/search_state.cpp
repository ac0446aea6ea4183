#include "search/search_state.h"

#include "model/random.h"

bool start_search(const Instance& instance, const Settings& settings, const DerivedValues& derived,
                  SearchState& state) {
  seed_random(static_cast<unsigned>(settings.random_seed));
  if (!alloc_vector(derived.route_length, state.current) || !alloc_vector(derived.route_length, state.best)) {
    free_vector(state.current);
    free_vector(state.best);
    return false;
  }
  zero_vector(state.current);
  zero_vector(state.best);
  build_initial_route(instance.demand, derived.route_length, state.current, instance.customer_count, state.best);
  state.fo = route_objective(instance, settings.penalty_weight, state.current);
  state.fomin = state.fo;
  return true;
}

float route_objective(const Instance& instance, int penalty_weight, std::span<const int> route) {
  const int length = static_cast<int>(route.size());
  const float distance = route_distance(length, instance.matrix, route);
  const int excess = capacity_excess(length, instance.vehicle_capacity, route, instance.demand);
  return objective_value(excess * penalty_weight, distance);
}
