#include "search/annealing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/random.h"
#include "model/route.h"
#include "report/progress_log.h"

namespace {

constexpr const char* kLogPath = "fo_SA.out";
constexpr double kStopTemperature = 0.1;

// A swap needs two interior positions holding different values.
bool has_two_interior_values(int route_length, std::span<const int> route) {
  for (int i = 2; i < route_length - 1; ++i)
    if (route[static_cast<std::size_t>(i)] != route[1]) return true;
  return false;
}

// The Metropolis test of a change that does not improve.
bool metropolis_accepts(float delta, float temperature, float u) {
  return std::exp(-1.0 * static_cast<double>(delta) / static_cast<double>(temperature)) >
         static_cast<double>(u);
}

// True when every change of at least `low` is sure to fail the Metropolis
// test against u. exp is within an ulp of the true value and the argument
// only falls as the change grows, so a margin of 1e-12 covers both. A u of 0
// rejects only a change whose exp underflows to 0: that is left to the exact
// test.
bool surely_rejected(float low, float temperature, float u) {
  if (u == 0.0f) return false;
  const double argument = -1.0 * static_cast<double>(low) / static_cast<double>(temperature);
  // exp(-9.3) is below the smallest non-zero u, float(0.0001).
  if (argument < -9.3) return true;
  return std::exp(argument) * (1.0 + 1e-12) < static_cast<double>(u);
}

float draw_uniform() { return static_cast<float>(random_uniform(0.0, 1.0)); }

float seconds_since(ClockTicks reading, ClockTicks start_clock) {
  return static_cast<float>(static_cast<double>(reading - start_clock) * 0.001);
}

}  // namespace

void simulated_annealing(float time_limit, float initial_temperature, float cooling_factor,
                         int moves_per_temperature, int route_length, std::span<int> current,
                         float& fo, const DistanceMatrix& matrix, int /*customer_count*/,
                         int penalty_weight, int vehicle_capacity, std::span<const int> demand,
                         float& fomin, std::span<int> best, ClockTicks start_clock,
                         Evaluation evaluation) {
  ClockTicks reading = start_clock;
  int schedule_index = 1;
  int move_count = 0;
  log_reset(kLogPath);
  log_progress(kLogPath, seconds_since(reading, start_clock), fo, move_count);

  const int moves = has_two_interior_values(route_length, current) ? moves_per_temperature : 0;
  RouteCache cache;
  if (evaluation == Evaluation::incremental)
    cache_prepare(cache, matrix, demand, route_length, vehicle_capacity, current);
  const auto draw_position = [route_length] { return random_below(route_length - 2) + 1; };

  for (;;) {
    float temperature = initial_temperature / static_cast<float>(schedule_index);
    while (static_cast<double>(temperature) > kStopTemperature) {
      for (int level_move = 0; level_move < moves; ++level_move) {
        ++move_count;
        const int i = draw_position();
        int j = draw_position();
        while (current[static_cast<std::size_t>(i)] == current[static_cast<std::size_t>(j)]) j = draw_position();

        float delta = 0.0f;
        bool accepted = false;
        if (evaluation == Evaluation::whole_route) {
          swap_positions(i, j, current);
          const float distance = route_distance(route_length, matrix, current);
          const int excess = capacity_excess(route_length, vehicle_capacity, current, demand);
          delta = objective_change(penalty_weight * excess, distance, fo);
          accepted = delta < 0.0f || metropolis_accepts(delta, temperature, draw_uniform());
          if (!accepted) swap_positions(i, j, current);
        } else {
          const int first = std::min(i, j);
          const int second = std::max(i, j);
          const int penalty = penalty_weight * swapped_excess(cache, current, first, second);
          bool drawn = false;
          float u = 0.0f;
          if (cache.intervals) {
            const double approximate = approximate_swapped_distance(cache, current, first, second);
            const float low = change_bounds(cache, penalty, approximate, fo).low;
            if (low >= 0.0f) {
              // The change is sure not to improve, so this move draws u.
              u = draw_uniform();
              drawn = true;
              if (surely_rejected(low, temperature, u)) continue;
            }
          }
          delta = objective_change(penalty, swapped_distance(cache, current, first, second), fo);
          if (delta < 0.0f) {
            accepted = true;
          } else {
            if (!drawn) u = draw_uniform();
            accepted = metropolis_accepts(delta, temperature, u);
          }
          if (accepted) {
            swap_positions(first, second, current);
            cache_commit_swap(cache, current, first, second);
          }
        }
        if (!accepted) continue;

        fo = fo + delta;
        if (delta < 0.0f && fo < fomin) {
          fomin = fo;
          std::printf("Fomin = %f\n", static_cast<double>(fomin));
          std::fflush(stdout);
          reading = clock_ms();
          log_progress(kLogPath, seconds_since(reading, start_clock), fo, move_count);
          copy_route(route_length, current, best);
        }
      }
      temperature = temperature * cooling_factor;
    }
    reading = clock_ms();
    ++schedule_index;
    if (static_cast<double>(reading - start_clock) * 0.001 >= static_cast<double>(time_limit)) break;
  }

  reading = clock_ms();
  std::printf("Tempo de execucao do Simulated Annealing = %15.7f\n\n",
              static_cast<double>(reading - start_clock) * 0.001);
}
