#include "report/report_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "report/final_report_text.h"
#include "report/text_file.h"

namespace {

std::string printed(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string printed(const char* format, int value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string banner_text(const report_file::Banner& banner) {
  return std::string(static_cast<std::size_t>(banner.left), '*') + banner.title +
         std::string(static_cast<std::size_t>(banner.right), '*') + banner.end;
}

// A line of the file for a message: printable ASCII as it is, other bytes as
// \xHH, cut after 60 characters.
std::string shown(std::string_view line) {
  std::string text;
  for (const char c : line.substr(0, 60)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  if (line.size() > 60) text += "...";
  return text;
}

struct ParseFailure {
  std::string message;
};

// A cursor over the report's bytes that matches the writer's formats: their
// literal bytes exactly, "%d" and "%f" as numbers that printf with the same
// conversion prints back byte for byte. A "\r" before any "\n" is allowed.
class ReportCursor {
 public:
  ReportCursor(std::string_view text, const std::string& name) : text_(text), name_(name) {}

  bool at_end() const { return at_ == text_.size(); }
  int line() const {
    return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(at_), '\n'));
  }

  // Matches `format` at the cursor; on success moves past it and appends its
  // numbers to `values` (and, for "%f", their text to `texts`). On failure
  // the cursor does not move.
  bool match(const char* format, std::vector<double>* values = nullptr,
             std::vector<std::string>* texts = nullptr) {
    std::size_t at = at_;
    std::vector<double> found;
    std::vector<std::string> found_texts;
    for (const char* f = format; *f != '\0'; ++f) {
      if (f[0] == '%' && (f[1] == 'd' || f[1] == 'f')) {
        const bool real = f[1] == 'f';
        ++f;
        std::size_t stop = at;
        if (stop < text_.size() && text_[stop] == '-') ++stop;
        const auto numeric = [&](char c) { return std::isdigit(static_cast<unsigned char>(c)) || (real && c == '.'); };
        while (stop < text_.size() && numeric(text_[stop])) ++stop;
        const std::string token(text_.substr(at, stop - at));
        if (token.empty() || token.size() > 400) return false;
        if (real) {
          const double value = std::strtod(token.c_str(), nullptr);
          if (printed("%f", value) != token) return false;
          found.push_back(value);
          found_texts.push_back(token);
        } else {
          long long value = 0;
          const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
          if (error != std::errc() || end != token.data() + token.size() || value < INT32_MIN ||
              value > INT32_MAX || printed("%d", static_cast<int>(value)) != token)
            return false;
          found.push_back(static_cast<double>(value));
        }
        at = stop;
      } else if (*f == '\n' && text_.substr(at, 2) == "\r\n") {
        at += 2;
      } else {
        if (at >= text_.size() || text_[at] != *f) return false;
        ++at;
      }
    }
    at_ = at;
    if (values != nullptr) values->insert(values->end(), found.begin(), found.end());
    if (texts != nullptr) texts->insert(texts->end(), found_texts.begin(), found_texts.end());
    return true;
  }

  // Matches `format` or fails with "expected WHAT".
  void expect(const char* format, const std::string& what, std::vector<double>* values = nullptr,
              std::vector<std::string>* texts = nullptr) {
    if (!match(format, values, texts)) fail(what);
  }

  [[noreturn]] void fail(const std::string& expected) const {
    std::string message = name_ + ":" + std::to_string(line()) + ": ";
    if (at_end()) {
      message += std::string("the report is cut short: expected ") + expected;
    } else {
      const std::size_t start = text_.rfind('\n', at_ == 0 ? 0 : at_ - 1);
      const std::size_t from = at_ == 0 || start == std::string_view::npos ? 0 : start + 1;
      std::size_t stop = text_.find('\n', at_);
      if (stop == std::string_view::npos) stop = text_.size();
      std::string_view line = text_.substr(from, stop - from);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      message += "expected " + expected + ", found \"" + shown(line) + "\"";
      if (looks_like_utf8()) message += " (the file looks like UTF-8; the program writes Windows-1252)";
    }
    throw ParseFailure{message};
  }

 private:
  // A UTF-8 lead byte of the accented letters followed by a continuation byte.
  bool looks_like_utf8() const {
    for (std::size_t i = 0; i + 1 < text_.size(); ++i)
      if (static_cast<unsigned char>(text_[i]) == 0xC3 && (static_cast<unsigned char>(text_[i + 1]) & 0xC0) == 0x80)
        return true;
    return false;
  }

  std::string_view text_;
  const std::string& name_;
  std::size_t at_ = 0;
};

std::string quoted_line(const char* format) {
  std::string_view text(format);
  const std::size_t stop = text.find('\n');
  return std::string("\"") + shown(text.substr(0, stop)) + "\"";
}

void parse_into(ReportCursor& cursor, ReportValues& report) {
  namespace rf = report_file;
  std::vector<double> values;
  std::vector<std::string> texts;
  const std::string title = banner_text(rf::kTitle);
  cursor.expect(title.c_str(), std::string("the title banner \"") + shown(title.substr(0, 52)) + "\"");
  cursor.expect(rf::kObjective, std::string("the objective line ") + quoted_line(rf::kObjective), &values, &texts);
  cursor.expect(rf::kMinTrucks, std::string("the minimum trucks line ") + quoted_line(rf::kMinTrucks), &values);
  cursor.expect(rf::kTrucksUsed, std::string("the trucks used line ") + quoted_line(rf::kTrucksUsed) + " and a blank line",
                &values);
  cursor.expect(rf::kDistance, std::string("the distance line ") + quoted_line(rf::kDistance), &values, &texts);
  cursor.expect(banner_text(rf::kSummaryEnd).c_str(), "a line of 117 asterisks and three blank lines");
  cursor.expect(banner_text(rf::kListing).c_str(), "the listing banner and three blank lines");
  report.objective = values[0];
  report.objective_text = texts[0];
  report.min_trucks = static_cast<int>(values[1]);
  report.trucks_used = static_cast<int>(values[2]);
  report.distance = values[3];
  report.distance_text = texts[1];

  // The listing holds one trip per truck used, and nothing after them.
  if (report.trucks_used < 1) cursor.fail("at least one truck used before the listing");
  const std::string close = banner_text(rf::kTripClose);
  for (int k = 1; k <= report.trucks_used; ++k) {
    ReportTrip trip;
    trip.line = cursor.line();
    values.clear();
    const std::string header = printed(rf::kTripHeader, k);
    cursor.expect(header.c_str(), std::string("the start of trip ") + std::to_string(k) + " \"" + header + "\"");
    while (!cursor.match(rf::kTripEnd)) {
      if (!cursor.match(rf::kVisit, &values))
        cursor.fail(std::string("a customer \"N --> \" or the end of trip ") + std::to_string(k) + " \"Deposito\"");
      trip.customers.push_back(static_cast<int>(values.back()));
    }
    if (trip.customers.empty()) cursor.fail(std::string("a customer in trip ") + std::to_string(k));
    values.clear();
    // The load line with this trip's number in place of its first "%d".
    std::string load = rf::kLoad;
    load.replace(load.find("%d"), 2, std::to_string(k));
    const std::string number = std::to_string(k);
    cursor.expect(load.c_str(), std::string("the load of trip ") + number + " \"Carga[" + number + "] = N\"", &values);
    trip.load = static_cast<int>(values[0]);
    cursor.expect(close.c_str(), std::string("a line of 96 asterisks and two blank lines closing trip ") + number);
    report.trips.push_back(std::move(trip));
  }
  if (!cursor.at_end()) cursor.fail("the end of the report after trip " + std::to_string(report.trucks_used));
}

// The largest objective any Route of the instance can have, in absolute
// value: the penalty of loading every demand on one overloaded truck plus
// route_length - 1 of the largest cells (with room for the float sum's
// roundings, at most route_length * 2^-24 of it).
double largest_objective(const DistanceMatrix& matrix, std::span<const int> demand, int route_length,
                         int penalty_weight) {
  double demands = 0.0;
  for (std::size_t node = 1; node < demand.size(); ++node) demands += std::fabs(static_cast<double>(demand[node]));
  const double largest_cell = largest_distance(matrix);
  return std::fabs(static_cast<double>(penalty_weight)) * demands +
         static_cast<double>(route_length - 1) * largest_cell * 1.001;
}

// How far the objective a search carries may lie from objective_value of its
// best Route. The searches never recompute it: after each accepted move to a
// Route of penalty p and distance d, fo' = fl(fo + fl(p + d - fo)), with
// p + d - fo formed in double. Let u = 2^-24, A = |p + d| for the Route the
// search reports and M the largest |objective| any Route can have, so |fo| <=
// M. Then fl(p + d - fo) = (p + d - fo)(1 + e1) and fo' = (p + d + (p + d - fo)
// e1)(1 + e2) with |e1|, |e2| <= u, so |fo' - (p + d)| <= u(A + M) + uA plus
// terms in u^2. The error does not accumulate over a search: each move's
// rounding is measured against that move's exact p + d. objective_value
// rounds p + d once more (uA): in all u(M + 3A). One per cent more covers the
// terms in u^2, the double roundings (2^-53 of sizes below 2M) and a carried
// fo a little above M.
double carried_objective_tolerance(double largest, double objective) {
  return 1.01 * (largest + 3.0 * std::fabs(objective)) / 16777216.0;
}

// The canonical Route of the trips: the trips in order, each closed by a
// zero, and the unused trucks' zeros before the closing depot.
Route rebuilt_route(const std::vector<ReportTrip>& trips, std::span<const int> spare_before, int route_length) {
  Route route;
  route.reserve(static_cast<std::size_t>(route_length));
  route.push_back(0);
  for (std::size_t k = 0; k <= trips.size(); ++k) {
    for (int i = 0; i < spare_before[k]; ++i) route.push_back(0);
    if (k == trips.size()) break;
    route.insert(route.end(), trips[k].customers.begin(), trips[k].customers.end());
    route.push_back(0);
  }
  return route;
}

// The ways of spreading `spare` empty trips over the gaps before, between
// and after the trips, the canonical one (all at the end) first, up to
// kMostSpreads of them.
constexpr std::size_t kMostSpreads = 20000;
void spread_spares(int spare, std::vector<int>& gaps, std::size_t from, std::vector<std::vector<int>>& out) {
  if (from + 1 == gaps.size()) {
    gaps[from] = spare;
    out.push_back(gaps);
    return;
  }
  for (int here = 0; here <= spare && out.size() < kMostSpreads; ++here) {
    gaps[from] = here;
    spread_spares(spare - here, gaps, from + 1, out);
  }
  gaps[from] = 0;
}

}  // namespace

std::optional<std::string> parse_report(std::string_view text, const std::string& name, ReportValues& report) {
  report = ReportValues{};
  ReportCursor cursor(text, name);
  try {
    parse_into(cursor, report);
  } catch (const ParseFailure& failure) {
    return failure.message;
  }
  return std::nullopt;
}

std::optional<std::string> read_report(const std::string& path, ReportValues& report) {
  std::string text;
  if (auto failure = read_text_file(path, text)) return failure;
  return parse_report(text, path, report);
}

std::optional<std::string> check_report(const ReportValues& report, const std::string& name,
                                        const DistanceMatrix& matrix, std::span<const int> demand,
                                        int vehicle_capacity, int penalty_weight, CheckedReport& checked) {
  const auto at_line = [&](int line, const std::string& text) {
    return name + ":" + std::to_string(line) + ": " + text;
  };
  const int customer_count = static_cast<int>(demand.size()) - 1;

  std::vector<int> seen_on(static_cast<std::size_t>(customer_count + 1), 0);
  for (std::size_t k = 0; k < report.trips.size(); ++k) {
    const ReportTrip& trip = report.trips[k];
    const std::string truck = std::string("trip ") + std::to_string(k + 1);
    std::int64_t load = 0;
    for (const int customer : trip.customers) {
      if (customer < 1 || customer > customer_count)
        return at_line(trip.line, truck + " visits " + std::to_string(customer) +
                                      ", not a customer of the instance (1.." + std::to_string(customer_count) + ")");
      int& first = seen_on[static_cast<std::size_t>(customer)];
      if (first != 0)
        return at_line(trip.line, std::string("customer ") + std::to_string(customer) +
                                      " is visited a second time (first on line " + std::to_string(first) + ")");
      first = trip.line;
      load += demand[static_cast<std::size_t>(customer)];
    }
    if (load != trip.load)
      return at_line(trip.line + 1, std::string("Carga[") + std::to_string(k + 1) + "] = " +
                                        std::to_string(trip.load) + ", but the demands of its customers add up to " +
                                        std::to_string(load));
  }
  for (int customer = 1; customer <= customer_count; ++customer)
    if (seen_on[static_cast<std::size_t>(customer)] == 0)
      return name + ": customer " + std::to_string(customer) + " is in no trip";

  const int fewest = min_trucks(demand, customer_count + 1, vehicle_capacity);
  if (fewest != report.min_trucks)
    return at_line(kReportMinTrucksLine, std::string("minimum number of trucks ") +
                                             std::to_string(report.min_trucks) + ", but the instance's demands give " +
                                             std::to_string(fewest));
  // The program's Route has room for max(min_trucks, 1) trips.
  const int trucks = std::max(fewest, 1);
  const int route_length = customer_count + trucks + 1;
  const auto trip_count = static_cast<int>(report.trips.size());
  if (trip_count > trucks)
    return name + ": the report lists " + std::to_string(trip_count) + " trips; the program's Route has room for " +
           std::to_string(trucks);

  // Unused trucks are empty trips of the Route, each adding cell (0, 0) to
  // its distance where it stood. Where the cell is 0 their place does not
  // change the float sum; otherwise the places are tried (up to kMostSpreads).
  std::vector<std::vector<int>> spreads;
  std::vector<int> gaps(report.trips.size() + 1, 0);
  if (matrix.at(0, 0) == 0.0f) {
    gaps.back() = trucks - trip_count;
    spreads.push_back(gaps);
  } else {
    spread_spares(trucks - trip_count, gaps, 0, spreads);
  }
  // The first spread whose sum prints as the report's, else the canonical one.
  const auto matching = std::find_if(spreads.begin(), spreads.end(), [&](const std::vector<int>& spread) {
    const float distance = route_distance(route_length, matrix, rebuilt_route(report.trips, spread, route_length));
    return printed("%f", static_cast<double>(distance)) == report.distance_text;
  });
  checked.route = rebuilt_route(report.trips, matching == spreads.end() ? spreads.front() : *matching, route_length);
  checked.distance = route_distance(route_length, matrix, checked.route);

  const int used = trucks_used(route_length, checked.route);
  if (used != report.trucks_used)
    return at_line(kReportTrucksUsedLine, std::string("number of trucks used ") + std::to_string(report.trucks_used) +
                                              ", but the report lists " + std::to_string(used) + " trips");
  const std::string distance_text = printed("%f", static_cast<double>(checked.distance));
  if (distance_text != report.distance_text)
    return at_line(kReportDistanceLine,
                   std::string("total distance ") + report.distance_text + ", but the trips give " + distance_text);

  checked.excess = capacity_excess(route_length, vehicle_capacity, checked.route, demand);
  checked.objective = objective_value(penalty_weight * checked.excess, checked.distance);
  checked.objective_tolerance =
      carried_objective_tolerance(largest_objective(matrix, demand, route_length, penalty_weight),
                                  static_cast<double>(checked.objective));
  // The printed objective is the carried one to six decimals (half of 1e-6).
  const double off = std::fabs(report.objective - static_cast<double>(checked.objective));
  if (!(off <= checked.objective_tolerance + 1e-6)) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "objective %s, but the trips give %f (the searches' carried value may differ by up to %.2g)",
                  report.objective_text.c_str(), static_cast<double>(checked.objective), checked.objective_tolerance);
    return at_line(kReportObjectiveLine, text);
  }
  return std::nullopt;
}
