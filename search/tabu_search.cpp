#include "search/tabu_search.h"

#include <cstdio>

#include "model/random.h"
#include "model/route.h"
#include "report/progress_log.h"
#include "search/tabu_memory.h"
#include "search/tabu_scan.h"

namespace {

constexpr const char* kLogPath = "fo_BT.out";

// The search's last line: the time since the run started.
void print_closing_line(ClockTicks start_clock) {
  std::printf("Tempo de execucao da busca tabu = %7.2f segundos\n", elapsed_seconds(start_clock));
}

}  // namespace

void tabu_search(float time_limit, int max_stall, int base_tenure, int route_length,
                 std::span<int> current, float& fo, const DistanceMatrix& matrix,
                 int customer_count, int penalty_weight, int vehicle_capacity,
                 std::span<const int> demand, float& fomin, std::span<int> best,
                 ClockTicks start_clock, int flat_move_limit, int tenure_step,
                 Evaluation evaluation, std::vector<SwapChoice>* trace) {
  ClockTicks reading = clock_ms();
  // A 30-second run makes a few million iterations: far from the range of
  // an int, even on a machine ten times as fast.
  int iter = 0;
  int last_improvement = 0;
  int tenure = base_tenure;
  int flat_moves = 0;
  // Both products are formed in double: 35 and 1600 with the fixed settings.
  const int tenure_draw_bound = static_cast<int>(customer_count * 0.7);
  const double trim_stall = max_stall * 0.8;
  int no1 = 0;
  int no2 = 0;
  float delta = 0.0f;
  TabuMemory memory;
  memory_prepare(memory, route_length);
  RouteCache cache;
  ScanScratch scratch;
  const bool cached = evaluation == Evaluation::incremental;
  if (cached) {
    cache_prepare(cache, matrix, demand, route_length, vehicle_capacity, current);
    scan_prepare(scratch, route_length);
  }
  const auto scan = [&] {
    if (cached)
      best_admissible_swap_cached(no1, no2, delta, cache, current, fo, penalty_weight, fomin, memory,
                                  scratch);
    else
      best_admissible_swap(no1, no2, delta, route_length, current, fo, matrix, penalty_weight,
                           vehicle_capacity, demand, fomin, memory.list);
  };

  log_reset(kLogPath);
  log_progress(kLogPath, static_cast<float>(seconds_between(start_clock, reading)), fo, iter);

  for (;;) {
    ++iter;
    scan();
    while (delta == kNothingAdmissible) {
      // With at most one move in the list a new scan would find nothing
      // again: end the search as a restart would.
      if (memory.length <= 1) {
        copy_route(route_length, best, current);
        fo = fomin;
        print_closing_line(start_clock);
        return;
      }
      memory_trim(memory);
      scan();
    }
    if (trace != nullptr) trace->push_back({no1, no2, delta});
    std::printf("melhor delta = %4f\n", static_cast<double>(delta));
    std::printf("no1 = %2d no2 = %2d \n", no1, no2);

    memory_append(memory, no1, no2);
    if (memory.length > tenure) memory_remove_oldest(memory);

    swap_positions(no1, no2, current);
    if (cached) cache_describe(cache, current);
    fo = fo + delta;

    if (delta == 0.0f) {
      ++flat_moves;
      if (flat_moves >= flat_move_limit) tenure += tenure_step;
    } else {
      flat_moves = 0;
    }

    if (fo < fomin) {
      reading = clock_ms();
      log_progress(kLogPath, static_cast<float>(seconds_between(start_clock, reading)), fo, iter);
      fomin = fo;
      last_improvement = iter;
      copy_route(route_length, current, best);
      tenure = base_tenure;
      std::printf("iter = %3d  ***   fomin = %5f\n", iter, static_cast<double>(fomin));
      std::fflush(stdout);
    }

    const int stall = iter - last_improvement;
    std::printf("fo = %5f     iteracoes sem melhora = %5d\n", static_cast<double>(fo), stall);
    if (static_cast<double>(stall) == trim_stall) memory_trim(memory);
    if (stall < max_stall) continue;

    last_improvement = iter;
    memory_trim(memory);
    reading = clock_ms();
    tenure = static_cast<int>(random_below(tenure_draw_bound) + customer_count * 0.2);
    copy_route(route_length, best, current);
    if (cached) cache_describe(cache, current);
    fo = fomin;
    if (!(seconds_between(start_clock, reading) < static_cast<double>(time_limit))) break;
  }

  print_closing_line(start_clock);
}
