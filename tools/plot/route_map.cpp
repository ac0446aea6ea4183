#include "tools/plot/route_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

#include "tools/plot/palette.h"

namespace plot {

namespace {

// The picture, in pixels, and the plot area inside it (fractions of the
// picture, as gnuplot's "at screen" margins take them).
constexpr int kWidth = 1200;
constexpr int kHeight = 1000;
constexpr double kLeft = 0.055;
constexpr double kRight = 0.70;
constexpr double kKeyLeft = 0.725;  // the legend, right of the plot area
constexpr double kTop = 0.92;
constexpr double kBottom = 0.06;
constexpr double kBottomWithCaption = 0.09;

// Sizes of the marks as drawn, in pixels: the label font (8 points) and the
// customer and depot points. The label boxes are estimates; a little slack
// keeps neighbouring labels apart.
constexpr double kDigitWidth = 6.5;
constexpr double kLabelHeight = 11.0;
constexpr double kPointRadius = 4.5;
constexpr double kDepotRadius = 10.0;

struct Box {
  double left, bottom, right, top;
};

double overlap(const Box& a, const Box& b) {
  const double w = std::min(a.right, b.right) - std::max(a.left, b.left);
  const double h = std::min(a.top, b.top) - std::max(a.bottom, b.bottom);
  return w > 0.0 && h > 0.0 ? w * h : 0.0;
}

// Length of the segment p-q inside the box (Liang-Barsky clipping).
double length_inside(double px, double py, double qx, double qy, const Box& box) {
  const double dx = qx - px;
  const double dy = qy - py;
  double t0 = 0.0;
  double t1 = 1.0;
  const std::array<double, 4> p{-dx, dx, -dy, dy};
  const std::array<double, 4> q{px - box.left, box.right - px, py - box.bottom, box.top - py};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return 0.0;
    } else {
      const double t = q[i] / p[i];
      if (p[i] < 0.0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
    }
  }
  return t1 > t0 ? (t1 - t0) * std::hypot(dx, dy) : 0.0;
}

// Where gnuplot puts a data point, in pixels from the plot area's lower left
// corner, once the ranges fill the area at one scale for both axes.
struct Frame {
  double x0, y0, x1, y1, scale;
  double px(double x) const { return (x - x0) * scale; }
  double py(double y) const { return (y - y0) * scale; }
};

Frame frame_for(const std::vector<NodePoint>& points, double width, double height) {
  double min_x = points[0].x, max_x = min_x, min_y = points[0].y, max_y = min_y;
  for (const NodePoint& p : points) {
    min_x = std::min(min_x, p.x);
    max_x = std::max(max_x, p.x);
    min_y = std::min(min_y, p.y);
    max_y = std::max(max_y, p.y);
  }
  // Room around the points for their labels, and a span for a single point.
  double span = std::max(max_x - min_x, max_y - min_y);
  if (!(span > 0.0)) span = 1.0;
  const double pad = 0.06 * span;
  const double scale = std::min(width / (max_x - min_x + 2 * pad), height / (max_y - min_y + 2 * pad));
  const double cx = 0.5 * (min_x + max_x);
  const double cy = 0.5 * (min_y + max_y);
  return {cx - 0.5 * width / scale, cy - 0.5 * height / scale, cx + 0.5 * width / scale, cy + 0.5 * height / scale,
          scale};
}

// Places each customer's number beside its point: of eight places around it,
// the one whose box covers least of the labels placed so far, of the points
// and of the route lines (in that order of weight), the first in the order
// below on a tie. Returns the label centres in data units.
std::vector<NodePoint> place_labels(const RouteMap& map, const Frame& frame, double width, double height) {
  const std::size_t nodes = map.points.size();
  std::vector<Box> marks;
  for (std::size_t node = 0; node < nodes; ++node) {
    const double r = node == 0 ? kDepotRadius : kPointRadius;
    const double x = frame.px(map.points[node].x);
    const double y = frame.py(map.points[node].y);
    marks.push_back({x - r, y - r, x + r, y + r});
  }
  struct Segment {
    double ax, ay, bx, by;
  };
  std::vector<Segment> segments;
  for (const std::vector<int>& trip : map.trips) {
    int from = 0;
    for (std::size_t i = 0; i <= trip.size(); ++i) {
      const int to = i < trip.size() ? trip[i] : 0;
      const NodePoint& a = map.points[static_cast<std::size_t>(from)];
      const NodePoint& b = map.points[static_cast<std::size_t>(to)];
      segments.push_back({frame.px(a.x), frame.py(a.y), frame.px(b.x), frame.py(b.y)});
      from = to;
    }
  }

  std::vector<NodePoint> centres(nodes);
  std::vector<Box> placed;
  for (std::size_t node = 1; node < nodes; ++node) {
    const double half_w = 0.5 * kDigitWidth * static_cast<double>(std::to_string(node).size()) + 1.0;
    const double half_h = 0.5 * kLabelHeight;
    const double x = frame.px(map.points[node].x);
    const double y = frame.py(map.points[node].y);
    const double gap = kPointRadius + 1.5;
    // NE, E, NW, N, SE, W, SW, S.
    const std::array<std::array<double, 2>, 8> places{{{gap + half_w, gap * 0.6 + half_h},
                                                       {gap + half_w, 0.0},
                                                       {-(gap + half_w), gap * 0.6 + half_h},
                                                       {0.0, gap + half_h},
                                                       {gap + half_w, -(gap * 0.6 + half_h)},
                                                       {-(gap + half_w), 0.0},
                                                       {-(gap + half_w), -(gap * 0.6 + half_h)},
                                                       {0.0, -(gap + half_h)}}};
    double best_cost = 0.0;
    Box best{};
    for (std::size_t k = 0; k < places.size(); ++k) {
      const double cx = x + places[k][0];
      const double cy = y + places[k][1];
      const Box box{cx - half_w, cy - half_h, cx + half_w, cy + half_h};
      double cost = 0.0;
      for (const Box& other : placed) cost += 4.0 * overlap(box, other);
      for (std::size_t other = 0; other < nodes; ++other)
        if (other != node) cost += 2.0 * overlap(box, marks[other]);
      for (const Segment& s : segments) cost += 1.5 * length_inside(s.ax, s.ay, s.bx, s.by, box);
      if (box.left < 0.0 || box.bottom < 0.0 || box.right > width || box.top > height) cost += 1e6;
      if (k == 0 || cost < best_cost) {
        best_cost = cost;
        best = box;
      }
    }
    placed.push_back(best);
    centres[node] = {frame.x0 + 0.5 * (best.left + best.right) / frame.scale,
                     frame.y0 + 0.5 * (best.bottom + best.top) / frame.scale};
  }
  return centres;
}

// The points as gnuplot is given them, and a caption line saying how they
// were moved, when they were.
struct DrawnPoints {
  std::vector<NodePoint> points;
  std::string note;
};

std::optional<DrawnPoints> drawn_points(const std::vector<NodePoint>& points) {
  double min_x = points[0].x, max_x = min_x, min_y = points[0].y, max_y = min_y, size = 0.0;
  for (const NodePoint& p : points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    min_x = std::min(min_x, p.x);
    max_x = std::max(max_x, p.x);
    min_y = std::min(min_y, p.y);
    max_y = std::max(max_y, p.y);
    size = std::max({size, std::fabs(p.x), std::fabs(p.y)});
  }
  // Halves, so that the spread of points at -DBL_MAX and DBL_MAX is finite.
  const double half_span = std::max(max_x / 2 - min_x / 2, max_y / 2 - min_y / 2);
  if (size <= 1e7 && (half_span == 0.0 || 2 * half_span >= 1e-6 * size)) return DrawnPoints{points, ""};
  // A spread outside [1, 1e6] is drawn in the unit 10^k that puts it in [100, 1000).
  const double span_power = std::log10(half_span) + std::log10(2.0);
  const int power = half_span > 0.0 && (span_power < 0.0 || span_power > 6.0) ? static_cast<int>(std::floor(span_power)) - 2 : 0;
  const double unit = std::pow(10.0, power);
  const auto moved = [&](double value, double origin) {
    return unit >= 1.0 ? value / unit - origin / unit : (value - origin) / unit;
  };
  DrawnPoints drawn;
  for (const NodePoint& p : points) drawn.points.push_back({moved(p.x, min_x), moved(p.y, min_y)});
  const auto shown = [&](const char* axis, double origin) {
    char text[80];
    const char sign = origin < 0.0 ? '+' : '-';
    if (power == 0)
      std::snprintf(text, sizeof text, "%s %c %.10g", axis, sign, std::fabs(origin));
    else
      std::snprintf(text, sizeof text, "(%s %c %.10g) / 1e%d", axis, sign, std::fabs(origin), power);
    return std::string(text);
  };
  char note[200];
  std::snprintf(note, sizeof note, "Drawn as %s and %s: the coordinates as given are too %s for the plot",
                shown("x", min_x).c_str(), shown("y", min_y).c_str(), size > 1e7 ? "large" : "close together");
  drawn.note = note;
  return drawn;
}

void add_point(std::string& text, const NodePoint& p) {
  char line[96];
  std::snprintf(line, sizeof line, "%.10g %.10g\n", p.x, p.y);
  text += line;
}

}  // namespace

Failure draw_route_map(const RouteMap& given, const Pictures& pictures) {
  if (given.points.empty()) return std::string("no nodes to draw");
  const std::optional<DrawnPoints> drawn = drawn_points(given.points);
  if (!drawn) return std::string("coordinates that are not finite numbers cannot be drawn");
  RouteMap map = given;
  map.points = drawn->points;
  if (!drawn->note.empty()) map.caption += (map.caption.empty() ? "" : " ") + drawn->note + ".";
  const double bottom = map.caption.empty() ? kBottom : kBottomWithCaption;
  const double width = (kRight - kLeft) * kWidth;
  const double height = (kTop - bottom) * kHeight;
  const Frame frame = frame_for(map.points, width, height);
  const std::vector<NodePoint> labels = place_labels(map, frame, width, height);

  std::string body;
  for (std::size_t k = 0; k < map.trips.size(); ++k) {
    body += "$trip" + std::to_string(k) + " << EOD\n";
    add_point(body, map.points[0]);
    for (const int customer : map.trips[k]) add_point(body, map.points[static_cast<std::size_t>(customer)]);
    add_point(body, map.points[0]);
    body += "EOD\n";
  }
  body += "$depot << EOD\n";
  add_point(body, map.points[0]);
  body += "EOD\n$labels << EOD\n";
  for (std::size_t node = 1; node < labels.size(); ++node) {
    char line[96];
    std::snprintf(line, sizeof line, "%.10g %.10g %zu\n", labels[node].x, labels[node].y, node);
    body += line;
  }
  body += "EOD\n";

  char setting[256];
  std::snprintf(setting, sizeof setting,
                "set lmargin at screen %g\nset rmargin at screen %g\nset tmargin at screen %g\n"
                "set bmargin at screen %g\nset xrange [%.10g:%.10g]\nset yrange [%.10g:%.10g]\n",
                kLeft, kRight, kTop, bottom, frame.x0, frame.x1, frame.y0, frame.y1);
  body += setting;
  body += "set title " + gnuplot_text(map.title) + " noenhanced font ',14'\n";
  body += "unset label\n";
  if (!map.caption.empty())
    body += "set label 1 " + gnuplot_text(map.caption) + " at screen 0.5, screen 0.025 center noenhanced font ',11'\n";
  body += "set key at screen " + std::to_string(kKeyLeft) + ", screen " + std::to_string(kTop) +
          " left top Left reverse noenhanced samplen 2 spacing 1.3\n";
  body += "set grid lc rgb '#e4e4e4'\nset tics out nomirror\nset border 3 lc rgb '#888888'\n";
  body += "plot \\\n";
  for (std::size_t k = 0; k < map.trips.size(); ++k) {
    const std::string label = k < map.trip_labels.size() ? map.trip_labels[k] : "trip " + std::to_string(k + 1);
    body += "  $trip" + std::to_string(k) + " using 1:2 with linespoints lw 2 pt 7 ps 0.9 lc rgb '" +
            colour(k) + "' dt " + std::to_string(1 + static_cast<int>(k / kColours)) + " title " + gnuplot_text(label) +
            ", \\\n";
  }
  body += "  $depot using 1:2 with points pt 5 ps 2.6 lc rgb 'black' title 'depot (node 0)', \\\n";
  body += "  $labels using 1:2:3 with labels center font ',8' textcolor rgb '#202020' notitle\n";

  return draw_pictures(pictures, body, kWidth, kHeight);
}

}  // namespace plot
