#include "search/tabu_scan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/route.h"

void best_admissible_swap(int& no1, int& no2, float& delta, int route_length, std::span<int> route,
                          float fo, const DistanceMatrix& matrix, int penalty_weight,
                          int vehicle_capacity, std::span<const int> demand, float fomin,
                          const TabuList& list) {
  delta = kNothingAdmissible;
  for (int i = 1; i < route_length - 2; ++i) {
    for (int j = i + 1; j < route_length - 1; ++j) {
      if (route[static_cast<std::size_t>(i)] == route[static_cast<std::size_t>(j)]) continue;
      swap_positions(i, j, route);
      const float distance = route_distance(route_length, matrix, route);
      const int excess = capacity_excess(route_length, vehicle_capacity, route, demand);
      swap_positions(i, j, route);
      const float change = objective_change(penalty_weight * excess, distance, fo);

      const bool tabu = tabu_contains(i, j, list) || tabu_contains(j, i, list);
      if (tabu && !(static_cast<double>(fo) + static_cast<double>(change) < static_cast<double>(fomin)))
        continue;
      if (change < delta) {
        no1 = i;
        no2 = j;
        delta = change;
      }
    }
  }
}

bool scan_prepare(ScanScratch& scratch, int route_length) {
  scratch.candidates.clear();
  return with_working_memory([&] {
    scratch.candidates.reserve(static_cast<std::size_t>(route_length) * static_cast<std::size_t>(route_length) / 2);
    scratch.removed.assign(static_cast<std::size_t>(route_length), 0.0);
  });
}

namespace {

// The first pass of the cached scan: bounds of the change of every pair,
// keeping in scan order the pairs that may still be the answer. `bound` is the
// least upper bound of a surely admissible pair; a pair whose lower bound is
// above it cannot be the (first) smallest change.
class FirstPass {
 public:
  FirstPass(const RouteCache& cache, float fo, float fomin, const TabuMemory& memory, ScanScratch& scratch)
      : cache_(cache),
        fo_(fo),
        fo_wide_(fo),
        minus_fo_(static_cast<double>(-fo)),
        error_(cache.error_bound),
        fomin_wide_(fomin),
        memory_(memory),
        scratch_(scratch) {
    set_bound(kNothingAdmissible);
  }

  // A pair whose distance lies within E of `approximate`. Its lower bound is
  // objective_change_at(penalty, approximate - E, fo), the float rounding of
  // the double `low` formed here; a double above the float after `bound`
  // rounds to a float above `bound`, so such a pair is left out at once.
  void consider(int i, int j, int penalty, double approximate) {
    const double low = static_cast<double>(penalty) + (approximate - error_) + minus_fo_;
    if (low > above_bound_) return;
    add(i, j, penalty, objective_change_at(penalty, approximate - error_, fo_),
        objective_change_at(penalty, approximate + error_, fo_));
  }

  // A pair with no bounds: evaluated exactly in the second pass.
  void consider_exactly(int i, int j, int penalty) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    add(i, j, penalty, -infinity, infinity);
  }

  float bound = kNothingAdmissible;

 private:
  void set_bound(float value) {
    bound = value;
    above_bound_ = static_cast<double>(std::nextafter(value, std::numeric_limits<float>::infinity()));
  }

  void add(int i, int j, int penalty, float low, float high) {
    bool aspiration = false;
    if (memory_is_tabu(memory_, i, j)) {
      if (!(fo_wide_ + static_cast<double>(low) < fomin_wide_)) return;  // surely not aspirated
      aspiration = !(fo_wide_ + static_cast<double>(high) < fomin_wide_);
    }
    if (low > bound) return;
    if (!aspiration && high < bound) set_bound(high);
    scratch_.candidates.push_back({i, j, penalty, low, aspiration});
  }

  const RouteCache& cache_;
  float fo_;
  double fo_wide_;
  double minus_fo_;
  double error_;
  double above_bound_ = 0.0;
  double fomin_wide_;
  const TabuMemory& memory_;
  ScanScratch& scratch_;
};

}  // namespace

void best_admissible_swap_cached(int& no1, int& no2, float& delta, RouteCache& cache,
                                 std::span<const int> route, float fo, int penalty_weight, float fomin,
                                 const TabuMemory& memory, ScanScratch& scratch) {
  const int route_length = cache.route_length;
  scratch.candidates.clear();
  FirstPass pass(cache, fo, fomin, memory, scratch);

  if (!cache.intervals) {
    for (int i = 1; i < route_length - 2; ++i)
      for (int j = i + 1; j < route_length - 1; ++j)
        if (route[static_cast<std::size_t>(i)] != route[static_cast<std::size_t>(j)])
          pass.consider_exactly(i, j, penalty_weight * swapped_excess(cache, route, i, j));
  } else {
    // The distance change of a swap of positions i < j - 1: the four edges
    // around i and j give way to four new ones. The cost of the two edges
    // around each position is the same for every pair: worked out once.
    const int* node = route.data();
    const float* cells = cache.cells;
    const std::size_t cols = cache.cols;
    const auto at = [](int k) { return static_cast<std::size_t>(k); };
    const auto cell = [cells, cols](int from, int to) {
      return static_cast<double>(cells[static_cast<std::size_t>(from) * cols + static_cast<std::size_t>(to)]);
    };
    double* removed = scratch.removed.data();
    for (int k = 1; k < route_length - 1; ++k) removed[k] = cell(node[k - 1], node[k]) + cell(node[k], node[k + 1]);
    const double real = cache.real;  // the approximate distances start from the double sum of the edges
    const int capacity = cache.vehicle_capacity;
    const auto over = [capacity](int load) { return std::max(load - capacity, 0); };

    for (int i = 1; i < route_length - 2; ++i) {
      const int a = node[i];
      // Adjacent positions share an edge: the general case with its own changes.
      if (node[i + 1] != a)
        pass.consider(i, i + 1, penalty_weight * swapped_excess(cache, route, i, i + 1),
                      approximate_swapped_distance(cache, route, i, i + 1));
      const int before_a = node[i - 1];
      const int after_a = node[i + 1];
      const int trip_a = cache.trip_of[at(i)];
      const int demand_a = a != 0 ? cache.demand[at(a)] : 0;
      const int load_a = cache.trip_load[at(trip_a)];
      const int excess_without_a = cache.excess - over(load_a);
      for (int j = i + 2; j < route_length - 1; ++j) {
        const int b = node[j];
        if (b == a) continue;  // two zeros
        const double added = cell(before_a, b) + cell(b, after_a) + cell(node[j - 1], a) + cell(a, node[j + 1]);
        const double approximate = real + (added - (removed[i] + removed[j]));
        int excess = cache.excess;
        if (a == 0 || b == 0) {
          excess = swapped_excess(cache, route, i, j);
        } else if (const int trip_b = cache.trip_of[at(j)]; trip_b != trip_a) {
          // Two customers of different trips: the trips trade their demands.
          const int shift = cache.demand[at(b)] - demand_a;
          const int load_b = cache.trip_load[at(trip_b)];
          excess = excess_without_a - over(load_b) + over(load_a + shift) + over(load_b - shift);
        }
        pass.consider(i, j, penalty_weight * excess, approximate);
      }
    }
  }

  // Second pass, in scan order: the exact change of every pair left.
  const double fo_wide = static_cast<double>(fo);
  const double fomin_wide = static_cast<double>(fomin);
  delta = kNothingAdmissible;
  for (const ScanCandidate& candidate : scratch.candidates) {
    if (candidate.low > pass.bound) continue;
    const float change =
        objective_change(candidate.penalty, swapped_distance(cache, route, candidate.i, candidate.j), fo);
    if (candidate.aspiration && !(fo_wide + static_cast<double>(change) < fomin_wide)) continue;
    if (change < delta) {
      no1 = candidate.i;
      no2 = candidate.j;
      delta = change;
    }
  }
}
