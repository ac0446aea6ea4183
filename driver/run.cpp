#include "driver/run.h"

#include <cstdio>

#include "driver/console.h"
#include "model/random.h"
#include "report/final_report.h"
#include "search/annealing.h"
#include "search/tabu_search.h"

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
  check_truck_count("demanda.dat", state.min_trucks, parameters.customer_count);
  // With no positive total demand the bound is below one truck, and the
  // customers would not fit the Route: such a run uses one truck.
  const int trucks = state.min_trucks >= 1 ? state.min_trucks : 1;
  state.route_length = parameters.customer_count + trucks + 1;
  check_distance_range("distancia.dat", state.matrix, state.route_length);
  std::printf("Minimo de caminhoes = %d\n", state.min_trucks);

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

namespace {

void run_annealing(const RunParameters& p, RunState& s, float time_limit) {
  simulated_annealing(time_limit, p.initial_temperature, p.cooling_factor, p.moves_per_temperature,
                      s.route_length, s.current, s.fo, s.matrix, p.customer_count,
                      p.penalty_weight, p.vehicle_capacity, s.demand, s.fomin, s.best,
                      s.start_clock);
}

void run_tabu(const RunParameters& p, RunState& s) {
  std::printf("Tecle enter para entrar no BUSCA TABU\n");
  tabu_search(p.time_limit, p.max_stall, p.base_tenure, s.route_length, s.current, s.fo, s.matrix,
              p.customer_count, p.penalty_weight, p.vehicle_capacity, s.demand, s.fomin, s.best,
              s.start_clock, p.flat_move_limit, p.tenure_step);
}

// Reads a line's number and the character after it. Anything that is not a
// number is an unrecognised choice (0), and the text stays to be read.
int read_choice() {
  std::fflush(stdout);
  int choice = 0;
  if (std::scanf("%d", &choice) != 1) choice = 0;
  std::getchar();
  return choice;
}

}  // namespace

void run_search(int choice, const RunParameters& parameters, RunState& state) {
  switch (choice) {
    case 2:
      run_tabu(parameters, state);
      break;
    case 3:
      std::printf("Tecle enter para entrar no SIMULATED ANNEALING\n");
      run_annealing(parameters, state,
                    static_cast<float>(parameters.time_limit * parameters.hybrid_share));
      state.fo = state.fomin;
      copy_route(state.route_length, state.best, state.current);
      run_tabu(parameters, state);
      break;
    default:
      std::printf("Tecle enter para entrar no SIMULATED ANNEALING\n");
      run_annealing(parameters, state, parameters.time_limit);
      break;
  }
}

int run_program() {
  RunState state;
  state.start_clock = clock_ms();
  const bool console_open = open_missing_standard_streams();
  const RunParameters parameters;
  // The console shows the search's progress; a large buffer keeps printing
  // from limiting the search. It is flushed before every read, at every new
  // best and at exit.
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  set_up_run(parameters, state);

  std::printf("Digite a sua escolha para rodar o programa \n\n");
  std::printf("Digite 1 para usar o SIMULATED ANNEALING\n");
  std::printf("Digite 2 para usar o BUSCA TABU\n");
  std::printf("Digite 3 para usar o Hibrido\n");
  const int choice = read_choice();
  run_search(choice, parameters, state);

  const ClockTicks end_time = clock_ms();
  final_report(state.fomin, state.demand, parameters.customer_count, parameters.vehicle_capacity,
               state.best, state.matrix, state.route_length);
  std::printf("Tempo de execucao do Programa = %15.7f\n\n",
              seconds_between(state.start_clock, end_time));
  std::printf("Tecle enter para encerrar o programa");
  std::fflush(stdout);
  std::getchar();

  free_matrix(state.matrix);
  free_vector(state.demand);
  free_vector(state.current);
  free_vector(state.best);
  // The run and its files are complete; a console that lost some of its
  // text is still a failure.
  if (!console_written() || !console_open) {
    std::fprintf(stderr, "A saida padrao nao pode ser escrita.\n");
    return 1;
  }
  return 0;
}
