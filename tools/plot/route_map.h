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

// Draws the map into `pictures`. Customer labels are placed beside their
// points where they cover the fewest other labels, points and route lines.
// Coordinates too large or too close together for gnuplot to draw as they
// are (beyond 1e7, or spread over less than a millionth of their size) are
// drawn relative to their lowest values, in a power of ten as unit, which
// the caption says.
Failure draw_route_map(const RouteMap& map, const Pictures& pictures);

}  // namespace plot
