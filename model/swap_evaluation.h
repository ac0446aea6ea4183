// Exact evaluation of a swap of two Route positions without a pass over the
// whole Route, from the Route's cache (model/route_cache.h).
//
// A swap at positions i < j leaves every partial sum before i unchanged: the
// exact float distance of the swapped Route needs only the additions from i
// on, started from the cached partial sum. The cache's double sum of the
// edges plus the change computed in double from the four edges a swap
// touches (three when j = i + 1), widened by the cache's error bound, gives
// an interval that holds the exact float distance of the swapped Route; with
// exact sums it is that distance. The capacity excess of the swapped Route
// comes from the loads of the trips the swap touches, in constant time.
#pragma once

#include <cassert>
#include <span>
#include <type_traits>
#include <vector>

#include "model/instance.h"
#include "model/route.h"
#include "model/route_cache.h"

namespace swap_detail {
using route_cache_detail::at;
using route_cache_detail::over;
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
