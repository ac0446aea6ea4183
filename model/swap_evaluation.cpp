#include "model/swap_evaluation.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "model/route.h"

namespace {

constexpr double kUnitRoundoff = 1.0 / 16777216.0;  // 2^-24, float
// Widening of the summation bound that covers the few double roundings made
// in forming the approximate distance (relative size about 2^-50 each).
constexpr double kSlack = 1.0 + 1.0 / 1048576.0;

using swap_detail::at;
using swap_detail::over;

// gamma_k of float recursive summation, with k = route_length (above the
// number of additions a Route distance makes).
double summation_gamma(int route_length) {
  const double k_u = static_cast<double>(route_length) * kUnitRoundoff;
  return k_u / (1.0 - k_u);
}

// The error bound of the approximate distance of any swap of the current
// Route: the exact distances of the Route and of the swapped Route each lie
// within gamma * (sum of |edges|) of their real sums, and a swap adds at most
// four edges.
void update_error_bound(RouteCache& cache) {
  const double gamma = summation_gamma(cache.route_length);
  const double edges = static_cast<double>(cache.route_length - 1);
  // Sum of |edges| of the Route: with no negative cell it is the real sum,
  // at most distance / (1 - gamma); otherwise at most (L-1) * largest cell.
  const double absolute = cache.non_negative
                              ? static_cast<double>(cache.distance) / (1.0 - gamma)
                              : edges * cache.largest_cell;
  cache.error_bound = gamma * (2.0 * absolute + 4.0 * cache.largest_cell) * kSlack;
}

// Trips, loads and the excess of the Route.
void describe_trips(RouteCache& cache, std::span<const int> route) {
  const int length = cache.route_length;
  cache.trip_start.clear();
  cache.trip_load.clear();
  cache.trip_start.push_back(0);
  int load = 0;
  int zeros = 0;
  int excess = 0;
  cache.trip_of[0] = 0;
  cache.demand_prefix[0] = 0;
  for (int k = 1; k < length; ++k) {
    const int node = route[at(k)];
    if (node != 0) {
      load += cache.demand[at(node)];
    } else {
      excess += over(load, cache.vehicle_capacity);
      cache.trip_load.push_back(load);
      cache.trip_start.push_back(k);
      load = 0;
      ++zeros;
    }
    cache.trip_of[at(k)] = zeros;
    cache.demand_prefix[at(k)] = cache.demand_prefix[at(k - 1)] + (node != 0 ? cache.demand[at(node)] : 0);
  }
  cache.excess = excess;
  cache.prefix_valid = length;
}

}  // namespace

void cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, std::span<const int> demand,
                   int route_length, int vehicle_capacity, std::span<const int> route) {
  cache.matrix = &matrix;
  cache.demand = demand;
  cache.route_length = route_length;
  cache.vehicle_capacity = vehicle_capacity;
  const int size = matrix.cols;
  cache.wide.assign(matrix.cells.size(), 0.0);
  cache.wide_transposed.assign(matrix.cells.size(), 0.0);
  cache.largest_cell = 0.0;
  cache.non_negative = true;
  for (int from = 0; from < matrix.rows; ++from)
    for (int to = 0; to < size; ++to) {
      const float cell = matrix.at(from, to);
      cache.wide[at(from) * static_cast<std::size_t>(size) + at(to)] = static_cast<double>(cell);
      cache.wide_transposed[at(to) * static_cast<std::size_t>(size) + at(from)] = static_cast<double>(cell);
      cache.largest_cell = std::max(cache.largest_cell, std::fabs(static_cast<double>(cell)));
      if (cell < 0.0f) cache.non_negative = false;
    }
  // Far below the float range the sums cannot overflow and the error bound
  // holds; instances with larger distances are evaluated exactly throughout.
  cache.intervals = cache.largest_cell * 8.0 * static_cast<double>(route_length) < 1e36;
  cache.partial.assign(at(route_length), 0.0f);
  cache.scratch.assign(at(route_length), 0.0f);
  cache.trip_of.assign(at(route_length), 0);
  cache.demand_prefix.assign(at(route_length), 0);
  cache.trip_start.reserve(at(route_length));
  cache.trip_load.reserve(at(route_length));
  cache_describe(cache, route);
}

void cache_describe(RouteCache& cache, std::span<const int> route) {
  const DistanceMatrix& matrix = *cache.matrix;
  float sum = 0.0f;
  cache.partial[0] = 0.0f;
  for (int k = 1; k < cache.route_length; ++k) {
    sum += matrix.at(route[at(k - 1)], route[at(k)]);
    cache.partial[at(k)] = sum;
  }
  cache.distance = sum;
  update_error_bound(cache);
  describe_trips(cache, route);
}

float swapped_distance(RouteCache& cache, std::span<const int> route, int i, int j) {
  assert(i < j);
  const float* cells = cache.matrix->cells.data();
  const auto cols = static_cast<std::size_t>(cache.matrix->cols);
  const int* node = route.data();
  float* partial = cache.scratch.data();
  // The swapped Route from position i on: node[j], node[i+1..j-1], node[i],
  // node[j+1..]. One addition per position, in position order.
  float sum = cache.partial[at(i - 1)];
  std::size_t from = static_cast<std::size_t>(node[i - 1]) * cols;
  const auto add = [&](int k, int to) {
    sum += cells[from + static_cast<std::size_t>(to)];
    partial[k] = sum;
    from = static_cast<std::size_t>(to) * cols;
  };
  add(i, node[j]);
  for (int k = i + 1; k < j; ++k) add(k, node[k]);
  add(j, node[i]);
  for (int k = j + 1; k < cache.route_length; ++k) add(k, node[k]);
  return sum;
}

void cache_commit_swap(RouteCache& cache, std::span<const int> route, int i, int j) {
  std::copy(cache.scratch.begin() + i, cache.scratch.end(), cache.partial.begin() + i);
  cache.distance = cache.partial[at(cache.route_length - 1)];
  update_error_bound(cache);
  // route now holds the swapped entries: b at i, a at j.
  const int b = route[at(i)];
  const int a = route[at(j)];
  if (a == 0 || b == 0) {
    describe_trips(cache, route);  // a trip boundary moved
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
