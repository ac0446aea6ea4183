#include "search/search_state.h"

#include <cstddef>
#include <limits>
#include <vector>

#include "model/neighbours.h"
#include "model/random.h"
#include "model/savings.h"

namespace {

// The savings' trips as the current and the best Route: 0, trip, 0, trip,
// 0, ..., the empty trucks as zeros at the end. False when the storage
// cannot be had.
bool start_from_savings(const Instance& instance, const Settings& settings, SearchState& state) {
  std::vector<std::vector<int>> trips;
  if (!with_working_memory([&] {
        trips = savings_trips(instance, nearest_neighbours(instance, settings.granularity), settings.vehicles);
      }))
    return false;
  const long long trucks = settings.vehicles > 0 ? settings.vehicles
                                                 : static_cast<long long>(trips.size()) + kSavingsSpareTrucks;
  const long long length = static_cast<long long>(instance.customer_count) + trucks + 1;
  if (length > std::numeric_limits<int>::max() || !alloc_vector(static_cast<int>(length), state.current) ||
      !alloc_vector(static_cast<int>(length), state.best))
    return false;
  zero_vector(state.current);
  std::size_t at = 1;
  for (const std::vector<int>& trip : trips) {
    for (const int customer : trip) state.current[at++] = customer;
    ++at;
  }
  state.best = state.current;
  return true;
}

// The program's first Route: the customers scattered at random over the
// zeroed Routes of derived.route_length positions. False when the storage
// cannot be had.
bool start_from_scatter(const Instance& instance, const DerivedValues& derived, SearchState& state) {
  if (!alloc_vector(derived.route_length, state.current) || !alloc_vector(derived.route_length, state.best))
    return false;
  zero_vector(state.current);
  zero_vector(state.best);
  build_initial_route(instance.demand, derived.route_length, state.current, instance.customer_count, state.best);
  return true;
}

}  // namespace

bool start_search(const Instance& instance, const Settings& settings, const DerivedValues& derived,
                  SearchState& state) {
  seed_random(static_cast<unsigned>(settings.random_seed));
  const bool made = settings.savings_start ? start_from_savings(instance, settings, state)
                                           : start_from_scatter(instance, derived, state);
  if (!made) {
    free_vector(state.current);
    free_vector(state.best);
    return false;
  }
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
