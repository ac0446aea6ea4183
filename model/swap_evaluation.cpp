#include "model/swap_evaluation.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

#include "model/route.h"

namespace {

constexpr double kUnitRoundoff = 1.0 / 16777216.0;  // 2^-24, float
constexpr double kDoubleRoundoff = 1.0 / 9007199254740992.0;  // 2^-53
// Bound on the relative error of the few double roundings that form an
// approximate distance (sums of at most 16 cells and one addition to the sum
// of the edges, each rounding 2^-53 of its size), with room to spare.
constexpr double kForming = 1.0 / 562949953421312.0;  // 2^-49
// Widening of the whole bound, which covers the roundings made in working it out.
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
// Route. The exact distance of the swapped Route lies within gamma * (sum of
// its |edges|) of their real sum, and the approximate one within real_error
// plus its forming roundings of that real sum. A swap adds at most four
// edges to those of the Route. As a linear function of |real| and real_error,
// its coefficients set once for the instance:
//   (gamma * (|edges| + 4 * largest) + real_error + 2^-49 * (|real| + 16 * largest)) * slack,
// where |edges| (the sum of |edges| of the Route) is real + real_error with no
// negative cell, and at most (L-1) * largest otherwise.
void set_bound_coefficients(RouteCache& cache) {
  if (cache.exact_sums) {
    // No sum rounds: the approximate distances are the exact ones.
    cache.bound_per_real = 0.0;
    cache.bound_base = 0.0;
    cache.bound_per_error = 0.0;
    cache.drift = 0.0;
    return;
  }
  const double gamma = cache.gamma;
  const double largest = cache.largest_cell;
  const double forming = kForming * 16.0 * largest;
  if (cache.non_negative) {
    cache.bound_per_real = (gamma + kForming) * kSlack;
    cache.bound_base = (gamma * 4.0 * largest + forming) * kSlack;
    cache.bound_per_error = (gamma + 1.0) * kSlack;
  } else {
    cache.bound_per_real = kForming * kSlack;
    cache.bound_base = (gamma * (static_cast<double>(cache.route_length - 1) + 4.0) * largest + forming) * kSlack;
    cache.bound_per_error = kSlack;
  }
  // A commit forms the new real as an approximate distance is formed, with
  // |real| at most (L-1) * largest.
  cache.drift = kForming * (static_cast<double>(cache.route_length - 1) + 16.0) * largest;
}

void update_error_bound(RouteCache& cache) {
  // With slack to spare for the roundings of these three products and sums.
  cache.error_bound = cache.bound_per_real * std::fabs(cache.real) + cache.bound_base +
                      cache.bound_per_error * cache.real_error;
}

// The edges summed in double, afresh.
void sum_edges(RouteCache& cache) {
  const int length = cache.route_length;
  double real = 0.0;
  for (int k = 1; k < length; ++k) real += static_cast<double>(cache.edge[at(k)]);
  cache.real = real;
  // Double recursive summation of L-1 terms: within 2 * L * 2^-53 * sum of |terms|
  // (and exact when the float sums are).
  cache.real_error = cache.exact_sums ? 0.0
                                      : 2.0 * static_cast<double>(length) * kDoubleRoundoff *
                                            static_cast<double>(length - 1) * cache.largest_cell;
}

// The partial sums from the edges.
void sum_partials(RouteCache& cache) {
  float sum = 0.0f;
  cache.partial[0] = 0.0f;
  for (int k = 1; k < cache.route_length; ++k) {
    sum += cache.edge[at(k)];
    cache.partial[at(k)] = sum;
  }
  cache.partial_fresh = true;
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

// Whether every float sum of route_length - 1 cells is exact (see the
// header): the cells are integer multiples of 2^lowest, where lowest is the
// exponent of the lowest set bit of any non-zero cell, and (L-1) times the
// largest |cell| is at most 2^(24 + lowest) (and within the float range).
bool sums_are_exact(const DistanceMatrix& matrix, int route_length, double largest) {
  int lowest = std::numeric_limits<int>::max();
  for (const float cell : matrix.cells) {
    // A float is its 24-bit significand times 2^(exponent field - 150) (the
    // field 0 stands for 1 in subnormals, whose significand lacks the
    // leading bit): its lowest set bit is the significand's, so placed.
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(cell) & 0x7fffffffu;
    if (bits == 0) continue;
    const auto field = static_cast<int>(bits >> 23);
    const std::uint32_t significand = (bits & 0x7fffffu) | (field != 0 ? 0x800000u : 0u);
    lowest = std::min(lowest, std::max(field, 1) - 150 + std::countr_zero(significand));
  }
  if (lowest == std::numeric_limits<int>::max()) return true;  // every cell 0
  const double reach = static_cast<double>(route_length - 1) * largest;  // exact: below 2^53
  return reach <= std::ldexp(1.0, 24 + lowest) && reach <= static_cast<double>(std::numeric_limits<float>::max());
}

// All the storage of the cache, for an instance and its Route length.
void allocate_cache(RouteCache& cache, const DistanceMatrix& matrix, int route_length) {
  cache.wide.clear();
  if (matrix.cells.size() <= RouteCache::kWideCells) cache.wide.assign(matrix.cells.begin(), matrix.cells.end());
  cache.edge.assign(at(route_length + 3), 0.0f);
  cache.partial.assign(at(route_length), 0.0f);
  cache.trip_of.assign(at(route_length), 0);
  cache.demand_prefix.assign(at(route_length), 0);
  cache.trip_start.reserve(at(route_length));
  cache.trip_load.reserve(at(route_length));
}

// After a swap of i < j: the trips, loads and excess of the Route.
[[gnu::always_inline]] inline void commit_trips(RouteCache& cache, std::span<const int> route, int i, int j) {
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

}  // namespace

bool cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, std::span<const int> demand,
                   int route_length, int vehicle_capacity, std::span<const int> route) {
  if (!with_working_memory([&] { allocate_cache(cache, matrix, route_length); })) return false;
  cache.matrix = &matrix;
  cache.cells = matrix.cells.data();
  cache.cols = static_cast<std::size_t>(matrix.cols);
  cache.demand = demand;
  cache.route_length = route_length;
  cache.vehicle_capacity = vehicle_capacity;
  cache.largest_cell = 0.0;
  cache.non_negative = true;
  for (const float cell : matrix.cells) {
    cache.largest_cell = std::max(cache.largest_cell, std::fabs(static_cast<double>(cell)));
    if (cell < 0.0f) cache.non_negative = false;
  }
  // Far below the float range the sums cannot overflow and the error bound
  // holds; instances with larger distances are evaluated exactly throughout.
  cache.intervals = cache.largest_cell * 8.0 * static_cast<double>(route_length) < 1e36;
  cache.exact_sums = cache.intervals && sums_are_exact(matrix, route_length, cache.largest_cell);
  cache.gamma = summation_gamma(route_length);
  set_bound_coefficients(cache);
  cache_describe(cache, route);
  return true;
}

void cache_describe(RouteCache& cache, std::span<const int> route) {
  const DistanceMatrix& matrix = *cache.matrix;
  const int length = cache.route_length;
  for (int k = 1; k < length; ++k) cache.edge[at(k)] = matrix.at(route[at(k - 1)], route[at(k)]);
  sum_partials(cache);
  cache.distance = cache.partial[at(length - 1)];
  sum_edges(cache);
  update_error_bound(cache);
  describe_trips(cache, route);
}

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
  if (!cache.partial_fresh) sum_partials(cache);
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
  if (cache.real_error > cache.gamma * cache.largest_cell) sum_edges(cache);
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
  update_error_bound(cache);
  commit_trips(cache, route, i, j);
}

