#include "tools/plot/progress_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "tools/plot/palette.h"

namespace plot {

namespace {

constexpr int kWidth = 1100;
constexpr int kHeight = 900;
// The close-up shows the objective up to this share above the lowest final
// value (or the best known value, when lower).
constexpr double kCloseUpShare = 0.08;
// The whole-run panel has time on a log scale too: the annealing makes most
// of its new bests in the first tenths of a second. The logs give time to
// 0.01 s, so it starts at half of that, where it draws the times logged as 0.
constexpr double kEarliest = 0.005;

std::string number(double value) { return gnuplot_number(value); }

std::string data_block(const std::string& name, const std::vector<ProgressPoint>& points) {
  std::string text = "$" + name + " << EOD\n";
  for (const ProgressPoint& p : points) text += number(p.seconds) + " " + number(p.objective) + "\n";
  return text + "EOD\n";
}

// The plot command of one panel: each curve as steps held to its end, its
// new bests as dots, and the best known value as a dashed line.
std::string plot_command(const ProgressPlot& plot, bool titled) {
  // In the whole-run panel times before kEarliest are drawn at it.
  const std::string x = titled ? "($1 < " + number(kEarliest) + " ? " + number(kEarliest) + " : $1)" : "1";
  std::string command = "plot \\\n";
  for (std::size_t k = 0; k < plot.curves.size(); ++k) {
    if (plot.curves[k].points.empty()) continue;
    const std::string id = std::to_string(k);
    const std::string colour_spec = "lc rgb '" + colour(k) + "'";
    const std::string width =
        plot.layered ? number(2.0 + 1.5 * static_cast<double>(plot.curves.size() - 1 - k)) : std::string("2");
    command += "  $held" + id + " using " + x + ":2 with steps lw " + width + " " + colour_spec +
               (titled ? " title " + gnuplot_text(plot.curves[k].label) : std::string(" notitle")) + ", \\\n";
    command += "  $best" + id + " using " + x + ":2 with points pt 7 ps 0.45 " + colour_spec + " notitle, \\\n";
  }
  if (plot.best_known)
    command += "  " + number(*plot.best_known) + " with lines dt 2 lw 1.5 lc rgb 'black' " +
               (titled ? "title " + gnuplot_text(plot.best_known_label) : std::string("notitle")) + ", \\\n";
  command.resize(command.size() - 4);  // the last ", \\\n"
  return command + "\n";
}

// The markers as vertical lines, each labelled near the top of the panel: to
// the right of its line in the close-up, where the curves have come down;
// to the left in the whole-run panel, whose top right holds the key.
std::string markers(const ProgressPlot& plot, bool label_left) {
  std::string text = "unset arrow\nunset label\n";
  for (std::size_t m = 0; m < plot.markers.size(); ++m) {
    const std::string x = number(plot.markers[m].seconds);
    const std::string id = std::to_string(m + 1);
    text += "set arrow " + id + " from " + x + ", graph 0 to " + x + ", graph 1 nohead dt 3 lw 1.5 lc rgb '#555555'\n";
    text += "set label " + id + " " + gnuplot_text(plot.markers[m].label) + " at " + x + ", graph 0.94 " +
            (label_left ? "right offset -0.6, 0" : "left offset 0.6, 0") +
            " front noenhanced font ',10' textcolor rgb '#333333'\n";
  }
  return text;
}

}  // namespace

Failure draw_progress(const ProgressPlot& plot, const Pictures& pictures) {
  double end = 0.0;
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -std::numeric_limits<double>::infinity();
  bool before_earliest = false;
  double highest_final = -std::numeric_limits<double>::infinity();
  bool positive = true;
  std::string body;
  for (std::size_t k = 0; k < plot.curves.size(); ++k) {
    const ProgressCurve& curve = plot.curves[k];
    if (curve.points.empty()) continue;
    std::vector<ProgressPoint> held = curve.points;
    held.push_back({std::max(curve.held_until, curve.points.back().seconds), curve.points.back().objective});
    end = std::max(end, held.back().seconds);
    lowest = std::min(lowest, curve.points.back().objective);
    highest_final = std::max(highest_final, curve.points.back().objective);
    for (const ProgressPoint& p : curve.points) {
      positive = positive && p.objective > 0.0;
      highest = std::max(highest, p.objective);
      before_earliest = before_earliest || p.seconds < kEarliest;
    }
    body += data_block("held" + std::to_string(k), held);
    body += data_block("best" + std::to_string(k), curve.points);
  }
  if (body.empty()) return std::string("no progress to draw");
  if (plot.best_known) {
    lowest = std::min(lowest, *plot.best_known);
    positive = positive && *plot.best_known > 0.0;
  }
  if (!(end > 0.0)) end = 1.0;
  const double share = std::max(std::fabs(lowest), 1e-9) * kCloseUpShare;
  const double close_low = lowest - 0.1 * share;
  const double close_high = std::max(highest_final, lowest) + share;
  if (!std::isfinite(close_low) || !std::isfinite(close_high) || !std::isfinite(highest * 1.2) ||
      !std::isfinite(lowest * 1.2))
    return "objectives up to " + number(std::max(std::fabs(lowest), std::fabs(highest))) +
           " are too large to draw";
  // A log scale over more powers of ten than this shows nothing useful.
  positive = positive && lowest >= 1e-300 && highest <= 1e15 * lowest;

  body += "set multiplot title " + gnuplot_text(plot.title) + " noenhanced font ',14'\n";
  body += "set grid xtics ytics mytics lc rgb '#e4e4e4', lc rgb '#f0f0f0'\n";
  body += "set tics out nomirror\nset border 3 lc rgb '#888888'\n";
  body += "set lmargin at screen 0.09\nset rmargin at screen 0.97\n";
  body += markers(plot, true);

  // The whole run: the penalty makes the objective span several powers of ten.
  body += "set tmargin at screen 0.90\nset bmargin at screen 0.55\n";
  body += "unset title\n";
  body += "set logscale x\nset xrange [" + number(kEarliest) + ":" + number(std::max(end, 2 * kEarliest)) + "]\n";
  body += "set format x '%g'\nset mxtics 10\n";
  body += std::string("set xlabel 'seconds since the program started (log scale") +
          (before_earliest ? "; times logged as 0.00 drawn at " + number(kEarliest) : std::string()) + ")'\n";
  if (positive) {
    body += "set logscale y\nset format y '%.0f'\nset mytics 10\n";
    body += "set yrange [" + number(lowest / 1.2) + ":" + number(highest * 1.2) + "]\n";
    body += gnuplot_log_ticks(lowest / 1.2, highest * 1.2);
    body += "set ylabel 'objective (log scale)'\n";
  } else {
    body += "unset logscale y\nset yrange [*:*]\nset ylabel 'objective'\n";
  }
  body += "set key inside top right opaque box lc rgb '#bbbbbb' noenhanced samplen 2.5 spacing 1.2 Left reverse\n";
  body += plot_command(plot, true);
  body += markers(plot, false);

  // The end of the run, where the searches part.
  char share_text[32];
  std::snprintf(share_text, sizeof share_text, "%g%%", kCloseUpShare * 100.0);
  body += "set tmargin at screen 0.44\nset bmargin at screen 0.08\n";
  body += "set title 'Close-up: objective up to " + std::string(share_text) +
          " above the lowest final value' font ',11'\n";
  body += "unset logscale x\nset xrange [0:" + number(end) + "]\nset mxtics default\n";
  body += "set xlabel 'seconds since the program started'\n";
  body += "unset logscale y\nset format y '%g'\nset ytics autofreq\nset mytics default\nset ylabel 'objective'\n";
  body += "set yrange [" + number(close_low) + ":" + number(close_high) + "]\n";
  body += "unset key\n";
  body += plot_command(plot, false);
  body += "unset multiplot\n";

  return draw_pictures(pictures, body, kWidth, kHeight);
}

}  // namespace plot
