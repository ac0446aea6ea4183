// One full examination of the swap neighbourhood for the tabu search.
#pragma once

#include <span>

#include "model/instance.h"
#include "model/swap_evaluation.h"
#include "search/tabu_memory.h"
#include "search/tabu_list.h"

// The change the scan returns when no swap is admissible: 2^31.
inline constexpr float kNothingAdmissible = 2147483648.0f;

// Finds the admissible swap of two interior positions i < j (entries that
// differ) with the smallest change of objective against `fo`; the first pair in
// scan order (smallest i, then smallest j) wins ties. A pair is admissible when
// neither (i, j) nor (j, i) is in the tabu list, or when fo plus its change is
// strictly below fomin. Writes no1, no2 only when a swap is found; delta is
// always written (kNothingAdmissible when none). The Route is swapped and
// swapped back per candidate, so it is unchanged on return. Whole-Route
// evaluation of every candidate.
void best_admissible_swap(int& no1, int& no2, float& delta, int route_length, std::span<int> route,
                          float fo, const DistanceMatrix& matrix, int penalty_weight,
                          int vehicle_capacity, std::span<const int> demand, float fomin,
                          const TabuList& list);

// A pair the cached scan could not rule out on its bounds alone.
struct ScanCandidate {
  int i;
  int j;
  int penalty;      // penalty_weight * capacity excess of the swapped Route
  float low;        // lower bound of its change
  bool aspiration;  // tabu, and only the exact change tells whether it is aspirated
};

// Storage of the cached scan, reserved once so that a scan allocates nothing.
struct ScanScratch {
  std::vector<ScanCandidate> candidates;
  std::vector<double> removed;  // cost of the two edges around each position
};
[[nodiscard]] bool scan_prepare(ScanScratch& scratch, int route_length);  // false: no storage

// The same choice as best_admissible_swap, bit for bit, through the cache of
// the current Route and the pair counts of the tabu memory: every pair gets
// bounds of its change in constant time, and only the pairs whose bounds
// leave them a chance to be the best (or whose aspiration the bounds cannot
// settle) are evaluated exactly.
void best_admissible_swap_cached(int& no1, int& no2, float& delta, RouteCache& cache,
                                 std::span<const int> route, float fo, int penalty_weight, float fomin,
                                 const TabuMemory& memory, ScanScratch& scratch);
