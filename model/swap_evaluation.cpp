#include "model/swap_evaluation.h"

#include <algorithm>
#include <cassert>

#include "model/route.h"

namespace {

using swap_detail::at;
using swap_detail::over;

// After a swap of i < j: the trips, loads and excess of the Route.
[[gnu::always_inline]] inline void commit_trips(RouteCache& cache, std::span<const int> route, int i, int j) {
  const int b = route[at(i)];
  const int a = route[at(j)];
  if (a == 0 || b == 0) {
    cache_describe_trips(cache, route);  // a trip boundary moved
    return;
  }
  // Two customers: the trips keep their bounds and trade the difference of
  // demand; the demand prefix from i on is stale.
  const int shift = cache.demand[at(b)] - cache.demand[at(a)];
  cache.prefix_valid = std::min(cache.prefix_valid, i);
  const int ti = cache.trip_of[at(i)];
  const int tj = cache.trip_of[at(j)];
  if (ti == tj) return;
  const int capacity = cache.vehicle_capacity;
  int& load_i = cache.trip_load[at(ti)];
  int& load_j = cache.trip_load[at(tj)];
  cache.excess += over(load_i + shift, capacity) + over(load_j - shift, capacity) - over(load_i, capacity) -
                  over(load_j, capacity);
  load_i += shift;
  load_j -= shift;
}

}  // namespace

int swapped_excess_moving_zero(const RouteCache& cache, std::span<const int> route, int i, int j) {
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

float swapped_distance(RouteCache& cache, std::span<const int> route, int i, int j) {
  assert(i < j);
  if (!cache.partial_fresh) cache_sum_partials(cache);
  const float* cells = cache.cells;
  const std::size_t cols = cache.cols;
  const int* node = route.data();
  const float* edge = cache.edge.data();
  // The swapped Route from position i on: node[j], node[i+1..j-1], node[i],
  // node[j+1..]. One addition per position, in position order; the edges
  // strictly between the changed ones are the Route's own.
  const auto cell = [cells, cols](int from, int to) {
    return cells[static_cast<std::size_t>(from) * cols + static_cast<std::size_t>(to)];
  };
  float sum = cache.partial[at(i - 1)] + cell(node[i - 1], node[j]);
  if (j == i + 1) {
    sum += cell(node[j], node[i]);
  } else {
    sum += cell(node[j], node[i + 1]);
    for (int k = i + 2; k < j; ++k) sum += edge[k];
    sum += cell(node[j - 1], node[i]);
  }
  sum += cell(node[i], node[j + 1]);
  for (int k = j + 2; k < cache.route_length; ++k) sum += edge[k];
  return sum;
}

void cache_commit_swap(RouteCache& cache, std::span<const int> route, int i, int j, double approximate) {
  const int length = cache.route_length;
  // route now holds the swapped entries: b at i, a at j. The edges at i, i+1,
  // j and j+1 changed (three of them when j = i + 1).
  const DistanceMatrix& matrix = *cache.matrix;
  float* edge = cache.edge.data();
  for (const int k : {i, i + 1, j, j + 1}) edge[k] = matrix.at(route[at(k - 1)], route[at(k)]);
  cache.real = approximate;
  cache.real_error += cache.drift;
  // Each swap's roundings add to the error: sum the edges anew before it
  // reaches the scale of the float summation bound.
  if (cache.real_error > cache.gamma * cache.largest_cell) cache_sum_edges(cache);
  if (cache.exact_sums) {
    cache.distance = static_cast<float>(approximate);  // exactly: no sum rounds
    cache.partial_fresh = false;
    commit_trips(cache, route, i, j);
    return;
  }
  // The exact distance: the float sum of the edges, four at a time over the
  // +0 padding.
  const float* added = edge + 1;
  const float* const last = edge + length;
  float sum = 0.0f;
  do {
    sum += added[0];
    sum += added[1];
    sum += added[2];
    sum += added[3];
    added += 4;
  } while (added < last);
  cache.distance = sum;
  cache.partial_fresh = false;
  cache_update_error_bound(cache);
  commit_trips(cache, route, i, j);
}

