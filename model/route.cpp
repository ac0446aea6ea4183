#include "model/route.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <limits>

#include "model/random.h"

// Every float sum of the program must round to float after each addition,
// as the distance of a Route is defined; a platform that evaluates float
// expressions in a wider type would print other numbers.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be evaluated in float");

float route_distance(int route_length, const DistanceMatrix& matrix, std::span<const int> route) {
  float distance = 0.0f;
  for (int i = 1; i < route_length; ++i)
    distance += matrix.at(route[static_cast<std::size_t>(i - 1)], route[static_cast<std::size_t>(i)]);
  return distance;
}

int capacity_excess(int route_length, int vehicle_capacity, std::span<const int> route,
                    std::span<const int> demand) {
  int excess = 0;
  int load = 0;
  for (int i = 1; i < route_length; ++i) {
    const int node = route[static_cast<std::size_t>(i)];
    if (node != 0) {
      load += demand[static_cast<std::size_t>(node)];
    } else {
      if (load > vehicle_capacity) excess += load - vehicle_capacity;
      load = 0;
    }
  }
  return excess;
}

int trucks_used(int route_length, std::span<const int> route) {
  int trucks = 0;
  for (int i = 1; i < route_length - 1; ++i)
    if (route[static_cast<std::size_t>(i)] != 0 && route[static_cast<std::size_t>(i - 1)] == 0) ++trucks;
  return trucks;
}

std::vector<std::vector<int>> trips_of(std::span<const int> route) {
  std::vector<std::vector<int>> trips;
  for (std::size_t i = 1; i + 1 < route.size(); ++i) {
    if (route[i] == 0) continue;
    if (route[i - 1] == 0) trips.emplace_back();
    trips.back().push_back(route[i]);
  }
  return trips;
}

int min_trucks(std::span<const int> demand, int count, int vehicle_capacity) {
  // Summed in 64 bits: a few demands near 2^31 pass the range of an int
  // before any check of the instance has refused them.
  long long total = 0;
  for (int node = 1; node < count; ++node) total += demand[static_cast<std::size_t>(node)];
  const long long trucks = total / vehicle_capacity + (total % vehicle_capacity != 0 ? 1 : 0);
  return static_cast<int>(std::clamp<long long>(trucks, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void copy_route(int route_length, std::span<const int> source, std::span<int> destination) {
  for (int i = 1; i < route_length - 1; ++i)
    destination[static_cast<std::size_t>(i)] = source[static_cast<std::size_t>(i)];
}

void build_initial_route(std::span<const int> /*demand*/, int route_length, std::span<int> current,
                         int customer_count, std::span<int> best) {
  assert(route_length >= customer_count + 2);
  for (int customer = 1; customer <= customer_count; ++customer) {
    int position = random_below(route_length - 2) + 1;
    while (current[static_cast<std::size_t>(position)] != 0) position = random_below(route_length - 2) + 1;
    current[static_cast<std::size_t>(position)] = customer;
    best[static_cast<std::size_t>(position)] = customer;
  }
}
