// Exact evaluation of a swap of two Route positions without a pass over the
// whole Route.
//
// The distance of a Route is a float running sum in position order, so a
// swap at positions i < j leaves every partial sum before i unchanged: the
// exact float distance of the swapped Route needs only the additions from i
// on, started from the cached partial sum. Often even that is not needed:
// the change computed in double from the few edges a swap touches, widened by
// the error bound of float recursive summation (|error| <= gamma_k * sum of
// |terms|, gamma_k = k*u / (1 - k*u), u = 2^-24), gives an interval that holds
// the exact float distance, and through the monotone roundings of
// objective_change an interval that holds the exact change of objective.
//
// Capacity excess changes only in the trips a swap touches: loads come from
// prefix sums of the demands along the Route and the positions of its zeros,
// which gives the exact integer excess of the swapped Route in constant time.
#pragma once

#include <cassert>
#include <span>
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
  std::vector<double> wide;        // the cells widened to double, row-major
  std::vector<double> wide_transposed;  // cell (i, j) at [j * cols + i]: columns read as rows
  std::span<const int> demand;
  int route_length = 0;
  int vehicle_capacity = 0;
  bool intervals = false;         // false when sums could overflow: evaluate exactly
  bool non_negative = false;      // no negative distance in the matrix
  double largest_cell = 0.0;      // largest |distance|

  // The Route the cache describes.
  std::vector<float> partial;     // partial[k]: running float sum of edges 1..k; partial[0] = 0
  float distance = 0.0f;          // partial[route_length - 1] = route_distance
  double error_bound = 0.0;       // E: |exact swapped distance - approximate one| <= E
  std::vector<int> demand_prefix; // demand of the customers at positions 1..k, for k < prefix_valid
  int prefix_valid = 0;           // after swaps of two customers, the prefix is stale from the first
  std::vector<int> trip_of;       // zeros in positions 1..k: the trip k lies in (a zero opens its trip)
  std::vector<int> trip_start;    // position of the zero opening each trip, then route_length - 1
  std::vector<int> trip_load;
  int excess = 0;                 // capacity_excess of the Route

  std::vector<float> scratch;     // partial sums of the last exactly evaluated swap
};

// Sets up the cache for an instance and describes `route` (all storage is
// allocated here, none later).
void cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, std::span<const int> demand,
                   int route_length, int vehicle_capacity, std::span<const int> route);

// Describes `route` anew (after any change the cache has not followed).
void cache_describe(RouteCache& cache, std::span<const int> route);

namespace swap_detail {
inline int over(int load, int capacity) { return load > capacity ? load - capacity : 0; }
inline std::size_t at(int position) { return static_cast<std::size_t>(position); }
}  // namespace swap_detail

// The capacity excess of the Route after swapping positions i < j (entries differ).
inline int swapped_excess(const RouteCache& cache, std::span<const int> route, int i, int j) {
  using swap_detail::at;
  using swap_detail::over;
  assert(i < j);
  const int a = route[at(i)];
  const int b = route[at(j)];
  const int capacity = cache.vehicle_capacity;
  const auto& load = cache.trip_load;
  // Demand of the customers at positions from..to.
  const auto demand_between = [&cache, route](int from, int to) {
    if (to < cache.prefix_valid) return cache.demand_prefix[at(to)] - cache.demand_prefix[at(from - 1)];
    int sum = 0;
    for (int k = from; k <= to; ++k) sum += cache.demand[at(route[at(k)])];
    return sum;
  };
  if (a != 0 && b != 0) {
    const int ti = cache.trip_of[at(i)];
    const int tj = cache.trip_of[at(j)];
    if (ti == tj) return cache.excess;
    const int shift = cache.demand[at(b)] - cache.demand[at(a)];
    const int li = load[at(ti)];
    const int lj = load[at(tj)];
    return cache.excess - over(li, capacity) - over(lj, capacity) + over(li + shift, capacity) +
           over(lj - shift, capacity);
  }
  if (a == 0) {
    // The zero opening trip s moves right to j, where trip tj is split; the
    // customer b comes to i, joining trips s-1 and s.
    const int s = cache.trip_of[at(i)];
    const int tj = cache.trip_of[at(j)];
    const int db = cache.demand[at(b)];
    const int left = load[at(s - 1)];
    const int right = load[at(s)];
    const int split = load[at(tj)];
    const int before_j = demand_between(cache.trip_start[at(tj)] + 1, j - 1);
    const int after_j = split - before_j - db;
    if (tj == s)  // j lies in trip s itself
      return cache.excess - over(left, capacity) - over(right, capacity) +
             over(left + before_j + db, capacity) + over(after_j, capacity);
    return cache.excess - over(left, capacity) - over(right, capacity) - over(split, capacity) +
           over(left + db + right, capacity) + over(before_j, capacity) + over(after_j, capacity);
  }
  // The zero opening trip s (at j) moves left to i, where trip ti is split;
  // the customer a goes to j, joining trips s-1 and s.
  const int s = cache.trip_of[at(j)];
  const int ti = cache.trip_of[at(i)];
  const int da = cache.demand[at(a)];
  const int left = load[at(s - 1)];
  const int right = load[at(s)];
  const int split = load[at(ti)];
  const int before_i = demand_between(cache.trip_start[at(ti)] + 1, i - 1);
  const int after_i = split - before_i - da;
  if (ti == s - 1)  // i lies in trip s-1 itself
    return cache.excess - over(left, capacity) - over(right, capacity) + over(before_i, capacity) +
           over(after_i + da + right, capacity);
  return cache.excess - over(split, capacity) - over(left, capacity) - over(right, capacity) +
         over(before_i, capacity) + over(after_i, capacity) + over(left + da + right, capacity);
}

// The distance after swapping positions i < j, approximated in double from the
// edges the swap changes; the exact float distance lies within
// cache.error_bound of it.
inline double approximate_swapped_distance(const RouteCache& cache, std::span<const int> route, int i, int j) {
  assert(i < j);
  const double* cells = cache.wide.data();
  const auto cols = static_cast<std::size_t>(cache.matrix->cols);
  const int a = route[swap_detail::at(i)];
  const int b = route[swap_detail::at(j)];
  const int before_a = route[swap_detail::at(i - 1)];
  const int after_b = route[swap_detail::at(j + 1)];
  const auto d = [cells, cols](int from, int to) {
    return cells[static_cast<std::size_t>(from) * cols + static_cast<std::size_t>(to)];
  };
  double removed = 0.0;
  double added = 0.0;
  if (j == i + 1) {
    // Adjacent positions share the edge a -> b, which turns into b -> a.
    removed = d(before_a, a) + d(a, b) + d(b, after_b);
    added = d(before_a, b) + d(b, a) + d(a, after_b);
  } else {
    const int after_a = route[swap_detail::at(i + 1)];
    const int before_b = route[swap_detail::at(j - 1)];
    removed = d(before_a, a) + d(a, after_a) + d(before_b, b) + d(b, after_b);
    added = d(before_a, b) + d(b, after_a) + d(before_b, a) + d(a, after_b);
  }
  return static_cast<double>(cache.distance) + (added - removed);
}

// The exact float distance after swapping positions i < j, equal bit for bit to
// route_distance of the swapped Route: the same additions in the same order,
// started from the cached partial sum before i. The Route is only read; the
// partial sums of the swapped Route from i on are left in cache.scratch.
float swapped_distance(RouteCache& cache, std::span<const int> route, int i, int j);

// After the swap of i < j has been made on the Route, right after
// swapped_distance evaluated it: brings the cache up to date.
void cache_commit_swap(RouteCache& cache, std::span<const int> route, int i, int j);
