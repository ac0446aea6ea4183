#include "search/settings.h"

#include <algorithm>
#include <limits>

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
  // Provisional: worked out properly with the field's annealing.
  (void)instance;
  return 100.0f;
}
