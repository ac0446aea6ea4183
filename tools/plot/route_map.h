// The map of a solution: each trip from the depot through its customers and
// back, in a colour of its own, the depot marked and every customer labelled
// with its number. Drawn by gnuplot as SVG and PNG.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/instance.h"
#include "tools/plot/output.h"

namespace plot {

struct RouteMap {
  std::vector<NodePoint> points;          // node 0 is the depot
  std::vector<std::vector<int>> trips;    // the customers of each trip, in visiting order
  std::vector<std::string> trip_labels;   // one legend entry per trip
  std::string title;
  std::string caption;                    // a line under the map; empty for none
};

// Writes the gnuplot script into `work` and runs it; the pictures go to `svg`
// and `png`. Customer labels are placed beside their points where they cover
// the fewest other labels, points and route lines.
Failure draw_route_map(const RouteMap& map, const std::filesystem::path& work, const std::filesystem::path& svg,
                       const std::filesystem::path& png);

}  // namespace plot
