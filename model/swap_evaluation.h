// Exact evaluation of a swap of two Route positions without a pass over the
// whole Route.
//
// The distance of a Route is a float running sum in position order, so a
// swap at positions i < j leaves every partial sum before i unchanged: the
// exact float distance of the swapped Route needs only the additions from i
// on, started from the cached partial sum. Often even that is not needed.
// The cache also keeps the sum of the Route's edges in double, which is their
// real sum but for a tiny, tracked error. That sum plus the change computed
// in double from the few edges a swap touches, widened by the error bound of
// float recursive summation (|error| <= gamma_k * sum of |terms|, gamma_k =
// k*u / (1 - k*u), u = 2^-24), gives an interval that holds the exact float
// distance of the swapped Route, and through the monotone roundings of
// objective_change an interval that holds the exact change of objective.
// Neither the interval nor the double sum waits for the float sums: a search
// can decide on the interval while the exact sums of its last move are still
// being worked out.
//
// On many instances even that interval is not needed. When every cell is an
// integer multiple of one power of two q (whole numbers, as CVRPLIB's rounded
// distances are) and L-1 times the largest |cell| is at most 2^24 q, every
// partial sum of every Route is a multiple of q no larger than 2^24 q: a
// float holds it exactly, so no float addition of a Route's distance rounds
// and neither does any double sum of its cells. The double sum of the edges
// is then the exact float distance, and the change a swap makes to it, from
// the few edges it touches, gives the exact distance of the swapped Route:
// the cache's error bound is 0 and no float sum is ever needed.
//
// Capacity excess changes only in the trips a swap touches: loads come from
// prefix sums of the demands along the Route and the positions of its zeros,
// which gives the exact integer excess of the swapped Route in constant time.
#pragma once

#include <cassert>
#include <span>
#include <type_traits>
#include <vector>

#include "model/instance.h"
#include "model/route.h"

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
  double error_bound = 0.0;       // E: |exact swapped distance - approximate one| <= E
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

// Describes `route` anew (after any change the cache has not followed).
void cache_describe(RouteCache& cache, std::span<const int> route);

namespace swap_detail {
inline int over(int load, int capacity) { return load > capacity ? load - capacity : 0; }
inline std::size_t at(int position) { return static_cast<std::size_t>(position); }
}  // namespace swap_detail

// The capacity excess of the Route after swapping positions i < j when one of
// them holds a zero (a trip boundary moves).
int swapped_excess_moving_zero(const RouteCache& cache, std::span<const int> route, int i, int j);

// The capacity excess of the Route after swapping positions i < j (entries differ).
inline int swapped_excess(const RouteCache& cache, std::span<const int> route, int i, int j) {
  using swap_detail::at;
  using swap_detail::over;
  assert(i < j);
  const int a = route[at(i)];
  const int b = route[at(j)];
  if (a == 0 || b == 0) return swapped_excess_moving_zero(cache, route, i, j);
  const int ti = cache.trip_of[at(i)];
  const int tj = cache.trip_of[at(j)];
  if (ti == tj) return cache.excess;
  // Two customers of different trips: the trips trade their demands.
  const int capacity = cache.vehicle_capacity;
  const int shift = cache.demand[at(b)] - cache.demand[at(a)];
  const int li = cache.trip_load[at(ti)];
  const int lj = cache.trip_load[at(tj)];
  return cache.excess - over(li, capacity) - over(lj, capacity) + over(li + shift, capacity) +
         over(lj - shift, capacity);
}

// A lower bound of swapped_excess, cheaper when a zero moves: the Route's
// excess less the overload of every trip the swap touches (the trips on
// either side of the moving zero and the trip it enters or leaves).
inline int swapped_excess_floor(const RouteCache& cache, std::span<const int> route, int i, int j) {
  using swap_detail::at;
  using swap_detail::over;
  if (cache.excess == 0) return 0;
  const int a = route[at(i)];
  const int b = route[at(j)];
  if (a != 0 && b != 0) return swapped_excess(cache, route, i, j);
  const int capacity = cache.vehicle_capacity;
  const auto& load = cache.trip_load;
  // The zero opens trip s (and closes s - 1); the other position lies in trip t.
  const int s = cache.trip_of[at(a == 0 ? i : j)];
  const int t = cache.trip_of[at(a == 0 ? j : i)];
  const int held = over(load[at(s - 1)], capacity) + over(load[at(s)], capacity) +
                   (t != s && t != s - 1 ? over(load[at(t)], capacity) : 0);
  return cache.excess - held;
}

// The edges that swapping positions i < j removes from the Route and adds to
// it, each summed in double (in pairs, so that few additions wait on one
// another).
struct EdgeChange {
  double removed;
  double added;
};

// Read from the cells as `Cell`: float (the matrix itself) or double
// (RouteCache::wide, when kept), the same values.
template <class Cell = float>
inline EdgeChange swapped_edges(const RouteCache& cache, std::span<const int> route, int i, int j) {
  assert(i < j);
  const Cell* cells;
  if constexpr (std::is_same_v<Cell, double>)
    cells = cache.wide.data();
  else
    cells = cache.cells;
  const std::size_t cols = cache.cols;
  const int a = route[swap_detail::at(i)];
  const int b = route[swap_detail::at(j)];
  const int before_a = route[swap_detail::at(i - 1)];
  const int after_b = route[swap_detail::at(j + 1)];
  const auto d = [cells, cols](int from, int to) {
    return static_cast<double>(cells[static_cast<std::size_t>(from) * cols + static_cast<std::size_t>(to)]);
  };
  // The Route's own edges at i, i+1, j and j+1 are in cache.edge.
  const auto edge = [&cache](int k) { return static_cast<double>(cache.edge[swap_detail::at(k)]); };
  if (j == i + 1) {
    // Adjacent positions share the edge a -> b, which turns into b -> a.
    return {(edge(i) + edge(j)) + edge(j + 1), (d(before_a, b) + d(b, a)) + d(a, after_b)};
  }
  const int after_a = route[swap_detail::at(i + 1)];
  const int before_b = route[swap_detail::at(j - 1)];
  return {(edge(i) + edge(i + 1)) + (edge(j) + edge(j + 1)),
          (d(before_a, b) + d(b, after_a)) + (d(before_b, a) + d(a, after_b))};
}

// The distance after swapping positions i < j, approximated in double from the
// sum of the Route's edges and the edges the swap changes; the exact float
// distance lies within cache.error_bound of it (and is it, widened to double,
// when cache.exact_sums).
inline double approximate_swapped_distance(const RouteCache& cache, std::span<const int> route, int i, int j) {
  const EdgeChange change = swapped_edges(cache, route, i, j);
  return cache.real + (change.added - change.removed);
}

// The exact float distance after swapping positions i < j, equal bit for bit to
// route_distance of the swapped Route: the same additions in the same order,
// started from the cached partial sum before i (worked out first if a commit
// left the partial sums stale).
float swapped_distance(RouteCache& cache, std::span<const int> route, int i, int j);

// After the swap of i < j has been made on the Route: brings the cache up to
// date. `approximate` is approximate_swapped_distance of that swap, worked out
// before it was made: the sum of the new Route's edges in double.
//
// The exact distance is the float sum of all the edges, position by
// position: a fixed run of additions that depends on no earlier commit, so
// that the processor can work out the sums of several accepted moves at
// once (with exact sums it is `approximate` itself, and no addition is
// made). The partial sums are left stale until swapped_distance needs them.
void cache_commit_swap(RouteCache& cache, std::span<const int> route, int i, int j, double approximate);
