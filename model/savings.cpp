#include "model/savings.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

// Joining the trip that ends with `from` to the one that starts with `to`.
struct Saving {
  double value = 0.0;
  int from = 0;
  int to = 0;
};

// Largest saving first, ties by the lower `from`, then the lower `to`.
bool taken_before(const Saving& a, const Saving& b) {
  if (a.value != b.value) return a.value > b.value;
  if (a.from != b.from) return a.from < b.from;
  return a.to < b.to;
}

bool same_pair(const Saving& a, const Saving& b) { return a.from == b.from && a.to == b.to; }

// The trips being joined: each customer's links to the customers next to it
// in its trip (0: the depot), and the trips as disjoint sets with their loads.
// On a symmetric matrix the two links are unordered (the first filled
// first); on an asymmetric one they are the previous and the next customer.
class Joining {
 public:
  Joining(const Instance& instance, bool symmetric)
      : instance_(instance),
        symmetric_(symmetric),
        link_(index(instance.customer_count + 1), std::array<int, 2>{0, 0}),
        parent_(index(instance.customer_count + 1)),
        load_(index(instance.customer_count + 1)),
        trips_(instance.customer_count) {
    for (int c = 1; c <= instance.customer_count; ++c) {
      parent_[index(c)] = c;
      load_[index(c)] = instance.demand[index(c)];
    }
  }

  int trips() const { return trips_; }

  double saving(int from, int to) const {
    const DistanceMatrix& d = instance_.matrix;
    return static_cast<double>(d.at(from, 0)) + static_cast<double>(d.at(0, to)) - static_cast<double>(d.at(from, to));
  }

  bool ends_trip(int c) const { return link_[index(c)][1] == 0; }
  bool starts_trip(int c) const { return symmetric_ ? link_[index(c)][1] == 0 : link_[index(c)][0] == 0; }

  // Joins the two trips when `from` ends one and `to` starts another (or,
  // on a symmetric matrix, when both are ends), and, if `within_capacity`,
  // when their loads together fit a truck.
  bool join(int from, int to, bool within_capacity) {
    if (!ends_trip(from) || !starts_trip(to)) return false;
    const int a = root(from), b = root(to);
    if (a == b) return false;
    if (within_capacity && load_[index(a)] + load_[index(b)] > instance_.vehicle_capacity) return false;
    if (symmetric_) {
      link_[index(from)][link_[index(from)][0] == 0 ? 0 : 1] = to;
      link_[index(to)][link_[index(to)][0] == 0 ? 0 : 1] = from;
    } else {
      link_[index(from)][1] = to;
      link_[index(to)][0] = from;
    }
    parent_[index(b)] = a;
    load_[index(a)] += load_[index(b)];
    --trips_;
    return true;
  }

  // Whether two customers are in different trips.
  bool apart(int a, int b) { return root(a) != root(b); }

  std::vector<std::vector<int>> result() const {
    std::vector<std::vector<int>> trips;
    std::vector<char> placed(index(instance_.customer_count + 1), 0);
    for (int c = 1; c <= instance_.customer_count; ++c) {
      if (placed[index(c)] || !starts_trip(c)) continue;
      std::vector<int>& trip = trips.emplace_back();
      for (int previous = 0, at = c; at != 0;) {
        trip.push_back(at);
        placed[index(at)] = 1;
        const std::array<int, 2>& links = link_[index(at)];
        const int next = symmetric_ ? (links[0] != previous ? links[0] : links[1]) : links[1];
        previous = at;
        at = next;
      }
    }
    return trips;
  }

 private:
  static std::size_t index(int c) { return static_cast<std::size_t>(c); }

  int root(int c) {
    while (parent_[index(c)] != c) {
      parent_[index(c)] = parent_[index(parent_[index(c)])];
      c = parent_[index(c)];
    }
    return c;
  }

  const Instance& instance_;
  bool symmetric_;
  std::vector<std::array<int, 2>> link_;
  std::vector<int> parent_;
  std::vector<long long> load_;  // a trip's load, at its set's root
  int trips_;
};

void sort_unique(std::vector<Saving>& savings) {
  std::sort(savings.begin(), savings.end(), taken_before);
  savings.erase(std::unique(savings.begin(), savings.end(), same_pair), savings.end());
}

// The fleet limit over every pair of the trips' ends: O(T^2) pairs.
void join_any_ends(Joining& joining, int n, bool symmetric, int trucks, std::vector<Saving>& savings) {
  std::vector<int> ends, starts;
  for (int c = 1; c <= n; ++c) {
    if (joining.ends_trip(c)) ends.push_back(c);
    if (!symmetric && joining.starts_trip(c)) starts.push_back(c);
  }
  savings.clear();
  if (symmetric) {
    for (std::size_t a = 0; a < ends.size(); ++a)
      for (std::size_t b = a + 1; b < ends.size(); ++b)
        if (joining.apart(ends[a], ends[b])) savings.push_back({joining.saving(ends[a], ends[b]), ends[a], ends[b]});
  } else {
    for (const int from : ends)
      for (const int to : starts)
        if (joining.apart(from, to)) savings.push_back({joining.saving(from, to), from, to});
  }
  sort_unique(savings);
  for (const Saving& s : savings) {
    if (joining.trips() <= trucks) break;
    joining.join(s.from, s.to, false);
  }
}

// The fleet limit over near ends only, for a symmetric instance with
// points: in rounds, each end paired with its kFleetEnds nearest other ends
// (as the neighbour lists find them, among the ends alone), the pairs taken
// largest saving first. Each round joins at least one pair: at most one of
// an end's nearest ends is the other end of its own trip. O(T K log T) time
// and O(T K) memory a round.
constexpr int kFleetEnds = 20;

void join_near_ends(const Instance& instance, Joining& joining, int trucks, std::vector<Saving>& savings) {
  const int n = instance.customer_count;
  while (joining.trips() > trucks) {
    Instance ends;  // ends 1..E, the depot at 0, by their points
    ends.true_distances = instance.true_distances;
    ends.points.emplace(1, (*instance.points)[0]);
    std::vector<int> customer{0};
    for (int c = 1; c <= n; ++c)
      if (joining.ends_trip(c)) {
        customer.push_back(c);
        ends.points->push_back((*instance.points)[static_cast<std::size_t>(c)]);
      }
    ends.customer_count = static_cast<int>(customer.size()) - 1;
    const NeighbourLists near = nearest_neighbours(ends, kFleetEnds);
    savings.clear();
    for (int e = 1; e <= ends.customer_count; ++e)
      for (const int other : near.of(e)) {
        const int a = customer[static_cast<std::size_t>(std::min(e, other))];
        const int b = customer[static_cast<std::size_t>(std::max(e, other))];
        if (joining.apart(a, b)) savings.push_back({joining.saving(a, b), a, b});
      }
    sort_unique(savings);
    for (const Saving& s : savings) {
      if (joining.trips() <= trucks) break;
      joining.join(s.from, s.to, false);
    }
  }
}

}  // namespace

std::vector<std::vector<int>> savings_trips(const Instance& instance, const NeighbourLists& neighbours, int trucks) {
  const int n = instance.customer_count;
  const bool symmetric = matrix_is_symmetric(instance.matrix);
  Joining joining(instance, symmetric);

  // The granular pairs, each way on an asymmetric matrix, as (lower, higher)
  // on a symmetric one; a pair met from both of its customers' lists is
  // kept once.
  std::vector<Saving> savings;
  savings.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(neighbours.per_customer) * (symmetric ? 1 : 2));
  const auto add = [&](int from, int to) {
    const double value = joining.saving(from, to);
    if (value >= 0.0) savings.push_back({value, from, to});
  };
  for (int c = 1; c <= n; ++c)
    for (const int other : neighbours.of(c)) {
      if (symmetric) {
        add(std::min(c, other), std::max(c, other));
      } else {
        add(c, other);
        add(other, c);
      }
    }
  sort_unique(savings);
  for (const Saving& s : savings) joining.join(s.from, s.to, true);

  // The fleet limit: every pair of ends of the trips left, joined past the
  // capacity. A joined trip's ends are ends of the trips it joined, so these
  // pairs can bring the trips down to any number.
  if (trucks > 0 && joining.trips() > trucks) {
    const bool from_points = (instance.true_distances == TrueDistance::euclidean ||
                              instance.true_distances == TrueDistance::rounded_euclidean) &&
                             instance.points && instance.points->size() > static_cast<std::size_t>(n);
    if (n > kAllEndsCustomers && symmetric && from_points)
      join_near_ends(instance, joining, trucks, savings);
    else
      join_any_ends(joining, n, symmetric, trucks, savings);
  }
  return joining.result();
}
