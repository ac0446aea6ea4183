#include "search/adaptive_penalty.h"

#include <algorithm>
#include <cmath>

AdaptivePenalty adaptive_penalty_start(const Instance& instance, double target) {
  const double largest = largest_distance(instance.matrix);
  int largest_demand = 0;
  for (int customer = 1; customer <= instance.customer_count; ++customer)
    largest_demand = std::max(largest_demand, instance.demand[static_cast<std::size_t>(customer)]);
  const double scale = largest > 0.0 && largest_demand > 0 ? largest / largest_demand : 1.0;
  AdaptivePenalty penalty;
  penalty.weight = scale;
  penalty.lowest = scale / 1000.0;
  penalty.highest = scale * 1000.0;
  penalty.target = target;
  return penalty;
}

bool penalty_visit(AdaptivePenalty& penalty, bool overloaded) {
  ++penalty.visited;
  if (overloaded) ++penalty.overloaded;
  if (penalty.visited < AdaptivePenalty::kWindow) return false;
  const double share = static_cast<double>(penalty.overloaded) / penalty.visited;
  penalty.visited = 0;
  penalty.overloaded = 0;
  const double before = penalty.weight;
  if (share > penalty.target + 0.05) penalty.weight = std::min(penalty.highest, penalty.weight * 1.25);
  if (share < penalty.target - 0.05) penalty.weight = std::max(penalty.lowest, penalty.weight / 1.25);
  return penalty.weight != before;
}
