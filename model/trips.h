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

// Writes the trips back as a Route of the same length.
void route_from_trips(const Trips& trips, std::span<int> route);

// A stretch of the current trip `trip`: positions from..to (from <= to),
// run backwards when `reversed`.
struct Segment {
  int trip = 0;
  int from = 0;
  int to = 0;
  bool reversed = false;
};

// A trip as a move rebuilds it.
struct TripPlan {
  int trip = 0;
  int parts = 0;
  std::array<Segment, 5> part{};
};

// The trips a move changes; trips == 0 when the move is not possible here
// (its customers are not where it needs them, or it would change nothing).
struct MovePlan {
  int trips = 0;
  std::array<TripPlan, 2> trip{};
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
MovePlan plan_move(const Trips& trips, const MoveValue& move);

// The number of variants of each kind.
constexpr int move_variants(MoveKind kind) {
  return kind == MoveKind::or_opt                                                                   ? 8
         : kind == MoveKind::relocate || kind == MoveKind::two_opt || kind == MoveKind::two_opt_star ? 2
                                                                                                    : 1;
}

// What a plan changes: the trips' distance (new less old, in double) and
// their overload after it (of the whole solution).
struct PlanEffect {
  double distance_change = 0.0;
  int excess = 0;
};
PlanEffect plan_effect(const Trips& trips, const MovePlan& plan);

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
