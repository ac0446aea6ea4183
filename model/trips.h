// The solution as trips, for the field's moves: each trip's nodes with the
// prefix data that prices a move in constant time, and the moves themselves.
//
// A trip t is held as nodes[t] = 0, c1, ..., cm, 0: its customers between
// two depot visits. A Route (model/route.h) is the trips in order, each
// closed by a zero: 0 c.. 0 c.. 0 ... 0, empty trips as two zeros in a row.
// Along each trip, for each position p:
// - forward[t][p]: the distance from nodes[t][0] to nodes[t][p] along it;
// - backward[t][p]: the same stretch travelled the other way, from
//   nodes[t][p] back to nodes[t][0] (on a symmetric matrix the same value);
// - load[t][p]: the demand of nodes[t][0..p].
// All distances are summed in double, in position order.
//
// Every move is written as a plan: the one or two trips it changes, each
// rebuilt as a concatenation of at most five segments of the current trips,
// each segment run forward or reversed. A plan's change of distance is the
// new trips' distances (each segment's stretch from the prefix data, plus
// the edges that join the segments) less the old trips', and its overload
// the new trips' loads over the capacity: constant time, whatever the trips'
// lengths. When every sum of the instance is exact (cells that are whole
// multiples of one power of two, and Routes short enough; see
// model/route_cache.h) these doubles are the exact float sums the
// program's objective takes, bit for bit; otherwise they approximate them,
// and a search confirms a move on the whole Route before it takes it.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "model/instance.h"
#include "model/moves.h"
#include "model/neighbours.h"
#include "model/route.h"

struct Trips {
  const Instance* instance = nullptr;
  std::vector<std::vector<int>> nodes;
  std::vector<std::vector<double>> forward;
  std::vector<std::vector<double>> backward;
  std::vector<std::vector<int>> load;
  std::vector<int> trip_of;      // per customer (index 1..n): its trip
  std::vector<int> position_of;  // per customer: its position in nodes[trip_of]
  double distance = 0.0;         // the trips' distances summed in trip order
  int excess = 0;                // the overload summed over the trips
  int empty_trip = -1;           // an empty trip, -1 when there is none
};

// Reads the trips of `route` (all of its zeros count: a Route of k trucks
// gives k trips, empty ones included).
void trips_from_route(Trips& trips, const Instance& instance, std::span<const int> route);

// Works out trip t's prefix data from its nodes, and the trip and position
// of each of its customers (after its nodes were changed).
void describe_trip(Trips& trips, int t);

// Sets empty_trip to the first empty trip, or -1.
void find_empty_trip(Trips& trips);

// Writes the trips back as a Route of the same length.
void route_from_trips(const Trips& trips, std::span<int> route);

// A stretch of the current trip `trip`: positions from..to (from <= to),
// run backwards when `reversed`.
struct Segment {
  int trip;
  int from;
  int to;
  bool reversed;
};

// A trip as a move rebuilds it.
struct TripPlan {
  int trip = 0;
  int parts = 0;
  std::array<Segment, 5> part{};  // the first `parts` are set
};

// The trips a move changes; trips == 0 when the move is not possible here
// (its customers are not where it needs them, or it would change nothing).
struct MovePlan {
  int trips = 0;
  std::array<TripPlan, 2> trip{};  // the first `trips` are set
};

// The plan of a move of the field's kinds (MoveValue::first is customer u,
// second its neighbour v), with u at position pu of trip tu and v at pv of
// tv. The variants, per kind:
// - relocate: 0, u after v; 1, u before v. v == 0: u alone in an empty
//   truck (variant 0), when there is one.
// - swap: u and v exchanged (variant 0).
// - two_opt (u and v in one trip, pu < pv or pv < pu, i = the lower, j the
//   higher position): 0, positions i+1..j reversed; 1, i..j-1 reversed. Both
//   join u to v.
// - two_opt_star (tu != tv): 0, the tails after u and from v on exchanged
//   (u joined to v); 1, u's trip up to u joined to v's trip up to v reversed,
//   and the rest of u's trip reversed joined to the rest of v's (u joined to v).
// - or_opt: the string of length 2 + (variant & 1) from u on in its trip
//   moved after v (variant & 2 == 0) or before v (variant & 2), reversed when
//   variant & 4: eight variants.

// The number of variants of each kind.
constexpr int move_variants(MoveKind kind) {
  return kind == MoveKind::or_opt                                                                   ? 8
         : kind == MoveKind::relocate || kind == MoveKind::two_opt || kind == MoveKind::two_opt_star ? 2
                                                                                                    : 1;
}

// What a plan changes: the trips' distance (new less old, in double) and
// their overload after it (of the whole solution): plan_effect, below.
struct PlanEffect {
  double distance_change = 0.0;
  int excess = 0;
};

// Makes the plan: rebuilds its trips and their prefix data (in time linear
// in their lengths), and sets distance to the current one plus
// effect.distance_change and excess to effect.excess.
void apply_plan(Trips& trips, const MovePlan& plan, const PlanEffect& effect);

// The float distance of the Route the trips give after the plan, as
// route_distance sums it (every edge in Route order), without making it: a
// pass over the whole Route, which confirms a move where the double sums are
// not exact.
float planned_route_distance(const Trips& trips, const MovePlan& plan);

// The distance of the trips summed afresh, trip by trip (for checks).
double trips_distance(const Trips& trips);

// How plans are made and priced: inline, so that a search's loop compiles
// each kind's planning and pricing into itself.
namespace trips_detail {

inline std::size_t at(int index) { return static_cast<std::size_t>(index); }
inline int over(int load, int capacity) { return load > capacity ? load - capacity : 0; }

// The last position of trip t: its closing depot visit.
inline int end_of(const Trips& trips, int t) { return static_cast<int>(trips.nodes[at(t)].size()) - 1; }

inline int first_node(const Trips& trips, const Segment& s) { return trips.nodes[at(s.trip)][at(s.reversed ? s.to : s.from)]; }
inline int last_node(const Trips& trips, const Segment& s) { return trips.nodes[at(s.trip)][at(s.reversed ? s.from : s.to)]; }

inline double stretch(const Trips& trips, const Segment& s) {
  const std::vector<double>& sums = s.reversed ? trips.backward[at(s.trip)] : trips.forward[at(s.trip)];
  return sums[at(s.to)] - sums[at(s.from)];
}

inline int segment_load(const Trips& trips, const Segment& s) {
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
[[gnu::always_inline]] inline MovePlan move_string(const Trips& trips, int t, int from, int to, int tq, int q,
                                                bool reversed) {
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

}  // namespace trips_detail

[[gnu::always_inline]] inline MovePlan plan_move(const Trips& trips, const MoveValue& move) {
  using namespace trips_detail;
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
    case MoveKind::ruin:
      break;
  }
  return {};
}


inline PlanEffect plan_effect(const Trips& trips, const MovePlan& plan) {
  using namespace trips_detail;
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

