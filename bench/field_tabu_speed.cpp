// Iterations per second of the tabu search over the field's moves:
//
//   field_tabu_speed [--kinds LIST] [--granularity K] [--iterations N] [--adaptive] INSTANCE.vrp...
//
// Each instance is read with its distances rounded, started from the
// program's random scatter (seed 19000) over its fewest trucks plus three
// spare, and searched for N iterations (default 2,000,000 / n, at least
// 1000) with the program's tabu settings for its size and no restart; the
// figures (processor seconds, the first scan included) go to standard output.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "model/cvrplib.h"
#include "model/moves.h"
#include "search/search_state.h"
#include "search/settings.h"
#include "search/tabu_search.h"

int main(int argc, char** argv) {
  MoveKinds kinds = kAllFieldMoves;
  int granularity = 20;
  long long iterations = 0;
  bool adaptive = false;
  for (int a = 1; a < argc; ++a) {
    const auto value = [&] {
      if (a + 1 >= argc) std::exit(2);
      return std::string(argv[++a]);
    };
    if (std::strcmp(argv[a], "--kinds") == 0) {
      const auto parsed = parse_move_kinds(value());
      if (!parsed) return 2;
      kinds = *parsed;
    } else if (std::strcmp(argv[a], "--granularity") == 0) {
      granularity = std::atoi(value().c_str());
    } else if (std::strcmp(argv[a], "--iterations") == 0) {
      iterations = std::atoll(value().c_str());
    } else if (std::strcmp(argv[a], "--adaptive") == 0) {
      adaptive = true;
    } else {
      Instance instance;
      if (const auto failure = read_cvrplib(argv[a], true, instance)) {
        std::fprintf(stderr, "%s\n", failure->c_str());
        return 1;
      }
      const int n = instance.customer_count;
      Settings settings = program_settings(n);
      settings.move_kinds = kinds;
      settings.granularity = granularity;
      settings.adaptive_penalty = adaptive;
      settings.vehicles = derived_values(settings, instance).min_trucks + 3;
      settings.iteration_limit = static_cast<int>(iterations > 0 ? iterations : std::max(1000, 2000000 / n));
      settings.max_stall = settings.iteration_limit + 1;
      settings.time_limit = 1e6f;
      SearchState state;
      if (!start_search(instance, settings, derived_values(settings, instance), state)) return 1;
      state.start_clock = clock_ms();
      SearchOutput silent;
      const std::clock_t begin = std::clock();
      tabu_search(instance, settings, state, silent);
      const double seconds = static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
      std::printf("%-14s n=%5d K=%2d %-8s %8lld iterations %8.3f s %10.0f iterations/s  best %.0f\n",
                  instance.name.c_str(), n, granularity, move_kinds_text(kinds).c_str(), state.iterations, seconds,
                  static_cast<double>(state.iterations) / seconds, static_cast<double>(state.fomin));
    }
  }
  return 0;
}
