// Reading back "solucao.dat", the file copy of the final report, and checking
// it against the instance it claims to solve. The companion tools use these;
// the program itself never reads its report.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/instance.h"
#include "model/route.h"

// One trip of the listing: the line it starts on, its customers in visiting
// order and the load printed for it ("Carga[k]") on the next line.
struct ReportTrip {
  int line = 0;
  std::vector<int> customers;
  int load = 0;
};

// The values of a report as printed. The two reals keep their text too
// ("%f", six decimals), as the check compares the distance by its text.
struct ReportValues {
  double objective = 0.0;
  std::string objective_text;
  int min_trucks = 0;
  int trucks_used = 0;
  double distance = 0.0;
  std::string distance_text;
  std::vector<ReportTrip> trips;
};

// The lines of the summary, fixed by the layout.
inline constexpr int kReportObjectiveLine = 2;
inline constexpr int kReportMinTrucksLine = 3;
inline constexpr int kReportTrucksUsedLine = 4;
inline constexpr int kReportDistanceLine = 6;

// Reads the bytes final_report writes (Windows-1252, its exact layout; each
// line may end in "\r\n" as well). On a departure from the layout, a number
// not printed as the report prints it, or a text cut short, returns
// "NAME:LINE: what was expected and what was found"; otherwise nothing.
std::optional<std::string> parse_report(std::string_view text, const std::string& name,
                                        ReportValues& report);

// parse_report on the file at `path` (named by the path in messages); a file
// that cannot be read gives "PATH: cannot read: reason".
std::optional<std::string> read_report(const std::string& path, ReportValues& report);

// What the check establishes: the program's Route rebuilt from the trips
// (route_length entries: customer_count + max(min_trucks, 1) + 1) and its
// terms as model/ evaluates them.
struct CheckedReport {
  Route route;
  float distance = 0.0f;
  int excess = 0;
  float objective = 0.0f;          // objective_value of the Route
  double objective_tolerance = 0;  // how far the printed objective may lie from it
};

// Checks a report against its instance: every customer 1..n exactly once,
// each load the sum of its trip's demands, the minimum and used truck counts,
// no more trips than the Route has trucks, the distance printed exactly as
// "%f" of route_distance, and the objective within the drift the searches'
// carried objective allows (see report_reader.cpp). Returns the message of
// the first inconsistency ("NAME:LINE: ..." or "NAME: ..."), or nothing.
std::optional<std::string> check_report(const ReportValues& report, const std::string& name,
                                        const DistanceMatrix& matrix, std::span<const int> demand,
                                        int vehicle_capacity, int penalty_weight,
                                        CheckedReport& checked);
