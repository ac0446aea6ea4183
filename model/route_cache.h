// What a search keeps of its current Route so that a move can be evaluated
// without a pass over the whole Route: the Route's edges, their float
// partial sums and their sum in double with a tracked error bound, and its
// trips with their loads and capacity excess. model/swap_evaluation.h prices
// the program's swap from it.
//
// The distance of a Route is a float running sum in position order, so a
// move that changes the Route from position i on leaves every partial sum
// before i unchanged: the exact float distance of the changed Route needs
// only the additions from i on, started from the cached partial sum. Often
// even that is not needed. The cache also keeps the sum of the Route's edges
// in double, which is their real sum but for a tiny, tracked error. That sum
// plus the change computed in double from the few edges a move touches,
// widened by the error bound of float recursive summation (|error| <=
// gamma_k * sum of |terms|, gamma_k = k*u / (1 - k*u), u = 2^-24), gives an
// interval that holds the exact float distance of the changed Route, and
// through the monotone roundings of objective_change an interval that holds
// the exact change of objective. Neither the interval nor the double sum
// waits for the float sums: a search can decide on the interval while the
// exact sums of its last move are still being worked out.
//
// On many instances even that interval is not needed. When every cell is an
// integer multiple of one power of two q (whole numbers, as CVRPLIB's rounded
// distances are) and L-1 times the largest |cell| is at most 2^24 q, every
// partial sum of every Route is a multiple of q no larger than 2^24 q: a
// float holds it exactly, so no float addition of a Route's distance rounds
// and neither does any double sum of its cells. The double sum of the edges
// is then the exact float distance, and the change a move makes to it, from
// the few edges it touches, gives the exact distance of the changed Route:
// the cache's error bound is 0 and no float sum is ever needed.
//
// Capacity excess changes only in the trips a move touches: loads come from
// prefix sums of the demands along the Route and the positions of its zeros,
// which gives the exact integer excess of the changed Route in constant time.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "model/instance.h"

// How a search evaluates its moves: through a RouteCache (the program's way),
// or over the whole Route with a linked-list tabu look-up (the plain
// reference the cached way must reproduce bit for bit).
enum class Evaluation { incremental, whole_route };

struct RouteCache {
  // The instance, fixed for the lifetime of the cache.
  const DistanceMatrix* matrix = nullptr;
  const float* cells = nullptr;   // matrix->cells.data(), row-major
  std::size_t cols = 0;           // matrix->cols
  // The cells widened to double, for a matrix of at most kWideCells cells
  // (empty otherwise): read without a conversion where the matrix fits the
  // processor's caches either way; a larger one is read as floats, half the
  // memory.
  static constexpr std::size_t kWideCells = 1 << 16;
  std::vector<double> wide;
  std::span<const int> demand;
  int route_length = 0;
  int vehicle_capacity = 0;
  bool intervals = false;         // false when sums could overflow: evaluate exactly
  bool exact_sums = false;        // every sum of a Route's cells is exact: error_bound is 0
  bool non_negative = false;      // no negative distance in the matrix
  double largest_cell = 0.0;      // largest |distance|
  double gamma = 0.0;             // gamma_L of float summation over a Route
  // error_bound = bound_per_real * |real| + bound_base + bound_per_error * real_error
  double bound_per_real = 0.0;
  double bound_base = 0.0;
  double bound_per_error = 0.0;
  double drift = 0.0;             // what one commit adds to real_error

  // The Route the cache describes.
  // The edges are padded with three more +0 entries, so that their float sum
  // can be worked out four at a time: adding +0 leaves a sum as it is.
  std::vector<float> edge;        // edge[k]: cell (route[k-1], route[k]) for k >= 1; edge[0] = 0
  std::vector<float> partial;     // partial[k]: running float sum of edges 1..k; partial[0] = 0
  bool partial_fresh = false;     // a commit leaves the partial sums to be worked out when needed
  float distance = 0.0f;          // partial[route_length - 1] = route_distance
  double real = 0.0;              // the edges summed in double
  double real_error = 0.0;        // |real - the real sum of the edges| <= real_error
  double error_bound = 0.0;       // E: |exact changed distance - approximate one| <= E
  std::vector<int> demand_prefix; // demand of the customers at positions 1..k, for k < prefix_valid
  int prefix_valid = 0;           // after swaps of two customers, the prefix is stale from the first
  std::vector<int> trip_of;       // zeros in positions 1..k: the trip k lies in (a zero opens its trip)
  std::vector<int> trip_start;    // position of the zero opening each trip, then route_length - 1
  std::vector<int> trip_load;
  int excess = 0;                 // capacity_excess of the Route

};

// Sets up the cache for an instance and describes `route` (all storage is
// allocated here, none later). False when the storage cannot be had.
[[nodiscard]] bool cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, std::span<const int> demand,
                   int route_length, int vehicle_capacity, std::span<const int> route);

// What the cache's choices rest on of the matrix's cells, gathered by
// add_cells over all of them (in pieces, by a caller that wants to be asked
// between them on a large matrix).
struct CellFacts {
  double largest = 0.0;     // largest |cell|
  bool non_negative = true;
  int lowest = 0;           // exponent of the lowest set bit of any non-zero cell
  bool any_nonzero = false;
};
void add_cells(CellFacts& facts, std::span<const float> cells);

// cache_prepare with the facts of every cell of the matrix already gathered:
// the same cache, without the pass over the matrix.
[[nodiscard]] bool cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, const CellFacts& facts,
                                 std::span<const int> demand, int route_length, int vehicle_capacity,
                                 std::span<const int> route);

// Describes `route` anew (after any change the cache has not followed).
void cache_describe(RouteCache& cache, std::span<const int> route);

// Whether every float sum of route_length - 1 cells of the matrix is exact
// (see above), `largest` being the largest |cell|: the cells are integer
// multiples of 2^lowest, where lowest is the exponent of the lowest set bit
// of any non-zero cell, and (L-1) times the largest |cell| is at most
// 2^(24 + lowest) (and within the float range).
bool sums_are_exact(const DistanceMatrix& matrix, int route_length, double largest);

// The same decision as cache_prepare makes for a Route of route_length
// positions: sums far within the float range, and sums_are_exact.
bool route_sums_exact(const DistanceMatrix& matrix, int route_length);

// The trips, loads, demand prefix and excess of `route`, afresh.
void cache_describe_trips(RouteCache& cache, std::span<const int> route);

namespace route_cache_detail {
inline int over(int load, int capacity) { return load > capacity ? load - capacity : 0; }
inline std::size_t at(int position) { return static_cast<std::size_t>(position); }
inline constexpr double kDoubleRoundoff = 1.0 / 9007199254740992.0;  // 2^-53
}  // namespace route_cache_detail

// The pieces of the cache a move's commit brings up to date, for the code
// that evaluates and commits the moves.

// The error bound of the approximate distance of any move of the current
// Route, from the coefficients set for the instance.
inline void cache_update_error_bound(RouteCache& cache) {
  // With slack to spare for the roundings of these three products and sums.
  cache.error_bound = cache.bound_per_real * std::fabs(cache.real) + cache.bound_base +
                      cache.bound_per_error * cache.real_error;
}

// The edges summed in double, afresh.
inline void cache_sum_edges(RouteCache& cache) {
  using route_cache_detail::at;
  const int length = cache.route_length;
  double real = 0.0;
  for (int k = 1; k < length; ++k) real += static_cast<double>(cache.edge[at(k)]);
  cache.real = real;
  // Double recursive summation of L-1 terms: within 2 * L * 2^-53 * sum of |terms|
  // (and exact when the float sums are).
  cache.real_error = cache.exact_sums ? 0.0
                                      : 2.0 * static_cast<double>(length) * route_cache_detail::kDoubleRoundoff *
                                            static_cast<double>(length - 1) * cache.largest_cell;
}

// The partial sums from the edges.
inline void cache_sum_partials(RouteCache& cache) {
  using route_cache_detail::at;
  float sum = 0.0f;
  cache.partial[0] = 0.0f;
  for (int k = 1; k < cache.route_length; ++k) {
    sum += cache.edge[at(k)];
    cache.partial[at(k)] = sum;
  }
  cache.partial_fresh = true;
}
