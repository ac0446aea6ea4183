#include "driver/run.h"

#include <cstdio>

#include "model/random.h"

void set_up_run(const RunParameters& parameters, RunState& state) {
  seed_random(static_cast<unsigned>(parameters.random_seed));
  const int nodes = parameters.customer_count + 1;

  state.matrix = alloc_matrix(nodes, nodes);
  zero_matrix(state.matrix);
  read_distances("distancia.dat", state.matrix);
  state.demand = alloc_vector(nodes);
  zero_vector(state.demand);
  read_demands("demanda.dat", state.demand, parameters.penalty_weight);

  state.min_trucks = min_trucks(state.demand, nodes, parameters.vehicle_capacity);
  std::printf("Minimo de caminhoes = %d\n", state.min_trucks);
  // With no positive total demand the bound is below one truck, and the
  // customers would not fit the Route: such a run uses one truck.
  const int trucks = state.min_trucks >= 1 ? state.min_trucks : 1;
  state.route_length = parameters.customer_count + trucks + 1;

  state.current = alloc_vector(state.route_length);
  state.best = alloc_vector(state.route_length);
  zero_vector(state.current);
  zero_vector(state.best);
  build_initial_route(state.demand, state.route_length, state.current, parameters.customer_count,
                      state.best);

  const float distance = route_distance(state.route_length, state.matrix, state.current);
  const int excess =
      capacity_excess(state.route_length, parameters.vehicle_capacity, state.current, state.demand);
  state.fo = objective_value(excess * parameters.penalty_weight, distance);
  state.fomin = state.fo;
  std::printf("Fo = %f\n", static_cast<double>(state.fo));
}

int run_program() {
  RunState state;
  state.start_clock = clock_ms();
  const RunParameters parameters;
  set_up_run(parameters, state);
  std::fflush(stdout);
  return 0;
}
