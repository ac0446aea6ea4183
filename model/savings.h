// Clarke and Wright's savings, parallel version, over the granular lists: a
// first solution built by joining trips where joining them saves the most.
//
// Every customer starts alone in a trip 0 -> i -> 0. Joining a trip that
// ends with i to one that starts with j (the joined trip runs i then j)
// saves s(i, j) = d(i, 0) + d(0, j) - d(i, j), summed in double from the
// float cells. Only granular pairs are looked at: j among i's K nearest or i
// among j's (model/neighbours.h). The pairs are taken by saving, largest
// first, ties by the lower i and then the lower j, so the result is the same
// on any platform; a pair joins its two trips when i ends one of them, j
// starts the other, the joined load fits a truck and the saving is not
// negative. On a symmetric matrix (every cell equal to its mirror) a trip
// runs either way, so i and j need only be ends of their trips (one of the
// two is reversed, as the parallel method does) and each pair is looked at
// once, as (lower, higher); on an asymmetric one the pairs are ordered and
// no trip is reversed. O(n K log n) time for the pairs' sort, O(n K) memory,
// besides the symmetry check's O(n^2) reads.
//
// A fleet limit: when `trucks` > 0 and the savings leave more trips than
// that, the joining goes on past the capacity: every pair of the trips' ends
// (the end of one trip and the start of another; any two ends on a
// symmetric matrix) in the same order, largest saving first, joined while
// more than `trucks` trips are left. The result then overloads some trucks,
// and a search works the overload off. This stage takes O(T^2 log T) time
// for T trips left by the savings, and runs only when the fleet is smaller
// than the savings need. Above kAllEndsCustomers customers, on an instance
// whose distances are its points' EUC_2D distances, the pairs of every two
// ends (T^2 of them: gigabytes at 30,000 customers in short trips) give way to
// rounds over each end's 20 nearest other ends, each round's pairs in the
// same order, until `trucks` trips are left: O(T K log T) a round. Fewer
// trips than `trucks` are returned as they are (the caller adds the empty
// trucks).
#pragma once

#include <vector>

#include "model/instance.h"
#include "model/neighbours.h"

// Up to this many customers the fleet limit looks at every pair of ends.
inline constexpr int kAllEndsCustomers = 2000;

// The trips (customers in order), each customer 1..n in exactly one. On a
// symmetric matrix each trip runs from its lower-numbered end, on an
// asymmetric one from its start; the trips come in the order of the customer
// they run from. Every trip is within capacity unless the fleet limit joined it
// past it. The callers check that every single demand fits a truck.
std::vector<std::vector<int>> savings_trips(const Instance& instance, const NeighbourLists& neighbours, int trucks);
