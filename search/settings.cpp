#include "search/settings.h"

#include <algorithm>
#include <limits>

#include "model/neighbours.h"
#include "model/route.h"

Settings program_settings(int customer_count) {
  Settings settings;
  settings.random_seed = 19000;
  settings.time_limit = 30.0f;
  settings.penalty_weight = 1000;
  settings.initial_temperature = 10000.0f;
  settings.cooling_factor = 0.97f;
  settings.moves_per_temperature = 10000;
  settings.max_stall = 2000;
  // The product is formed in double and truncated: 40 for 50 customers.
  settings.base_tenure = static_cast<int>(customer_count * 0.8);
  settings.flat_move_limit = 5;
  settings.tenure_step = 10;
  settings.hybrid_share = 0.05;
  return settings;
}

DerivedValues derived_values(const Settings& settings, const Instance& instance) {
  DerivedValues values;
  const int customers = instance.customer_count;
  values.min_trucks = min_trucks(instance.demand, customers + 1, instance.vehicle_capacity);
  // With no positive total demand the bound is below one truck, and the
  // customers would not fit the Route: such a run uses one truck.
  values.trucks = settings.vehicles > 0 ? settings.vehicles : values.min_trucks >= 1 ? values.min_trucks : 1;
  // Formed in 64 bits: demands that need more trucks than there are
  // customers (which a run refuses once it has them) can pass an int here.
  values.route_length = static_cast<int>(std::min<long long>(
      static_cast<long long>(customers) + values.trucks + 1, std::numeric_limits<int>::max()));
  values.annealing_limit = static_cast<float>(settings.time_limit * settings.hybrid_share);
  // Each product is formed in double: 35 and 10.0 for 50 customers, 1600.0
  // for a stall of 2000.
  values.tenure_draw_bound = static_cast<int>(customers * 0.7);
  values.tenure_floor = customers * 0.2;
  values.trim_stall = settings.max_stall * 0.8;
  return values;
}

float auto_initial_temperature(const Instance& instance) {
  // Twice the mean distance from a customer to its nearest other customer
  // (the shorter way on an asymmetric matrix): a move that lengthens the
  // Route by about one such distance starts out accepted with probability
  // e^-0.5, about 0.6, and the first schedule cools to the stopping
  // temperature from a scale of the instance's own. At least 1, ten times
  // the stopping temperature (and 1 with fewer than two customers).
  const int customers = instance.customer_count;
  if (customers < 2) return 1.0f;
  const NeighbourLists nearest = nearest_neighbours(instance, 1);
  double sum = 0.0;
  for (int customer = 1; customer <= customers; ++customer) {
    const int other = nearest.of(customer)[0];
    sum += std::min(static_cast<double>(instance.matrix.at(customer, other)),
                    static_cast<double>(instance.matrix.at(other, customer)));
  }
  const double temperature = 2.0 * sum / customers;
  return static_cast<float>(std::max(temperature, 1.0));
}
