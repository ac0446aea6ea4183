// Ruin and recreate: the annealing's large move. A step takes strings of
// consecutive customers out of trips near a seed customer, then puts each
// customer back at its cheapest place, one by one. The step changes the
// trips in place and remembers what they were, so that a step the
// annealing rejects is undone in time that grows with the trips it touched,
// not with the instance.
//
// The ruin. A seed customer is drawn; its nearest customers are walked in
// order (the seed first, then kRuinWalk of them). From each trip met that no
// string has been taken from yet, a string holding the customer met is
// taken, until the step's number of trips is reached or the walk ends.
// With L = the least of ruin_string and the mean customers per non-empty
// trip (at least 1):
// - the number of trips is floor(uniform(1, 4 x ruin_size / (1 + L))), at
//   least 1;
// - a string's length is uniform in 1..min(L, the trip's customers), and
//   its place uniform among those that hold the customer met;
// - with probability kSplitShare (and length 2 or more, room in the trip),
//   the string is split: a run of m customers inside it stays in the trip,
//   m = 1, grown by one with probability 1/2 while the trip has room, at a
//   uniform place that leaves at least one taken customer on each side.
// About ruin_size customers are taken out on average.
//
// The recreate. The customers taken out are ordered by one of: at random
// (weight 4), largest demand first (4), farthest from the depot first (2),
// nearest first (1); ties by customer number. Each goes to its cheapest
// place (the change of distance of putting it between two nodes of a trip)
// among those that keep its trip within capacity, each place passed over
// with probability blink:
// - first the places before and after each of its `places` nearest
//   customers that are in a trip;
// - none there: every place of every non-empty trip;
// - none there: alone in an empty truck, the first by trip order;
// - no empty truck: the place that adds the least overload (then the
//   cheapest), over every trip and never passed over.
// Ties go to the first place met in that order.
#pragma once

#include <cstdint>
#include <vector>

#include "model/neighbours.h"
#include "model/trips.h"

// The customers the ruin walks from its seed: the seed's nearest this many.
inline constexpr int kRuinWalk = 100;
// The chance that a string keeps a run of customers in its middle.
inline constexpr double kSplitShare = 0.1;

struct RuinRecreate {
  int size = 10;             // customers taken out on average
  int longest_string = 10;   // the longest string taken from one trip
  std::int64_t blink_below = 0;  // a place is passed over when a fresh draw is below this
  NeighbourLists walk;       // the ruin's walk from the seed
  NeighbourLists places;     // the recreate's first places: next to these
  // The step under way.
  std::vector<int> removed;             // the customers out, in the order taken
  std::vector<int> touched;             // the trips changed, in the order first changed
  std::vector<char> is_touched;         // per trip
  std::vector<std::vector<int>> saved;  // per trip: its nodes before the step
  std::vector<int> load;                // per trip: its load now (for touched trips)
  std::vector<char> ruined;             // per trip: a string was taken from it
};

// Prepares the step for `trips`: the walk of kRuinWalk nearest customers
// and the recreate's `granularity` nearest. size and longest_string at least
// 1, blink in 0..1.
void ruin_prepare(RuinRecreate& step, const Trips& trips, int size, int longest_string, double blink,
                  int granularity);

// Takes customers out of the trips (their trip_of becomes -1).
void ruin(RuinRecreate& step, Trips& trips);

// Puts every customer taken out back in.
void recreate(RuinRecreate& step, Trips& trips);

// The step's change of the trips' distance (each touched trip's new
// distance summed in double, less its old one) and their overload after it.
PlanEffect step_effect(const RuinRecreate& step, const Trips& trips);

// Keeps the step: the touched trips' prefix data is worked out again.
void keep_step(RuinRecreate& step, Trips& trips, const PlanEffect& effect);

// Undoes the step: the trips are as they were before the ruin.
void undo_step(RuinRecreate& step, Trips& trips);
