#include "driver/run.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "driver/console.h"
#include "report/final_report.h"
#include "search/annealing.h"
#include "search/hybrid.h"
#include "search/tabu_search.h"

namespace {

// Prints the message of a failure and ends the run with status 1.
[[noreturn]] void stop_run(const std::string& message) {
  std::fputs(message.c_str(), stdout);
  std::fflush(stdout);
  std::exit(1);
}

void stop_on(const std::optional<std::string>& failure) {
  if (failure) stop_run(*failure);
}

// Storage that cannot be had.
[[noreturn]] void stop_short_of(const char* what) { stop_run(shortage_message(what)); }

// An output file that cannot be opened or written: its message has no line break.
[[noreturn]] void stop_on_file(const char* failure, const char* path) {
  stop_run("O arquivo " + std::string(path) + " nao pode ser " + failure);
}

}  // namespace

void set_up_run(RunState& run) {
  run.settings = program_settings(kProgramCustomers);
  Instance& instance = run.instance;
  stop_on(load_dat_instance("", kProgramCustomers, kProgramCapacity, run.settings.penalty_weight, instance));

  run.derived = derived_values(run.settings, instance);
  stop_on(check_truck_count("demanda.dat", run.derived.min_trucks, kProgramCustomers));
  stop_on(check_distance_range("distancia.dat", instance.matrix, run.derived.route_length));
  std::printf("Minimo de caminhoes = %d\n", run.derived.min_trucks);

  if (!start_search(instance, run.settings, run.derived, run.search)) stop_short_of(kVectorShortage);
  std::printf("Fo = %f\n", static_cast<double>(run.search.fo));
}

namespace {

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

void run_search(int choice, RunState& run, ProgramOutput& output) {
  SearchEnd end = SearchEnd::finished;
  switch (choice) {
    case 2:
      announce_tabu();
      end = tabu_search(run.instance, run.settings, run.search, output);
      break;
    case 3:
      announce_annealing();
      end = hybrid_search(run.instance, run.settings, run.search, output);
      break;
    default:
      announce_annealing();
      end = simulated_annealing(run.instance, run.settings, run.search, output);
      break;
  }
  switch (end) {
    case SearchEnd::finished:
      return;
    case SearchEnd::stopped:
      stop_on_file("aberto", output.failed_log());
    case SearchEnd::out_of_memory:
      stop_short_of(kWorkingShortage);
    case SearchEnd::out_of_tabu_memory:
      stop_run(kTabuListShortage);
  }
}

int run_program() {
  RunState run;
  run.search.start_clock = clock_ms();
  const bool console_open = open_missing_standard_streams();
  // The console shows the search's progress; a large buffer keeps printing
  // from limiting the search. It is flushed before every read, at every new
  // best and at exit.
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  set_up_run(run);

  std::printf("Digite a sua escolha para rodar o programa \n\n");
  std::printf("Digite 1 para usar o SIMULATED ANNEALING\n");
  std::printf("Digite 2 para usar o BUSCA TABU\n");
  std::printf("Digite 3 para usar o Hibrido\n");
  const int choice = read_choice();
  ProgramOutput output;
  run_search(choice, run, output);

  const ClockTicks end_time = clock_ms();
  const SearchState& search = run.search;
  const Instance& instance = run.instance;
  switch (final_report(search.fomin, instance.demand, instance.customer_count, instance.vehicle_capacity,
                       search.best, instance.matrix, run.derived.route_length)) {
    case ReportFile::written:
      break;
    case ReportFile::not_opened:
      stop_on_file("aberto", "solucao.dat");
    case ReportFile::not_written:
      stop_on_file("escrito", "solucao.dat");
  }
  std::printf("Tempo de execucao do Programa = %15.7f\n\n", seconds_between(search.start_clock, end_time));
  std::printf("Tecle enter para encerrar o programa");
  std::fflush(stdout);
  std::getchar();

  free_matrix(run.instance.matrix);
  free_vector(run.instance.demand);
  free_vector(run.search.current);
  free_vector(run.search.best);
  // The run and its files are complete; a console that lost some of its
  // text is still a failure.
  if (!console_written() || !console_open) {
    std::fprintf(stderr, "A saida padrao nao pode ser escrita.\n");
    return 1;
  }
  return 0;
}
