// The objective over time of one or more searches, as steps at each new best:
// a panel of the whole run on a log scale and a close-up of its end. Drawn by
// gnuplot as SVG and PNG.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/plot/output.h"

namespace plot {

struct ProgressPoint {
  double seconds;
  double objective;
};

// One search (or one phase of a run): its new bests in time order, the
// objective held after the last of them until `held_until` seconds.
struct ProgressCurve {
  std::string label;
  std::vector<ProgressPoint> points;
  double held_until = 0.0;
};

// A moment marked by a vertical line, such as the switch between two phases.
struct ProgressMarker {
  double seconds;
  std::string label;
};

struct ProgressPlot {
  std::string title;
  std::vector<ProgressCurve> curves;  // each in a colour of its own, in this order
  std::vector<ProgressMarker> markers;
  std::optional<double> best_known;   // drawn as a horizontal line
  std::string best_known_label;
  // The curves may lie on one another (several runs from the same start):
  // each is then drawn thinner than the one before, so none hides another.
  bool layered = false;
};

// Draws the plot into `pictures`. The log scale needs positive objectives
// within 15 powers of ten of one another (from 1e-300 up): otherwise the
// whole-run panel is linear. Objectives too large to leave room around them
// are refused with a message.
Failure draw_progress(const ProgressPlot& plot, const Pictures& pictures);

}  // namespace plot
