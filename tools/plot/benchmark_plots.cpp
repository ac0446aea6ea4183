#include "tools/plot/benchmark_plots.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/plot/palette.h"

namespace plot {

namespace {

constexpr int kWidth = 1100;
constexpr int kBandHeight = 900;
constexpr int kProfileHeight = 700;
// Times logged as 0.00 are drawn at this on the log-scale time axis, values
// below kFloor at kFloor on the log-scale value axis.
constexpr double kEarliest = 0.005;
constexpr double kFloor = 0.01;

std::string number(double value) { return gnuplot_number(value); }

// Each curve drawn thinner than the one before: curves that coincide (two
// searches with the same result) stay visible.
std::string width(std::size_t k, std::size_t count) {
  return number(2.0 + 1.5 * static_cast<double>(count - 1 - k));
}

// The steps of a band as vertices: at each time the value before it, then
// the value from it on; held to `end`.
std::string step_block(const std::string& name, const Band& band, double end) {
  std::string text = "$" + name + " << EOD\n";
  for (std::size_t i = 0; i < band.times.size(); ++i) {
    if (i > 0)
      text += number(band.times[i]) + " " + number(band.low[i - 1]) + " " + number(band.median[i - 1]) + " " +
              number(band.high[i - 1]) + "\n";
    text += number(band.times[i]) + " " + number(band.low[i]) + " " + number(band.median[i]) + " " +
            number(band.high[i]) + "\n";
  }
  if (!band.times.empty() && end > band.times.back())
    text += number(end) + " " + number(band.low.back()) + " " + number(band.median.back()) + " " +
            number(band.high.back()) + "\n";
  return text + "EOD\n";
}

std::string band_command(const BandPlot& plot, bool whole) {
  const std::string x = whole ? "($1 < " + number(kEarliest) + " ? " + number(kEarliest) + " : $1)" : "1";
  const auto y = [&](int column) {
    const std::string c = std::string(1, '$') + std::to_string(column);
    std::string text(1, '(');
    if (whole) text.append(c).append(" < ").append(number(kFloor)).append(" ? ").append(number(kFloor)).append(" : ");
    return text.append(c).append(")");
  };
  std::string command = "plot \\\n";
  for (std::size_t k = 0; k < plot.bands.size(); ++k) {
    const std::string block = "$band" + std::to_string(k);
    const std::string rgb = "rgb '" + colour(plot.bands[k].colour) + "'";
    command += "  " + block + " using " + x + ":" + y(2) + ":" + y(4) + " with filledcurves fc " + rgb +
               " fs transparent solid 0.15 noborder notitle, \\\n";
    command += "  " + block + " using " + x + ":" + y(3) + " with lines lw " + width(k, plot.bands.size()) + " " +
               "lc " + rgb + (whole ? " title " + gnuplot_text(plot.bands[k].label) : std::string(" notitle")) +
               ", \\\n";
  }
  if (whole)
    for (const KeyEntry& entry : plot.absent)
      command += "  keyentry with lines dt 2 lw 2 lc rgb '" + colour(entry.colour) + "' title " +
                 gnuplot_text(entry.label) + ", \\\n";
  command.resize(command.size() - 4);  // the last ", \\\n"
  return command + "\n";
}

}  // namespace

Band median_band(std::string label, const std::vector<StepRun>& runs) {
  Band band{std::move(label), {}, {}, {}, {}};
  for (const StepRun& run : runs)
    for (const ProgressPoint& point : run) band.times.push_back(point.seconds);
  std::sort(band.times.begin(), band.times.end());
  band.times.erase(std::unique(band.times.begin(), band.times.end()), band.times.end());
  std::vector<std::size_t> next(runs.size(), 0);
  std::vector<double> value(runs.size(), std::numeric_limits<double>::infinity());
  std::vector<double> started;
  for (const double t : band.times) {
    started.clear();
    for (std::size_t r = 0; r < runs.size(); ++r) {
      for (; next[r] < runs[r].size() && runs[r][next[r]].seconds <= t; ++next[r])
        value[r] = std::min(value[r], runs[r][next[r]].objective);
      if (next[r] > 0) started.push_back(value[r]);
    }
    std::sort(started.begin(), started.end());
    const std::size_t n = started.size();
    band.low.push_back(started.front());
    band.high.push_back(started.back());
    band.median.push_back(n % 2 == 1 ? started[n / 2] : (started[n / 2 - 1] + started[n / 2]) / 2.0);
  }
  return band;
}

Failure draw_bands(const BandPlot& plot, const Pictures& pictures) {
  std::string body;
  double end = plot.end, highest = kFloor, final_high = 0.0, lowest = std::numeric_limits<double>::infinity();
  double lowest_shown = std::numeric_limits<double>::infinity();  // on the log scale
  for (std::size_t k = 0; k < plot.bands.size(); ++k) {
    const Band& band = plot.bands[k];
    if (band.times.empty()) return "no progress to draw for " + band.label;
    end = std::max(end, band.times.back());
    for (const double v : band.high) highest = std::max(highest, v);
    for (const double v : band.low) lowest = std::min(lowest, v), lowest_shown = std::min(lowest_shown, std::max(v, kFloor));
    final_high = std::max(final_high, band.high.back());
    body += step_block("band" + std::to_string(k), band, plot.end);
  }
  if (body.empty()) return std::string("no progress to draw");
  if (!(end > 0.0)) end = 1.0;
  if (!std::isfinite(highest * 2) || !std::isfinite(lowest * 2)) return std::string("values too large to draw");
  const bool floored = lowest < kFloor;
  lowest = std::min(lowest, 0.0);

  body += "set multiplot title " + gnuplot_text(plot.title) + " noenhanced font ',14'\n";
  body += "set grid xtics ytics mytics lc rgb '#e4e4e4', lc rgb '#f0f0f0'\n";
  body += "set tics out nomirror\nset border 3 lc rgb '#888888'\n";
  body += "set lmargin at screen 0.09\nset rmargin at screen 0.97\n";

  // The whole run: the first solutions overload trucks, and their penalty
  // puts the gap powers of ten above the end's.
  body += "set tmargin at screen 0.90\nset bmargin at screen 0.55\n";
  body += "set title " + gnuplot_text("The whole run" + (plot.note.empty() ? "" : " (" + plot.note + ")")) +
          " font ',11'\n";
  body += "set logscale x\nset xrange [" + number(kEarliest) + ":" + number(std::max(end, 2 * kEarliest)) + "]\n";
  body += "set format x '%g'\nset mxtics 10\n";
  body += "set xlabel 'seconds since the run started (log scale; 0.00 drawn at " + number(kEarliest) + ")'\n";
  // From the 1, 2 or 5 times a power of ten below the lowest value, so that
  // a labelled tick is under every curve.
  const double power = std::pow(10.0, std::floor(std::log10(lowest_shown / 1.2)));
  double bottom = power;
  for (const double step : {2.0, 5.0})
    if (step * power <= lowest_shown / 1.2) bottom = step * power;
  body += "set logscale y\nset yrange [" + number(bottom) + ":" + number(highest * 2) + "]\n";
  body += "set format y '%g'\nset mytics 10\n" + gnuplot_log_ticks(bottom, highest * 2);
  body += "set ylabel " + gnuplot_text(plot.value + ", log scale" + (floored ? "; below " + number(kFloor) + " at it" : std::string())) + "\n";
  // Long names (a search with its swept settings) in a smaller type, so
  // that the key stays within the picture's width.
  std::size_t longest = 0;
  for (const Band& band : plot.bands) longest = std::max(longest, band.label.size());
  for (const KeyEntry& entry : plot.absent) longest = std::max(longest, entry.label.size());
  body += std::string("set key inside top right") + (longest > 90 ? " font ',7'" : "") +
          " opaque box lc rgb '#bbbbbb' noenhanced samplen 2.5 spacing 1.2 Left reverse\n";
  body += band_command(plot, true);

  // The end, where the searches part: up to about twice the highest final
  // value, a multiple of 0.5.
  const double top = std::max(std::ceil(4.0 * final_high) / 2.0, 0.5);
  body += "set tmargin at screen 0.44\nset bmargin at screen 0.08\n";
  body += "set title 'Close-up: the end of the runs' font ',11'\n";
  body += "unset logscale x\nset xrange [0:" + number(end) + "]\nset mxtics default\n";
  body += "set xlabel 'seconds since the run started'\n";
  body += "unset logscale y\nset yrange [" + number(lowest) + ":" + number(top) + "]\n";
  body += "set ytics autofreq\nset mytics default\nset ylabel " + gnuplot_text(plot.value) + "\n";
  body += "unset key\n";
  body += band_command(plot, false);
  body += "unset multiplot\n";
  return draw_pictures(pictures, body, kWidth, kBandHeight);
}

Failure draw_profile(const ProfilePlot& plot, const Pictures& pictures) {
  double largest = 1.0;
  for (const ProfileCurve& curve : plot.curves)
    for (const double r : curve.ratios)
      if (std::isfinite(r)) largest = std::max(largest, r);
  if (!std::isfinite(largest * 2)) return std::string("ratios too large to draw");
  // Room left of 1, where every curve rises from 0, and right of the largest ratio.
  const double span = std::max(largest - 1.0, 0.01);
  const double left = 1.0 - 0.03 * span, right = largest + 0.08 * span;

  std::string body, command = "plot \\\n";
  for (std::size_t k = 0; k < plot.curves.size(); ++k) {
    std::vector<double> ratios = plot.curves[k].ratios;
    std::sort(ratios.begin(), ratios.end());
    const double problems = static_cast<double>(ratios.size());
    std::string block = "$profile" + std::to_string(k) + " << EOD\n" + number(left) + " 0\n";
    double share = 0.0;
    for (std::size_t i = 0; i < ratios.size() && std::isfinite(ratios[i]); ++i) {
      if (i + 1 < ratios.size() && ratios[i + 1] == ratios[i]) continue;
      block += number(ratios[i]) + " " + number(share) + "\n";
      share = static_cast<double>(i + 1) / problems;
      block += number(ratios[i]) + " " + number(share) + "\n";
    }
    block += number(right) + " " + number(share) + "\nEOD\n";
    body += block;
    command += "  $profile" + std::to_string(k) + " using 1:2 with lines lw " + width(k, plot.curves.size()) +
               " lc rgb '" + colour(k) + "' title " + gnuplot_text(plot.curves[k].label) + ", \\\n";
  }
  if (plot.curves.empty()) return std::string("no profile to draw");
  command.resize(command.size() - 4);

  body += "set title " + gnuplot_text(plot.title) + " noenhanced font ',14'\n";
  body += "set grid xtics ytics lc rgb '#e4e4e4'\n";
  body += "set tics out nomirror\nset border 3 lc rgb '#888888'\n";
  body += "set lmargin at screen 0.09\nset rmargin at screen 0.97\nset tmargin at screen 0.90\nset bmargin at screen 0.14\n";
  body += "set xrange [" + number(left) + ":" + number(right) + "]\nset yrange [0:1.05]\n";
  body += "set xlabel " + gnuplot_text(plot.ratio) + " noenhanced\n";
  body += "set ylabel 'share of the instances with ratio at most tau' noenhanced\n";
  body += "set ytics 0.1\nset format y '%.1f'\n";
  body += "set key inside bottom right opaque box lc rgb '#bbbbbb' noenhanced samplen 2.5 spacing 1.2 Left reverse\n";
  body += command + "\n";
  return draw_pictures(pictures, body, kWidth, kProfileHeight);
}

}  // namespace plot
