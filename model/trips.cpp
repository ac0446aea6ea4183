#include "model/trips.h"

#include <algorithm>
#include <cassert>

namespace {

std::size_t at(int index) { return static_cast<std::size_t>(index); }

int over(int load, int capacity) { return load > capacity ? load - capacity : 0; }

// The prefix data of trip t from its nodes.
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
  for (std::size_t p = 1; p < size; ++p) {
    forward[p] = forward[p - 1] + static_cast<double>(instance.matrix.at(nodes[p - 1], nodes[p]));
    backward[p] = backward[p - 1] + static_cast<double>(instance.matrix.at(nodes[p], nodes[p - 1]));
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

// The last position of trip t: its closing depot visit.
int end_of(const Trips& trips, int t) { return static_cast<int>(trips.nodes[at(t)].size()) - 1; }

int first_node(const Trips& trips, const Segment& s) { return trips.nodes[at(s.trip)][at(s.reversed ? s.to : s.from)]; }
int last_node(const Trips& trips, const Segment& s) { return trips.nodes[at(s.trip)][at(s.reversed ? s.from : s.to)]; }

double stretch(const Trips& trips, const Segment& s) {
  const std::vector<double>& sums = s.reversed ? trips.backward[at(s.trip)] : trips.forward[at(s.trip)];
  return sums[at(s.to)] - sums[at(s.from)];
}

int segment_load(const Trips& trips, const Segment& s) {
  const std::vector<int>& load = trips.load[at(s.trip)];
  return load[at(s.to)] - (s.from > 0 ? load[at(s.from - 1)] : 0);
}

// Builds plans part by part, leaving out empty stretches.
struct PlanBuilder {
  MovePlan plan;
  TripPlan* open = nullptr;
  void trip(int t) {
    open = &plan.trip[at(plan.trips++)];
    open->trip = t;
  }
  void part(int t, int from, int to, bool reversed = false) {
    if (from > to) return;
    open->part[at(open->parts++)] = Segment{t, from, to, reversed};
  }
};

// The string from..to of trip t moved after position q of trip tq (before
// the node at q + 1), reversed or not. q may not lie in from - 1..to when
// tq == t.
MovePlan move_string(const Trips& trips, int t, int from, int to, int tq, int q, bool reversed) {
  PlanBuilder b;
  const int end = end_of(trips, t);
  if (tq != t) {
    b.trip(t);
    b.part(t, 0, from - 1);
    b.part(t, to + 1, end);
    b.trip(tq);
    b.part(tq, 0, q);
    b.part(t, from, to, reversed);
    b.part(tq, q + 1, end_of(trips, tq));
    return b.plan;
  }
  if (q >= from - 1 && q <= to) return {};
  b.trip(t);
  if (q < from) {
    b.part(t, 0, q);
    b.part(t, from, to, reversed);
    b.part(t, q + 1, from - 1);
    b.part(t, to + 1, end);
  } else {
    b.part(t, 0, from - 1);
    b.part(t, to + 1, q);
    b.part(t, from, to, reversed);
    b.part(t, q + 1, end);
  }
  return b.plan;
}

}  // namespace

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

MovePlan plan_move(const Trips& trips, const MoveValue& move) {
  const int u = move.first;
  const int v = move.second;
  const int tu = trips.trip_of[at(u)];
  const int pu = trips.position_of[at(u)];
  if (move.kind == MoveKind::relocate && v == 0) {
    if (trips.empty_trip < 0 || move.variant != 0) return {};
    return move_string(trips, tu, pu, pu, trips.empty_trip, 0, false);
  }
  if (v == 0 || v == u) return {};
  const int tv = trips.trip_of[at(v)];
  const int pv = trips.position_of[at(v)];
  switch (move.kind) {
    case MoveKind::relocate:
      return move_string(trips, tu, pu, pu, tv, move.variant == 0 ? pv : pv - 1, false);
    case MoveKind::or_opt: {
      const int to = pu + 1 + (move.variant & 1);
      if (to >= end_of(trips, tu)) return {};
      if (tu == tv && pv >= pu && pv <= to) return {};
      return move_string(trips, tu, pu, to, tv, (move.variant & 2) == 0 ? pv : pv - 1, (move.variant & 4) != 0);
    }
    case MoveKind::swap: {
      PlanBuilder b;
      if (tu != tv) {
        b.trip(tu);
        b.part(tu, 0, pu - 1);
        b.part(tv, pv, pv);
        b.part(tu, pu + 1, end_of(trips, tu));
        b.trip(tv);
        b.part(tv, 0, pv - 1);
        b.part(tu, pu, pu);
        b.part(tv, pv + 1, end_of(trips, tv));
        return b.plan;
      }
      const int i = std::min(pu, pv);
      const int j = std::max(pu, pv);
      b.trip(tu);
      b.part(tu, 0, i - 1);
      b.part(tu, j, j);
      b.part(tu, i + 1, j - 1);
      b.part(tu, i, i);
      b.part(tu, j + 1, end_of(trips, tu));
      return b.plan;
    }
    case MoveKind::two_opt: {
      if (tu != tv) return {};
      int i = std::min(pu, pv);
      int j = std::max(pu, pv);
      if (move.variant == 0)
        ++i;
      else
        --j;
      if (i >= j) return {};
      PlanBuilder b;
      b.trip(tu);
      b.part(tu, 0, i - 1);
      b.part(tu, i, j, true);
      b.part(tu, j + 1, end_of(trips, tu));
      return b.plan;
    }
    case MoveKind::two_opt_star: {
      if (tu == tv) return {};
      PlanBuilder b;
      const int eu = end_of(trips, tu);
      const int ev = end_of(trips, tv);
      if (move.variant == 0) {
        // u then v's tail from v on; v's head up to v's predecessor then u's tail.
        b.trip(tu);
        b.part(tu, 0, pu);
        b.part(tv, pv, ev);
        b.trip(tv);
        b.part(tv, 0, pv - 1);
        b.part(tu, pu + 1, eu);
      } else {
        // u's head then v's head backwards; u's tail backwards then v's tail.
        b.trip(tu);
        b.part(tu, 0, pu);
        b.part(tv, 0, pv, true);
        b.trip(tv);
        b.part(tu, pu + 1, eu, true);
        b.part(tv, pv + 1, ev);
      }
      return b.plan;
    }
    case MoveKind::position_swap:
      break;
  }
  return {};
}

PlanEffect plan_effect(const Trips& trips, const MovePlan& plan) {
  const Instance& instance = *trips.instance;
  const int capacity = instance.vehicle_capacity;
  double change = 0.0;
  int excess = trips.excess;
  for (int k = 0; k < plan.trips; ++k) {
    const TripPlan& trip = plan.trip[at(k)];
    double distance = 0.0;
    int load = 0;
    for (int s = 0; s < trip.parts; ++s) {
      const Segment& segment = trip.part[at(s)];
      if (s > 0)
        distance += static_cast<double>(instance.matrix.at(last_node(trips, trip.part[at(s - 1)]), first_node(trips, segment)));
      distance += stretch(trips, segment);
      load += segment_load(trips, segment);
    }
    change += distance - trips.forward[at(trip.trip)].back();
    excess += over(load, capacity) - over(trips.load[at(trip.trip)].back(), capacity);
  }
  return {change, excess};
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
