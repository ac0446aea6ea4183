#include "model/neighbours.h"

#include <algorithm>
#include <utility>

NeighbourLists nearest_neighbours(const Instance& instance, int k) {
  const int n = instance.customer_count;
  NeighbourLists lists;
  lists.per_customer = std::clamp(k, 0, std::max(n - 1, 0));
  const auto width = static_cast<std::size_t>(lists.per_customer);
  lists.customers.reserve(static_cast<std::size_t>(n) * width);
  // (nearness, customer): the pair's order breaks ties by the lower number.
  std::vector<std::pair<float, int>> others;
  others.reserve(static_cast<std::size_t>(std::max(n - 1, 0)));
  for (int customer = 1; customer <= n; ++customer) {
    others.clear();
    for (int other = 1; other <= n; ++other)
      if (other != customer)
        others.emplace_back(std::min(instance.matrix.at(customer, other), instance.matrix.at(other, customer)), other);
    std::partial_sort(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(width), others.end());
    for (std::size_t i = 0; i < width; ++i) lists.customers.push_back(others[i].second);
  }
  return lists;
}
