#include "search/annealing.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

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

// The acceptance draw u of a step: random_uniform(0, 1) rounded to float.
float acceptance_draw(int step) { return static_cast<float>(uniform_value(step, 0.0, 1.0)); }

// For every value u the acceptance draw can take, indexed by its step: a
// float t a little above -ln(u) (by 1e-9, then by a factor 1 + 2^-22), or
// infinity for u = 0, which rejects only a change whose exp underflows to 0.
// A change whose value before its rounding to float exceeds t * temperature
// is then sure to fail the Metropolis test: exp(-x) < u once x > -ln(u), and
// the margins cover the rounding of the change to float (2^-24), of the
// product and of the quotient (2^-53) and the last bits of exp and log.
std::vector<float> rejection_thresholds() {
  std::vector<float> thresholds(10000);
  thresholds[0] = std::numeric_limits<float>::infinity();
  for (int step = 1; step < 10000; ++step) {
    const double minus_log_u = -std::log(static_cast<double>(acceptance_draw(step)));
    const double threshold = (minus_log_u + 1e-9) * (1.0 + 1.0 / 4194304.0);
    float rounded = static_cast<float>(threshold);
    if (static_cast<double>(rounded) < threshold) rounded = std::nextafter(rounded, 100.0f);
    thresholds[static_cast<std::size_t>(step)] = rounded;
  }
  return thresholds;
}

// True when a change whose value before rounding to float is `low` (or more)
// is sure to be rejected against the draw of this step.
bool surely_rejected(double low, double temperature, int step, const std::vector<float>& thresholds) {
  return low > static_cast<double>(thresholds[static_cast<std::size_t>(step)]) * temperature;
}

float draw_uniform() { return acceptance_draw(random_step()); }

// The Metropolis test of an exact change at or above 0 against the draw of
// this step, as metropolis_accepts decides it, with exp worked out only when
// neither cheap bound settles it: exp(-x) >= 1 - x, and exp(-x) < u once x is
// above the step's threshold. The margins cover the last bits of exp.
bool metropolis_accepts_step(float delta, float temperature, int step, const std::vector<float>& thresholds) {
  const float u = acceptance_draw(step);
  if (step != 0) {
    const double argument = -1.0 * static_cast<double>(delta) / static_cast<double>(temperature);
    if (1.0 + argument > static_cast<double>(u) * (1.0 + 1e-12)) return true;
    if (surely_rejected(static_cast<double>(delta), static_cast<double>(temperature), step, thresholds))
      return false;
  }
  return metropolis_accepts(delta, temperature, u);
}

// One move through the cache: the same draws, the same decision and the same
// change as the whole-Route evaluation. Makes the swap i < j when it is
// accepted and returns whether it was, with its change in delta.
bool cached_move(RouteCache& cache, std::span<int> route, int i, int j, int penalty_weight, float fo,
                 float temperature, bool try_bounds, const std::vector<float>& thresholds, float& delta) {
  int step = -1;  // the acceptance draw, once made
  int penalty = 0;
  bool penalty_known = false;
  if (try_bounds) {
    // The lower bound of the change before its rounding to float: the same
    // additions as objective_change_at(penalty, approximate - E, fo).
    const double approximate = approximate_swapped_distance(cache, route, i, j);
    const double low_distance = approximate - cache.error_bound;
    const double minus_fo = static_cast<double>(-fo);
    const double wide_temperature = static_cast<double>(temperature);
    // A penalty is never negative, so on a Route without overload the change
    // without it is a lower bound too; it often settles the move before the
    // excess is worked out.
    const bool without_penalty = cache.excess == 0 && penalty_weight >= 0;
    if (without_penalty) {
      const double low = 0.0 + low_distance + minus_fo;
      if (low >= 0.0) {
        // The change is sure not to improve, so this move draws u.
        step = random_step();
        if (surely_rejected(low, wide_temperature, step, thresholds)) return false;
      }
    }
    penalty = penalty_weight * swapped_excess(cache, route, i, j);
    penalty_known = true;
    if (penalty != 0 || !without_penalty) {
      const double low = static_cast<double>(penalty) + low_distance + minus_fo;
      if (low >= 0.0) {
        if (step < 0) step = random_step();
        if (surely_rejected(low, wide_temperature, step, thresholds)) return false;
      }
    }
  }
  if (!penalty_known) penalty = penalty_weight * swapped_excess(cache, route, i, j);
  delta = objective_change(penalty, swapped_distance(cache, route, i, j), fo);
  bool accepted = true;
  if (delta >= 0.0f) {
    if (step < 0) step = random_step();
    accepted = metropolis_accepts_step(delta, temperature, step, thresholds);
  }
  if (accepted) {
    swap_positions(i, j, route);
    cache_commit_swap(cache, route, i, j);
  }
  return accepted;
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
  log_progress(kLogPath, static_cast<float>(seconds_between(start_clock, reading)), fo, move_count);

  const int moves = has_two_interior_values(route_length, current) ? moves_per_temperature : 0;
  RouteCache cache;
  std::vector<float> thresholds;
  if (evaluation == Evaluation::incremental) {
    cache_prepare(cache, matrix, demand, route_length, vehicle_capacity, current);
    thresholds = rejection_thresholds();
  }
  int rejected_last_level = moves;
  const auto draw_position = [route_length] { return random_below(route_length - 2) + 1; };

  for (;;) {
    float temperature = initial_temperature / static_cast<float>(schedule_index);
    while (static_cast<double>(temperature) > kStopTemperature) {
      // Bounds only ever settle moves that are rejected: at a level that
      // follows one where nearly every move was accepted, go straight to
      // the exact change.
      const bool try_bounds = cache.intervals && rejected_last_level * 8 >= moves;
      rejected_last_level = 0;
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
          const bool ordered = i < j;
          accepted = cached_move(cache, current, ordered ? i : j, ordered ? j : i, penalty_weight, fo,
                                 temperature, try_bounds, thresholds, delta);
        }
        if (!accepted) {
          ++rejected_last_level;
          continue;
        }

        fo = fo + delta;
        if (delta < 0.0f && fo < fomin) {
          fomin = fo;
          std::printf("Fomin = %f\n", static_cast<double>(fomin));
          std::fflush(stdout);
          reading = clock_ms();
          log_progress(kLogPath, static_cast<float>(seconds_between(start_clock, reading)), fo, move_count);
          copy_route(route_length, current, best);
        }
      }
      temperature = temperature * cooling_factor;
    }
    reading = clock_ms();
    ++schedule_index;
    if (seconds_between(start_clock, reading) >= static_cast<double>(time_limit)) break;
  }

  reading = clock_ms();
  std::printf("Tempo de execucao do Simulated Annealing = %15.7f\n\n",
              seconds_between(start_clock, reading));
}
