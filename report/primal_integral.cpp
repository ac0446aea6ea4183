#include "report/primal_integral.h"

#include <algorithm>

double primal_integral(std::span<const ProgressRecord> records, double best_known, double time_limit) {
  const double cap = 1.1 * best_known;
  double value = cap;  // v(t) from `from` on
  double from = 0.0;
  double area = 0.0;
  for (const ProgressRecord& record : records) {
    if (record.seconds > time_limit) break;
    const double at = std::max(record.seconds, from);  // a log's times never go back; if one did, no negative step
    area += value * (at - from);
    from = at;
    value = std::min(value, record.objective);
  }
  area += value * (time_limit - from);
  return 100.0 * (area / (time_limit * best_known) - 1.0);
}
