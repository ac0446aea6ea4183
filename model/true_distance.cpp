#include <cmath>

#include "model/instance.h"

double true_distance(const Instance& instance, int from, int to) {
  switch (instance.true_distances) {
    case TrueDistance::matrix:
      break;
    case TrueDistance::euclidean:
    case TrueDistance::rounded_euclidean:
      if (from == to) return 0.0;  // as the reader leaves the diagonal
      return euclidean_distance((*instance.points)[static_cast<std::size_t>(from)],
                                (*instance.points)[static_cast<std::size_t>(to)],
                                instance.true_distances == TrueDistance::rounded_euclidean);
    case TrueDistance::written_weights:
      return instance.exact_weights.at(from, to);
  }
  return static_cast<double>(instance.matrix.at(from, to));
}

double routes_cost(const Instance& instance, const std::vector<std::vector<int>>& routes) {
  double total = 0.0;
  for (const std::vector<int>& route : routes) {
    if (route.empty()) continue;
    int from = 0;
    for (const int customer : route) {
      total += true_distance(instance, from, customer);
      from = customer;
    }
    total += true_distance(instance, from, 0);
  }
  return total;
}
