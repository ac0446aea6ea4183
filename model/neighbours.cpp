#include "model/neighbours.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace {

// (nearness, customer): the pair's order breaks ties by the lower number.
using Candidate = std::pair<float, int>;

// Every other customer looked at: O(n^2 log K) time, for any matrix.
void lists_from_matrix(const Instance& instance, NeighbourLists& lists) {
  const int n = instance.customer_count;
  const auto width = static_cast<std::size_t>(lists.per_customer);
  std::vector<Candidate> others;
  others.reserve(static_cast<std::size_t>(std::max(n - 1, 0)));
  for (int customer = 1; customer <= n; ++customer) {
    others.clear();
    for (int other = 1; other <= n; ++other)
      if (other != customer)
        others.emplace_back(std::min(instance.matrix.at(customer, other), instance.matrix.at(other, customer)), other);
    std::partial_sort(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(width), others.end());
    for (std::size_t i = 0; i < width; ++i) lists.customers.push_back(others[i].second);
  }
}

// The customers' points in square buckets of about two customers each.
struct Buckets {
  double left = 0.0, bottom = 0.0, side = 1.0;
  int columns = 1, rows = 1;
  std::vector<int> start;      // bucket b's customers at members[start[b] .. start[b + 1])
  std::vector<int> members;    // customers, bucket by bucket, ascending within one
  std::vector<int> column_of;  // of each customer
  std::vector<int> row_of;
};

int bucket_index(double offset, double side, int count) {
  const double at = std::floor(offset / side);
  return !(at > 0.0) ? 0 : at >= count - 1 ? count - 1 : static_cast<int>(at);
}

// One bucket holds every point when they span no finite area to divide.
void make_buckets(const std::vector<NodePoint>& points, int n, Buckets& buckets) {
  double left = points[1].x, right = left, bottom = points[1].y, top = bottom;
  for (int c = 2; c <= n; ++c) {
    const NodePoint& p = points[static_cast<std::size_t>(c)];
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    bottom = std::min(bottom, p.y);
    top = std::max(top, p.y);
  }
  const double width = right - left, height = top - bottom;
  const bool finite = std::isfinite(width) && std::isfinite(height);
  const double wanted = finite ? std::max(1.0, n / 2.0) : 1.0;  // buckets
  double side = width > 0.0 && height > 0.0 ? std::sqrt(width * height / wanted) : std::max(width, height) / wanted;
  // No more than `wanted` buckets along either side.
  side = std::max({side, width / wanted, height / wanted});
  if (!(side > 0.0) || !std::isfinite(side)) side = 1.0;  // every point on one spot, or no finite span
  buckets.left = left;
  buckets.bottom = bottom;
  buckets.side = side;
  buckets.columns = finite ? static_cast<int>(std::min(wanted, std::floor(width / side))) + 1 : 1;
  buckets.rows = finite ? static_cast<int>(std::min(wanted, std::floor(height / side))) + 1 : 1;
  const auto count = static_cast<std::size_t>(buckets.columns) * static_cast<std::size_t>(buckets.rows);
  buckets.start.assign(count + 1, 0);
  buckets.column_of.assign(static_cast<std::size_t>(n) + 1, 0);
  buckets.row_of.assign(static_cast<std::size_t>(n) + 1, 0);
  const auto bucket_of = [&](int c) {
    return static_cast<std::size_t>(buckets.row_of[static_cast<std::size_t>(c)]) * buckets.columns +
           static_cast<std::size_t>(buckets.column_of[static_cast<std::size_t>(c)]);
  };
  for (int c = 1; c <= n; ++c) {
    const NodePoint& p = points[static_cast<std::size_t>(c)];
    buckets.column_of[static_cast<std::size_t>(c)] = bucket_index(p.x - left, side, buckets.columns);
    buckets.row_of[static_cast<std::size_t>(c)] = bucket_index(p.y - bottom, side, buckets.rows);
    ++buckets.start[bucket_of(c) + 1];
  }
  for (std::size_t b = 0; b < count; ++b) buckets.start[b + 1] += buckets.start[b];
  buckets.members.assign(static_cast<std::size_t>(n), 0);
  std::vector<int> next(buckets.start.begin(), buckets.start.end() - 1);
  for (int c = 1; c <= n; ++c) buckets.members[static_cast<std::size_t>(next[bucket_of(c)]++)] = c;
}

// The same lists from the points: each customer's search spreads over rings
// of buckets around its own until no customer beyond them can come before
// the K-th found. A customer beyond the rings lies at least as far from the
// point as the nearest side of their square (along one axis); that gap, less
// a margin for the rounding of the bucket placement and of the distance, is
// turned into a nearness as the distance is, by monotone steps (rounding,
// then float), so no customer beyond can be nearer than it. The search stops
// only when that bound is above the K-th nearness: a customer at the same
// nearness with a lower number could come before it.
void lists_from_points(const Instance& instance, const Buckets& buckets, NeighbourLists& lists) {
  const int n = instance.customer_count;
  const std::vector<NodePoint>& points = *instance.points;
  const bool round = instance.true_distances == TrueDistance::rounded_euclidean;
  const int width = lists.per_customer;
  double largest = 0.0;  // coordinate, in absolute value
  for (int c = 1; c <= n; ++c)
    largest = std::max({largest, std::fabs(points[static_cast<std::size_t>(c)].x),
                        std::fabs(points[static_cast<std::size_t>(c)].y)});
  const int rings = std::max(buckets.columns, buckets.rows);
  // The customers found, down to the K nearest at each ring's end; once K
  // are found, only those before the K-th are added.
  std::vector<Candidate> best;
  for (int customer = 1; customer <= n; ++customer) {
    const NodePoint& from = points[static_cast<std::size_t>(customer)];
    const int column = buckets.column_of[static_cast<std::size_t>(customer)];
    const int row = buckets.row_of[static_cast<std::size_t>(customer)];
    best.clear();
    bool full = false;
    Candidate kth{};
    const auto look_at = [&](int bucket_column, int bucket_row) {
      if (bucket_column < 0 || bucket_column >= buckets.columns || bucket_row < 0 || bucket_row >= buckets.rows) return;
      const auto bucket = static_cast<std::size_t>(bucket_row) * buckets.columns + static_cast<std::size_t>(bucket_column);
      for (int at = buckets.start[bucket]; at < buckets.start[bucket + 1]; ++at) {
        const int other = buckets.members[static_cast<std::size_t>(at)];
        if (other == customer) continue;
        const Candidate candidate{
            static_cast<float>(euclidean_distance(from, points[static_cast<std::size_t>(other)], round)), other};
        if (!full || candidate < kth) best.push_back(candidate);
      }
    };
    for (int ring = 0; ring < rings; ++ring) {
      if (ring == 0) {
        look_at(column, row);
      } else {
        for (int dc = -ring; dc <= ring; ++dc) {
          look_at(column + dc, row - ring);
          look_at(column + dc, row + ring);
        }
        for (int dr = -ring + 1; dr <= ring - 1; ++dr) {
          look_at(column - ring, row + dr);
          look_at(column + ring, row + dr);
        }
      }
      if (static_cast<int>(best.size()) < width) continue;
      // The K nearest so far at the front, the K-th last of them.
      std::nth_element(best.begin(), best.begin() + (width - 1), best.end());
      best.resize(static_cast<std::size_t>(width));
      kth = best.back();
      full = true;
      // The gap from the point to the nearest side of the rings' square
      // that has buckets beyond it.
      double gap = std::numeric_limits<double>::infinity();
      if (column - ring > 0) gap = std::min(gap, from.x - (buckets.left + (column - ring) * buckets.side));
      if (column + ring < buckets.columns - 1)
        gap = std::min(gap, buckets.left + (column + ring + 1) * buckets.side - from.x);
      if (row - ring > 0) gap = std::min(gap, from.y - (buckets.bottom + (row - ring) * buckets.side));
      if (row + ring < buckets.rows - 1) gap = std::min(gap, buckets.bottom + (row + ring + 1) * buckets.side - from.y);
      if (gap == std::numeric_limits<double>::infinity()) break;  // every bucket looked at
      gap = gap * (1.0 - 1e-9) - 1e-9 * (largest + (ring + 1) * buckets.side);
      if (gap <= 0.0) continue;
      const auto bound = static_cast<float>(round ? std::floor(gap + 0.5) : gap);
      if (bound > kth.first) break;
    }
    std::sort(best.begin(), best.end());
    for (const Candidate& c : best) lists.customers.push_back(c.second);
  }
}

}  // namespace

NeighbourLists nearest_neighbours(const Instance& instance, int k) {
  const int n = instance.customer_count;
  NeighbourLists lists;
  lists.per_customer = std::clamp(k, 0, std::max(n - 1, 0));
  lists.customers.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(lists.per_customer));
  if (lists.per_customer == 0) return lists;
  const bool from_points = (instance.true_distances == TrueDistance::euclidean ||
                            instance.true_distances == TrueDistance::rounded_euclidean) &&
                           instance.points && instance.points->size() > static_cast<std::size_t>(n);
  if (from_points) {
    Buckets buckets;
    make_buckets(*instance.points, n, buckets);
    lists_from_points(instance, buckets, lists);
  } else {
    lists_from_matrix(instance, lists);
  }
  return lists;
}
