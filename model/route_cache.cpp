#include "model/route_cache.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "model/route.h"

namespace {

constexpr double kUnitRoundoff = 1.0 / 16777216.0;  // 2^-24, float
// Bound on the relative error of the few double roundings that form an
// approximate distance (sums of at most 16 cells and one addition to the sum
// of the edges, each rounding 2^-53 of its size), with room to spare.
constexpr double kForming = 1.0 / 562949953421312.0;  // 2^-49
// Widening of the whole bound, which covers the roundings made in working it out.
constexpr double kSlack = 1.0 + 1.0 / 1048576.0;

using route_cache_detail::at;
using route_cache_detail::over;

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

}  // namespace

namespace {

// The exponent of the lowest set bit of a non-zero float: a float is its
// 24-bit significand times 2^(exponent field - 150) (the field 0 stands for
// 1 in subnormals, whose significand lacks the leading bit).
int lowest_bit(float cell) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(cell) & 0x7fffffffu;
  const auto field = static_cast<int>(bits >> 23);
  const std::uint32_t significand = (bits & 0x7fffffu) | (field != 0 ? 0x800000u : 0u);
  return std::max(field, 1) - 150 + std::countr_zero(significand);
}

// Whether every float sum of route_length - 1 cells is exact, for cells
// that are integer multiples of 2^lowest (any_nonzero: one of them is not
// 0) of at most `largest` in size.
bool sums_exact(bool any_nonzero, int lowest, int route_length, double largest) {
  if (!any_nonzero) return true;  // every cell 0
  const double reach = static_cast<double>(route_length - 1) * largest;  // exact: below 2^53
  return reach <= std::ldexp(1.0, 24 + lowest) && reach <= static_cast<double>(std::numeric_limits<float>::max());
}

}  // namespace

void add_cells(CellFacts& facts, std::span<const float> cells) {
  int lowest = facts.any_nonzero ? facts.lowest : std::numeric_limits<int>::max();
  for (const float cell : cells) {
    facts.largest = std::max(facts.largest, std::fabs(static_cast<double>(cell)));
    if (cell < 0.0f) facts.non_negative = false;
    if (cell != 0.0f) lowest = std::min(lowest, lowest_bit(cell));
  }
  facts.any_nonzero = lowest != std::numeric_limits<int>::max();
  facts.lowest = facts.any_nonzero ? lowest : 0;
}

bool sums_are_exact(const DistanceMatrix& matrix, int route_length, double largest) {
  if (!matrix.computed()) {
    CellFacts facts;
    add_cells(facts, matrix.cells);
    return sums_exact(facts.any_nonzero, facts.lowest, route_length, largest);
  }
  const double reach = static_cast<double>(route_length - 1) * largest;  // exact: below 2^53
  if (!(reach <= static_cast<double>(std::numeric_limits<float>::max()))) return false;
  // Computed rounded distances are whole numbers: below 2^24 every sum is exact.
  if (matrix.rounded && reach <= 16777216.0) return true;
  // Otherwise every non-zero distance d must be a multiple of 2^lowest_bit(d)
  // with reach at most 2^(24 + lowest_bit(d)): the first that is not settles it.
  for (int from = 0; from < matrix.rows; ++from)
    for (int to = 0; to < matrix.rows; ++to) {
      const float cell = matrix.at(from, to);
      if (cell != 0.0f && reach > std::ldexp(1.0, 24 + lowest_bit(cell))) return false;
    }
  return true;
}

bool cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, std::span<const int> demand,
                   int route_length, int vehicle_capacity, std::span<const int> route) {
  CellFacts facts;
  add_cells(facts, matrix.cells);
  return cache_prepare(cache, matrix, facts, demand, route_length, vehicle_capacity, route);
}

bool cache_prepare(RouteCache& cache, const DistanceMatrix& matrix, const CellFacts& facts,
                   std::span<const int> demand, int route_length, int vehicle_capacity, std::span<const int> route) {
  if (!with_working_memory([&] { allocate_cache(cache, matrix, route_length); })) return false;
  cache.matrix = &matrix;
  cache.cells = matrix.cells.data();
  cache.cols = static_cast<std::size_t>(matrix.cols);
  cache.demand = demand;
  cache.route_length = route_length;
  cache.vehicle_capacity = vehicle_capacity;
  cache.largest_cell = facts.largest;
  cache.non_negative = facts.non_negative;
  // Far below the float range the sums cannot overflow and the error bound
  // holds; instances with larger distances are evaluated exactly throughout.
  cache.intervals = cache.largest_cell * 8.0 * static_cast<double>(route_length) < 1e36;
  cache.exact_sums = cache.intervals && sums_exact(facts.any_nonzero, facts.lowest, route_length, cache.largest_cell);
  cache.gamma = summation_gamma(route_length);
  set_bound_coefficients(cache);
  cache_describe(cache, route);
  return true;
}

void cache_describe(RouteCache& cache, std::span<const int> route) {
  const DistanceMatrix& matrix = *cache.matrix;
  const int length = cache.route_length;
  for (int k = 1; k < length; ++k) cache.edge[at(k)] = matrix.at(route[at(k - 1)], route[at(k)]);
  cache_sum_partials(cache);
  cache.distance = cache.partial[at(length - 1)];
  cache_sum_edges(cache);
  cache_update_error_bound(cache);
  cache_describe_trips(cache, route);
}

void cache_describe_trips(RouteCache& cache, std::span<const int> route) {
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

bool route_sums_exact(const DistanceMatrix& matrix, int route_length) {
  if (matrix.computed()) {
    const double largest = largest_distance(matrix);
    return largest * 8.0 * static_cast<double>(route_length) < 1e36 && sums_are_exact(matrix, route_length, largest);
  }
  CellFacts facts;
  add_cells(facts, matrix.cells);
  return facts.largest * 8.0 * static_cast<double>(route_length) < 1e36 &&
         sums_exact(facts.any_nonzero, facts.lowest, route_length, facts.largest);
}
