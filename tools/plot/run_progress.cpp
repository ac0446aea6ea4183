#include "tools/plot/run_progress.h"

#include <cstdio>
#include <span>

namespace plot {

namespace {

void add_points(std::span<const ProgressRecord> log, std::vector<ProgressPoint>& points) {
  for (const ProgressRecord& record : log) points.push_back({record.seconds, record.objective});
}

std::vector<ProgressPoint> points_of(std::span<const ProgressRecord> log) {
  std::vector<ProgressPoint> points;
  add_points(log, points);
  return points;
}

const char* const kAnnealingLabel = "simulated annealing (fo_SA.out)";
const char* const kTabuLabel = "tabu search (fo_BT.out)";

}  // namespace

std::string add_search_curves(const RunLogs& logs, double time_limit, ProgressPlot& plot) {
  if (!logs.annealing.empty() && !logs.tabu.empty()) {
    const double switch_time = logs.tabu.front().seconds;
    plot.curves.push_back({kAnnealingLabel, points_of(logs.annealing), switch_time});
    plot.curves.push_back({kTabuLabel, points_of(logs.tabu), time_limit});
    plot.markers.push_back({switch_time, "tabu search starts"});
    char title[96];
    std::snprintf(title, sizeof title, "Hybrid run: annealing, then tabu search from %.2f s", switch_time);
    return title;
  }
  if (!logs.tabu.empty()) {
    plot.curves.push_back({kTabuLabel, points_of(logs.tabu), time_limit});
    return "Tabu search run";
  }
  plot.curves.push_back({kAnnealingLabel, points_of(logs.annealing), time_limit});
  return "Simulated annealing run";
}

ProgressCurve run_curve(const RunLogs& logs, std::string label, double time_limit) {
  ProgressCurve curve{std::move(label), points_of(logs.annealing), time_limit};
  std::span<const ProgressRecord> tabu = logs.tabu;
  if (!logs.annealing.empty() && !tabu.empty()) tabu = tabu.subspan(1);
  add_points(tabu, curve.points);
  return curve;
}

}  // namespace plot
