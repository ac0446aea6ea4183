// The Route: one int vector holding the whole solution. Entry 0 is a depot
// visit, 1..n a customer; the first and last entries are always 0 and the
// zeros between them split the customers into trips. This file holds the
// evaluation of a Route, the one move the searches make on it (a swap of two
// positions), the copy of one Route into another and the random first Route.
#pragma once

#include <span>
#include <vector>

#include "model/instance.h"

using Route = std::vector<int>;

// Travelled distance: cell (route[i-1], route[i]) summed over i = 1..L-1 in
// increasing order, in float, rounded after every addition.
float route_distance(int route_length, const DistanceMatrix& matrix, std::span<const int> route);

// Total overload: for each trip (closed by each zero at positions 1..L-1),
// the amount by which the sum of its customers' demands exceeds capacity.
int capacity_excess(int route_length, int vehicle_capacity, std::span<const int> route,
                    std::span<const int> demand);

// Number of non-empty trips: positions 1..L-2 holding a customer right after a zero.
int trucks_used(int route_length, std::span<const int> route);

// The customers of each non-empty trip, in Route order.
std::vector<std::vector<int>> trips_of(std::span<const int> route);

// Lower bound on the trucks: the sum of demand[1..count-1] over the capacity,
// rounded up (integer division plus one when there is a remainder), formed
// in 64 bits and held within the range of an int (2^31 - 1 stands for any
// number beyond: more trucks than a Route can have).
int min_trucks(std::span<const int> demand, int count, int vehicle_capacity);

// Exchanges route[i] and route[j].
inline void swap_positions(int i, int j, std::span<int> route) {
  const int held = route[static_cast<std::size_t>(i)];
  route[static_cast<std::size_t>(i)] = route[static_cast<std::size_t>(j)];
  route[static_cast<std::size_t>(j)] = held;
}

// Copies positions 1..L-2 of source into destination; the two ends are left alone.
void copy_route(int route_length, std::span<const int> source, std::span<int> destination);

// The change of objective a candidate Route gives against the carried `fo`:
// penalty_weight * excess (an int product) plus the candidate's float
// distance minus fo, added in double in that order and rounded once to float.
// objective_change_at takes the distance in double: the same additions, and
// monotone in the distance, so bounds of a distance give bounds of the change.
// objective_change_unrounded is that double sum before its rounding.
inline double objective_change_unrounded(int penalty, double distance, float fo) {
  return static_cast<double>(penalty) + distance + static_cast<double>(-fo);
}
inline float objective_change_at(int penalty, double distance, float fo) {
  return static_cast<float>(objective_change_unrounded(penalty, distance, fo));
}
inline float objective_change(int penalty, float distance, float fo) {
  return objective_change_at(penalty, static_cast<double>(distance), fo);
}

// The objective of a Route from its terms: penalty (an int product) plus the
// distance, added in double and rounded once to float.
inline float objective_value(int penalty, float distance) {
  return static_cast<float>(static_cast<double>(penalty) + static_cast<double>(distance));
}

// The same with a weight that need not be whole (the adaptive penalty's):
// weight x excess in double plus the distance, rounded once to float. A
// whole weight gives objective_value's bits.
inline float objective_at_weight(double weight, int excess, float distance) {
  return static_cast<float>(weight * static_cast<double>(excess) + static_cast<double>(distance));
}

// Scatters customers 1..customer_count over random free interior positions of
// the zeroed current Route (redrawing a taken position), writing each one at
// the same position of best as well. Needs at least one free position per
// customer: route_length >= customer_count + 2.
void build_initial_route(std::span<const int> demand, int route_length, std::span<int> current,
                         int customer_count, std::span<int> best);
