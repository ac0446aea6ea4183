// The pictures of a benchmark over seeds: the gap over time of each search
// as the median of its runs with the band from the lowest to the highest,
// and a performance profile (Dolan and More 2002) of the searches over the
// instances. Drawn by gnuplot as SVG and PNG.
#pragma once

#include <string>
#include <vector>

#include "tools/plot/output.h"
#include "tools/plot/progress_plot.h"

namespace plot {

// One run's value over time as steps: points[k].objective from
// points[k].seconds on (the lowest so far counts), held to the plot's end.
using StepRun = std::vector<ProgressPoint>;

// Runs taken together: at each time any of them changes, the median (the
// mean of the two middle values for an even count), the lowest and the
// highest value of the runs that have started by then.
struct Band {
  std::string label;
  std::vector<double> times;
  std::vector<double> low, median, high;
  std::size_t colour = 0;  // its place in the palette, the same in every picture of a benchmark
};
Band median_band(std::string label, const std::vector<StepRun>& runs);

// A key entry without a curve: a search none of whose runs gave a value.
struct KeyEntry {
  std::string label;
  std::size_t colour = 0;
};

struct BandPlot {
  std::string title;
  std::string value;        // what the values are, for the axis: "gap to the best known (%)"
  std::string note;         // said of the whole run's panel
  std::vector<Band> bands;  // each in its colour
  std::vector<KeyEntry> absent;  // listed in the key, dashed, after the bands
  double end = 0.0;         // seconds: the curves are held to it
};

// Two panels: the whole run on log scales (values below 0.01 drawn at
// 0.01, as the axis says), and a linear close-up of the end.
Failure draw_bands(const BandPlot& plot, const Pictures& pictures);

// A performance profile: for each curve, the share of the problems whose
// ratio is at most tau, for tau from 1 on. A problem the curve did not solve
// has an infinite ratio.
struct ProfileCurve {
  std::string label;
  std::vector<double> ratios;  // one per problem
};

struct ProfilePlot {
  std::string title;
  std::string ratio;  // what tau is, for the axis
  std::vector<ProfileCurve> curves;
};

Failure draw_profile(const ProfilePlot& plot, const Pictures& pictures);

}  // namespace plot
