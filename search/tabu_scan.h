// One full examination of the swap neighbourhood for the tabu search.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "model/instance.h"
#include "model/route_cache.h"
#include "model/swap_evaluation.h"
#include "search/search_output.h"
#include "search/tabu_list.h"
#include "search/tabu_memory.h"

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

// What the cached scan keeps from one scan to the next, for the instance of
// the cache it was prepared with; all its storage is allocated once.
//
// A swap of positions i < j changes the double sum of the Route's edges by
// the cells it adds less the edges it removes: the pair's edge change, which
// depends only on the entries at i-1..i+1 and j-1..j+1. The table keeps it
// for every pair, so that a scan reads it instead of four cells scattered
// over the matrix. A swap made on the Route changes it only in the rows and
// columns of the positions next to the two exchanged: the next scan finds
// the positions that differ from the Route the table describes and works
// those rows and columns out again (the whole table after a restart, which
// changes many positions). Each row, and each block of kBlock columns of
// it, also keeps a lower bound of its edge changes, so that a scan can set
// aside a whole row or block whose pairs cannot come near the best change
// found; a bound is exact after its entries are worked out or read whole,
// and is only ever lowered in between.
struct ScanScratch {
  // Each row's columns in blocks of kBlock, each with a floor of its own.
  static constexpr int kBlock = 64;
  // A scan that passes over every pair asks its poll between blocks of
  // rows holding about this many pairs (a few milliseconds of work): on a
  // Route of fewer positions, only once it is over.
  static constexpr int kPairsBetweenPolls = 1 << 20;
  int route_length = 0;
  int poll_rows = 0;                   // rows between two polls: kPairsBetweenPolls / route_length, at least 1
  bool symmetric = false;              // cell (u, v) == cell (v, u) throughout
  bool described = false;              // the table describes `route`
  std::vector<int> route;              // the Route the table describes
  std::vector<std::size_t> row_start;  // index in `change` of pair (i, i + 1)
  // Edge change of each pair i < j, row by row; +infinity for two zeros.
  // Allocated unwritten: on a long Route it is hundreds of megabytes, whose
  // filling would hold up the first scan, which writes it whole anyway.
  std::unique_ptr<double[]> change;
  std::vector<double> row_floor;       // at most every edge change of row i
  std::vector<std::size_t> block_start;  // index in `block_floor` of the first block of row i
  std::vector<double> block_floor;     // at most every edge change of the block
  std::vector<double> removed;         // the two edges around each position, summed in double
  std::vector<float> row_low;          // per row, the least lower bound of a pair left to evaluate exactly
  // What a pair's penalty needs of each position, gathered once per scan.
  std::vector<int> demand_at;          // of its node (0 for a zero)
  std::vector<int> load_at;            // of its trip
  std::vector<int> trip_at;
  std::vector<int> before_at;          // demand of its trip's customers before it
  std::vector<int> previous_load_at;   // of the trip before it, for a zero
  std::vector<char> zero_at;
  std::vector<char> overloaded;        // positions of overloaded trips and the zeros around them
  std::vector<int> marked_before;      // overloaded positions among 1..k
  std::vector<std::pair<int, int>> marked_spans;  // first and last position of each run of them
  std::vector<int> zeros;              // the positions of zeros, in order
  std::vector<int> hits;               // columns of a row left to visit
  std::vector<int> changed;            // positions a scan finds changed
};

// What a cached scan asks between blocks of scratch.poll_rows rows:
// output->keep_searching(progress), unless output is null.
struct ScanPoll {
  SearchOutput* output = nullptr;
  SearchProgress progress{};
};

// Sets up the storage for the instance and Route length of `cache` (whose
// matrix the scans read); false when it cannot be had. The pair table is
// left unwritten (the first scan works it out).
[[nodiscard]] bool scan_prepare(ScanScratch& scratch, const RouteCache& cache);
// The same, told whether the matrix is symmetric.
[[nodiscard]] bool scan_prepare(ScanScratch& scratch, const RouteCache& cache, bool symmetric);

// What the cache and the scan need of the matrix: the facts of its cells
// and whether it is symmetric, bit for bit.
struct MatrixSurvey {
  CellFacts cells;
  bool symmetric = true;
};
// Surveys the whole matrix in one pass, asking the poll between blocks of
// rows of about ScanScratch::kPairsBetweenPolls cells (a matrix of 10,000
// nodes takes a large part of a second); false when it said to stop.
[[nodiscard]] bool survey_matrix(const DistanceMatrix& matrix, MatrixSurvey& survey, const ScanPoll& poll);

// The same choice as best_admissible_swap, bit for bit, through the cache of
// the current Route, the pair table and the pair counts of the tabu memory.
// Every pair's change has bounds from its edge change and its exact penalty
// (or, away from the overloaded trips, a lower bound of it, which is the
// Route's penalty: a swap that touches no overloaded trip cannot lower the
// overload); rows and pairs whose lower bound is beyond the least upper
// bound of a surely admissible pair are set aside, and only the pairs left
// whose bounds leave them a chance to be the best (or whose aspiration the
// bounds cannot settle) are evaluated exactly. With exact sums the bounds
// are the exact changes and no pair needs more.
//
// Returns false, leaving the scan unfinished (delta kNothingAdmissible, the
// table to be worked out again), when the poll said to stop.
bool best_admissible_swap_cached(int& no1, int& no2, float& delta, RouteCache& cache,
                                 std::span<const int> route, float fo, int penalty_weight, float fomin,
                                 const TabuMemory& memory, ScanScratch& scratch, const ScanPoll& poll = {});
