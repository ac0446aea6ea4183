#include "search/ruin_recreate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "model/random.h"

namespace {

using trips_detail::at;
using trips_detail::over;

int customers_in(const Trips& trips, int t) { return static_cast<int>(trips.nodes[at(t)].size()) - 2; }

// A fresh draw below probability x 2^31: true with that probability.
bool chance(double probability) {
  return random_draw() < static_cast<std::int64_t>(probability * 2147483648.0);
}

// The trip and position of trip t's customers from position `from` on.
void renumber(Trips& trips, int t, int from) {
  const std::vector<int>& nodes = trips.nodes[at(t)];
  for (std::size_t p = at(from); p + 1 < nodes.size(); ++p) {
    trips.trip_of[at(nodes[p])] = t;
    trips.position_of[at(nodes[p])] = static_cast<int>(p);
  }
}

// Trip t is about to change: its nodes are kept for an undo.
void touch(RuinRecreate& step, const Trips& trips, int t) {
  if (step.is_touched[at(t)] != 0) return;
  step.is_touched[at(t)] = 1;
  step.touched.push_back(t);
  step.saved[at(t)] = trips.nodes[at(t)];
}

// Takes from trip t a string of `length` customers holding position pc,
// split or not.
void take_string(RuinRecreate& step, Trips& trips, int t, int pc, int length) {
  const Instance& instance = *trips.instance;
  const int customers = customers_in(trips, t);
  int kept = 0;
  if (length >= 2 && length < customers && chance(kSplitShare)) {
    kept = 1;
    while (length + kept < customers && random_below(2) == 1) ++kept;
  }
  const int window = length + kept;
  const int low = std::max(1, pc - window + 1);
  const int high = std::min(pc, customers - window + 1);
  const int first = low + random_below(high - low + 1);
  const int kept_from = kept > 0 ? first + 1 + random_below(length - 1) : first + window;
  touch(step, trips, t);
  step.ruined[at(t)] = 1;
  std::vector<int>& nodes = trips.nodes[at(t)];
  int write = first;
  for (int p = first; p < first + window; ++p) {
    const int node = nodes[at(p)];
    if (p >= kept_from && p < kept_from + kept) {
      nodes[at(write++)] = node;
      continue;
    }
    step.removed.push_back(node);
    trips.trip_of[at(node)] = -1;
    step.load[at(t)] -= instance.demand[at(node)];
  }
  nodes.erase(nodes.begin() + write, nodes.begin() + first + window);
  renumber(trips, t, first);
}

// Where a customer goes: after position `after` of trip `trip`.
struct Place {
  int trip = -1;
  int after = 0;
  double cost = std::numeric_limits<double>::infinity();
  int added_overload = std::numeric_limits<int>::max();
};

double insertion_cost(const Trips& trips, int c, int t, int after) {
  const DistanceMatrix& matrix = trips.instance->matrix;
  const std::vector<int>& nodes = trips.nodes[at(t)];
  const int a = nodes[at(after)];
  const int b = nodes[at(after + 1)];
  return static_cast<double>(matrix.at(a, c)) + static_cast<double>(matrix.at(c, b)) -
         static_cast<double>(matrix.at(a, b));
}

// Puts customer c back (see the header for the order of the places).
void put_back(RuinRecreate& step, Trips& trips, int c) {
  const Instance& instance = *trips.instance;
  const int capacity = instance.vehicle_capacity;
  const int demand = instance.demand[at(c)];
  const std::int64_t blink_below = step.blink_below;
  Place best;
  const auto consider = [&](int t, int after) {
    if (blink_below > 0 && random_draw() < blink_below) return;
    const double cost = insertion_cost(trips, c, t, after);
    if (cost < best.cost) best = {t, after, cost, 0};
  };
  for (const int v : step.places.of(c)) {
    const int t = trips.trip_of[at(v)];
    if (t < 0 || step.load[at(t)] + demand > capacity) continue;
    const int pv = trips.position_of[at(v)];
    consider(t, pv - 1);
    consider(t, pv);
  }
  const int trip_count = static_cast<int>(trips.nodes.size());
  if (best.trip < 0)
    for (int t = 0; t < trip_count; ++t) {
      if (customers_in(trips, t) == 0 || step.load[at(t)] + demand > capacity) continue;
      for (int after = 0; after <= customers_in(trips, t); ++after) consider(t, after);
    }
  if (best.trip < 0)
    for (int t = 0; t < trip_count && best.trip < 0; ++t)
      if (customers_in(trips, t) == 0) best = {t, 0, 0.0, 0};
  if (best.trip < 0)
    for (int t = 0; t < trip_count; ++t) {
      const int added = over(step.load[at(t)] + demand, capacity) - over(step.load[at(t)], capacity);
      if (added > best.added_overload) continue;
      for (int after = 0; after <= customers_in(trips, t); ++after) {
        const double cost = insertion_cost(trips, c, t, after);
        if (added < best.added_overload || cost < best.cost) best = {t, after, cost, added};
      }
    }
  touch(step, trips, best.trip);
  std::vector<int>& nodes = trips.nodes[at(best.trip)];
  nodes.insert(nodes.begin() + best.after + 1, c);
  step.load[at(best.trip)] += demand;
  renumber(trips, best.trip, best.after + 1);
}

}  // namespace

void ruin_prepare(RuinRecreate& step, const Trips& trips, int size, int longest_string, double blink,
                  int granularity) {
  const Instance& instance = *trips.instance;
  step.size = size;
  step.longest_string = longest_string;
  step.blink_below = static_cast<std::int64_t>(blink * 2147483648.0);
  step.walk = nearest_neighbours(instance, kRuinWalk);
  step.places = nearest_neighbours(instance, granularity);
  const std::size_t trip_count = trips.nodes.size();
  step.is_touched.assign(trip_count, 0);
  step.ruined.assign(trip_count, 0);
  step.saved.resize(trip_count);
  step.load.resize(trip_count);
  step.removed.reserve(at(instance.customer_count));
  step.touched.reserve(trip_count);
}

void ruin(RuinRecreate& step, Trips& trips) {
  const int trip_count = static_cast<int>(trips.nodes.size());
  int busy = 0;
  for (int t = 0; t < trip_count; ++t) {
    step.load[at(t)] = trips.load[at(t)].back();
    if (customers_in(trips, t) > 0) ++busy;
  }
  const int customers = trips.instance->customer_count;
  if (customers == 0) return;
  const double mean = static_cast<double>(customers) / busy;
  const int longest = std::max(1, std::min(step.longest_string, static_cast<int>(mean)));
  const double trip_bound = 4.0 * step.size / (1.0 + longest);
  const int strings = std::max(1, static_cast<int>(random_uniform(1.0, trip_bound)));
  const int seed = random_below(customers) + 1;
  const std::span<const int> walk = step.walk.of(seed);
  int taken = 0;
  for (int k = -1; k < static_cast<int>(walk.size()) && taken < strings; ++k) {
    const int c = k < 0 ? seed : walk[at(k)];
    const int t = trips.trip_of[at(c)];
    if (t < 0 || step.ruined[at(t)] != 0) continue;
    const int length = 1 + random_below(std::min(longest, customers_in(trips, t)));
    take_string(step, trips, t, trips.position_of[at(c)], length);
    ++taken;
  }
}

void recreate(RuinRecreate& step, Trips& trips) {
  const Instance& instance = *trips.instance;
  std::vector<int>& removed = step.removed;
  const int order = random_below(11);
  if (order < 4) {
    for (std::size_t i = removed.size(); i > 1; --i) std::swap(removed[i - 1], removed[at(random_below(static_cast<int>(i)))]);
  } else if (order < 8) {
    std::sort(removed.begin(), removed.end(), [&](int a, int b) {
      const int da = instance.demand[at(a)], db = instance.demand[at(b)];
      return da != db ? da > db : a < b;
    });
  } else {
    const bool far_first = order < 10;
    std::sort(removed.begin(), removed.end(), [&](int a, int b) {
      const float da = instance.matrix.at(0, a), db = instance.matrix.at(0, b);
      if (da != db) return far_first ? da > db : da < db;
      return a < b;
    });
  }
  for (const int c : removed) put_back(step, trips, c);
  removed.clear();
}

PlanEffect step_effect(const RuinRecreate& step, const Trips& trips) {
  const Instance& instance = *trips.instance;
  PlanEffect effect{0.0, trips.excess};
  for (const int t : step.touched) {
    const std::vector<int>& nodes = trips.nodes[at(t)];
    double distance = 0.0;
    for (std::size_t p = 1; p < nodes.size(); ++p) distance += static_cast<double>(instance.matrix.at(nodes[p - 1], nodes[p]));
    effect.distance_change += distance - trips.forward[at(t)].back();
    effect.excess += over(step.load[at(t)], instance.vehicle_capacity) -
                     over(trips.load[at(t)].back(), instance.vehicle_capacity);
  }
  return effect;
}

void keep_step(RuinRecreate& step, Trips& trips, const PlanEffect& effect) {
  for (const int t : step.touched) {
    describe_trip(trips, t);
    step.is_touched[at(t)] = 0;
    step.ruined[at(t)] = 0;
  }
  step.touched.clear();
  trips.distance += effect.distance_change;
  trips.excess = effect.excess;
  find_empty_trip(trips);
}

void undo_step(RuinRecreate& step, Trips& trips) {
  for (const int t : step.touched) {
    trips.nodes[at(t)].swap(step.saved[at(t)]);
    renumber(trips, t, 1);
    step.is_touched[at(t)] = 0;
    step.ruined[at(t)] = 0;
  }
  step.touched.clear();
}
