#include "model/trips.h"

#include <algorithm>
#include <cassert>

namespace {

std::size_t at(int index) { return static_cast<std::size_t>(index); }

int over(int load, int capacity) { return load > capacity ? load - capacity : 0; }

}  // namespace

void describe_trip(Trips& trips, int t) {
  const Instance& instance = *trips.instance;
  const std::vector<int>& nodes = trips.nodes[at(t)];
  std::vector<double>& forward = trips.forward[at(t)];
  std::vector<double>& backward = trips.backward[at(t)];
  std::vector<int>& load = trips.load[at(t)];
  const std::size_t size = nodes.size();
  forward.resize(size);
  backward.resize(size);
  load.resize(size);
  forward[0] = 0.0;
  backward[0] = 0.0;
  load[0] = 0;
  const DistanceMatrix& matrix = instance.matrix;
  // A computed distance is the same both ways: worked out once for both sums.
  const bool computed = matrix.computed();
  for (std::size_t p = 1; p < size; ++p) {
    const float there = matrix.at(nodes[p - 1], nodes[p]);
    const float back = computed ? there : matrix.at(nodes[p], nodes[p - 1]);
    forward[p] = forward[p - 1] + static_cast<double>(there);
    backward[p] = backward[p - 1] + static_cast<double>(back);
    load[p] = load[p - 1] + (nodes[p] != 0 ? instance.demand[at(nodes[p])] : 0);
  }
  for (std::size_t p = 1; p + 1 < size; ++p) {
    trips.trip_of[at(nodes[p])] = t;
    trips.position_of[at(nodes[p])] = static_cast<int>(p);
  }
}

void find_empty_trip(Trips& trips) {
  trips.empty_trip = -1;
  for (std::size_t t = 0; t < trips.nodes.size(); ++t)
    if (trips.nodes[t].size() == 2) {
      trips.empty_trip = static_cast<int>(t);
      return;
    }
}

void trips_from_route(Trips& trips, const Instance& instance, std::span<const int> route) {
  trips.instance = &instance;
  const std::size_t customers = at(instance.customer_count) + 1;
  trips.trip_of.assign(customers, -1);
  trips.position_of.assign(customers, 0);
  std::size_t count = 0;
  for (std::size_t k = 1; k < route.size(); ++k)
    if (route[k] == 0) ++count;
  trips.nodes.resize(count);
  trips.forward.resize(count);
  trips.backward.resize(count);
  trips.load.resize(count);
  std::size_t t = 0;
  trips.nodes[0].assign(1, 0);
  for (std::size_t k = 1; k < route.size(); ++k) {
    trips.nodes[t].push_back(route[k]);
    if (route[k] == 0 && ++t < count) trips.nodes[t].assign(1, 0);
  }
  trips.distance = 0.0;
  trips.excess = 0;
  for (std::size_t u = 0; u < count; ++u) {
    describe_trip(trips, static_cast<int>(u));
    trips.distance += trips.forward[u].back();
    trips.excess += over(trips.load[u].back(), instance.vehicle_capacity);
  }
  find_empty_trip(trips);
}

void route_from_trips(const Trips& trips, std::span<int> route) {
  std::size_t k = 0;
  route[k++] = 0;
  for (const std::vector<int>& nodes : trips.nodes)
    for (std::size_t p = 1; p < nodes.size(); ++p) route[k++] = nodes[p];
  assert(k == route.size());
}

void apply_plan(Trips& trips, const MovePlan& plan, const PlanEffect& effect) {
  // The new node lists are built from the old ones before any is replaced.
  thread_local std::vector<int> built[2];
  for (int k = 0; k < plan.trips; ++k) {
    const TripPlan& trip = plan.trip[at(k)];
    std::vector<int>& nodes = built[k];
    nodes.clear();
    for (int s = 0; s < trip.parts; ++s) {
      const Segment& segment = trip.part[at(s)];
      const std::vector<int>& from = trips.nodes[at(segment.trip)];
      if (segment.reversed)
        for (int p = segment.to; p >= segment.from; --p) nodes.push_back(from[at(p)]);
      else
        nodes.insert(nodes.end(), from.begin() + segment.from, from.begin() + segment.to + 1);
    }
  }
  for (int k = 0; k < plan.trips; ++k) {
    const int t = plan.trip[at(k)].trip;
    trips.nodes[at(t)].swap(built[k]);
  }
  for (int k = 0; k < plan.trips; ++k) describe_trip(trips, plan.trip[at(k)].trip);
  trips.distance += effect.distance_change;
  trips.excess = effect.excess;
  const int t0 = plan.trip[0].trip;
  if (trips.nodes[at(t0)].size() == 2)
    trips.empty_trip = t0;
  else if (plan.trips > 1 && trips.nodes[at(plan.trip[1].trip)].size() == 2)
    trips.empty_trip = plan.trip[1].trip;
  else if (trips.empty_trip == t0 || (plan.trips > 1 && trips.empty_trip == plan.trip[1].trip))
    find_empty_trip(trips);
}

float planned_route_distance(const Trips& trips, const MovePlan& plan) {
  const DistanceMatrix& matrix = trips.instance->matrix;
  float sum = 0.0f;
  int previous = 0;
  const auto visit = [&](int node) {
    sum = sum + matrix.at(previous, node);
    previous = node;
  };
  for (std::size_t t = 0; t < trips.nodes.size(); ++t) {
    const TripPlan* rebuilt = nullptr;
    for (int k = 0; k < plan.trips; ++k)
      if (plan.trip[at(k)].trip == static_cast<int>(t)) rebuilt = &plan.trip[at(k)];
    if (rebuilt == nullptr) {
      const std::vector<int>& nodes = trips.nodes[t];
      for (std::size_t p = 1; p < nodes.size(); ++p) visit(nodes[p]);
      continue;
    }
    // The first part starts at the trip's opening depot visit, already made.
    for (int s = 0; s < rebuilt->parts; ++s) {
      const Segment& segment = rebuilt->part[static_cast<std::size_t>(s)];
      const std::vector<int>& nodes = trips.nodes[static_cast<std::size_t>(segment.trip)];
      for (int i = 0; i <= segment.to - segment.from; ++i) {
        if (s == 0 && i == 0) continue;
        visit(nodes[static_cast<std::size_t>(segment.reversed ? segment.to - i : segment.from + i)]);
      }
    }
  }
  return sum;
}


double trips_distance(const Trips& trips) {
  double distance = 0.0;
  for (const std::vector<int>& nodes : trips.nodes)
    for (std::size_t p = 1; p < nodes.size(); ++p)
      distance += static_cast<double>(trips.instance->matrix.at(nodes[p - 1], nodes[p]));
  return distance;
}
