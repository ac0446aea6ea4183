#include "search/tabu_scan.h"

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

void scan_prepare(ScanScratch& scratch, int route_length) {
  scratch.candidates.clear();
  scratch.candidates.reserve(static_cast<std::size_t>(route_length) * static_cast<std::size_t>(route_length) / 2);
}

void best_admissible_swap_cached(int& no1, int& no2, float& delta, RouteCache& cache,
                                 std::span<int> route, float fo, int penalty_weight, float fomin,
                                 const TabuMemory& memory, ScanScratch& scratch) {
  const int route_length = cache.route_length;
  const double fo_wide = static_cast<double>(fo);
  const double fomin_wide = static_cast<double>(fomin);
  constexpr float infinity = std::numeric_limits<float>::infinity();
  auto& candidates = scratch.candidates;
  candidates.clear();

  // First pass: bounds of every change. `bound` is the least upper bound of a
  // surely admissible pair; a pair whose lower bound is above it cannot be
  // the (first) smallest change.
  float bound = kNothingAdmissible;
  for (int i = 1; i < route_length - 2; ++i) {
    for (int j = i + 1; j < route_length - 1; ++j) {
      if (route[static_cast<std::size_t>(i)] == route[static_cast<std::size_t>(j)]) continue;
      const int penalty = penalty_weight * swapped_excess(cache, route, i, j);
      float low = -infinity;
      float high = infinity;
      if (cache.intervals) {
        const ChangeBounds bounds =
            change_bounds(cache, penalty, approximate_swapped_distance(cache, route, i, j), fo);
        if (bounds.low > bound) continue;
        low = bounds.low;
        high = bounds.high;
      }
      bool aspiration = false;
      if (memory_is_tabu(memory, i, j)) {
        if (!(fo_wide + static_cast<double>(low) < fomin_wide)) continue;  // surely not aspirated
        aspiration = !(fo_wide + static_cast<double>(high) < fomin_wide);
      }
      if (!aspiration && high < bound) bound = high;
      candidates.push_back({i, j, penalty, low, aspiration});
    }
  }

  // Second pass, in scan order: the exact change of every pair left.
  delta = kNothingAdmissible;
  for (const ScanCandidate& candidate : candidates) {
    if (candidate.low > bound) continue;
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
