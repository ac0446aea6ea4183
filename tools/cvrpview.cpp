// cvrpview: turns the folder of a finished run of cvrp into pictures and a
// CVRPLIB solution file, checking the run's report on the way.
//
//   cvrpview [--best VALUE|FILE.sol] [FOLDER]
//
// It reads the instance (distancia.dat, demanda.dat and, when present,
// coordenadas.dat), the report (solucao.dat) and the progress logs (fo_SA.out,
// fo_BT.out) through the program's own readers, checks the report against the
// instance with the program's own evaluation, and writes solucao.sol, the
// route map rotas.svg/.png and the progress plot progresso.svg/.png. Any
// inconsistency is reported with exit status 1 and nothing is written: the
// five files are made in a private folder and moved into place together.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.h"
#include "model/instance.h"
#include "model/route.h"
#include "report/cvrplib_solution.h"
#include "report/progress_log_reader.h"
#include "report/report_reader.h"
#include "tools/plot/layout.h"
#include "tools/plot/output.h"
#include "tools/plot/progress_plot.h"
#include "tools/plot/route_map.h"

namespace fs = std::filesystem;

namespace {

const char* const kUsage = "usage: cvrpview [--best VALUE|FILE.sol] [FOLDER]\n";
const char* const kHelp =
    "Checks the report of a finished cvrp run in FOLDER (default: the working\n"
    "directory) against its instance, and writes beside it:\n"
    "  solucao.sol                   the routes as a CVRPLIB solution file\n"
    "  rotas.svg, rotas.png          the map of the routes\n"
    "  progresso.svg, progresso.png  the objective over time\n"
    "It reads distancia.dat, demanda.dat, coordenadas.dat (when present; otherwise\n"
    "the map is laid out from the distances), solucao.dat, fo_SA.out and fo_BT.out.\n"
    "An inconsistent or missing input is reported and nothing is written.\n"
    "\n"
    "Options:\n"
    "  --best VALUE      the best known total distance (a positive number): a line\n"
    "                    on the progress plot, and the final gap in its title\n"
    "  --best FILE.sol   the same, read from the Cost line of a CVRPLIB solution file\n"
    "  --help            print this help and exit\n";

const std::vector<std::string> kOutputs{"solucao.sol", "rotas.svg", "rotas.png", "progresso.svg", "progresso.png"};

// An input that cannot be used, or an output that cannot be written: the
// message goes to standard error and the exit status is 1.
struct Refused {
  std::string message;
};

void refuse_on(std::optional<std::string> failure) {
  if (!failure) return;
  while (!failure->empty() && failure->back() == '\n') failure->pop_back();
  throw Refused{*failure};
}

std::string fixed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

struct Options {
  fs::path folder;  // empty: the working directory
  std::optional<std::string> best;
};

struct Instance {
  DistanceMatrix matrix;
  DemandVector demand;
  std::optional<std::vector<NodePoint>> points;
};

Instance read_instance(const fs::path& folder, const RunParameters& parameters) {
  const int nodes = parameters.customer_count + 1;
  Instance instance;
  instance.matrix = alloc_matrix(nodes, nodes);
  zero_matrix(instance.matrix);
  refuse_on(load_distances((folder / "distancia.dat").c_str(), instance.matrix));
  instance.demand = alloc_vector(nodes);
  zero_vector(instance.demand);
  refuse_on(load_demands((folder / "demanda.dat").c_str(), instance.demand, parameters.penalty_weight));
  const fs::path coordinates = folder / "coordenadas.dat";
  std::error_code ignored;
  if (fs::exists(coordinates, ignored)) {
    instance.points.emplace(static_cast<std::size_t>(nodes));
    refuse_on(load_coordinates(coordinates.c_str(), *instance.points));
  }
  return instance;
}

// The run's searches as its logs tell them.
struct RunLogs {
  std::vector<ProgressRecord> annealing;  // empty: not part of this run
  std::vector<ProgressRecord> tabu;
};

std::optional<std::vector<ProgressRecord>> read_log(const fs::path& path) {
  std::error_code ignored;
  if (!fs::exists(path, ignored)) return std::nullopt;
  std::vector<ProgressRecord> records;
  refuse_on(read_progress_log(path.string(), records));
  if (records.empty()) throw Refused{path.string() + ": holds no record (a search writes one when it starts)"};
  return records;
}

// Which logs belong to the report's run. Each search logs its objective when
// it starts and at every new best, so the run's last log ends at the report's
// objective (to the log's two decimals). A log of an earlier run can be left
// beside them (choice 1 leaves fo_BT.out alone, choice 2 fo_SA.out); the
// hybrid's tabu log starts where its annealing log ends.
RunLogs match_logs(const fs::path& folder, const ReportValues& report) {
  const fs::path sa_path = folder / "fo_SA.out";
  const fs::path bt_path = folder / "fo_BT.out";
  const auto sa = read_log(sa_path);
  const auto bt = read_log(bt_path);
  if (!sa && !bt)
    throw Refused{(folder.empty() ? std::string("the working directory") : folder.string()) +
                  ": no progress log (fo_SA.out or fo_BT.out)"};
  const auto ends_at_report = [&](const std::vector<ProgressRecord>& log) {
    return std::fabs(log.back().objective - report.objective) <= 0.005 + 1e-6;
  };
  RunLogs logs;
  if (bt && ends_at_report(*bt)) {
    logs.tabu = *bt;
    if (sa && sa->back().objective == bt->front().objective && sa->back().seconds <= bt->front().seconds)
      logs.annealing = *sa;
  } else if (sa && ends_at_report(*sa)) {
    logs.annealing = *sa;
  } else {
    const std::vector<ProgressRecord>& last = bt ? *bt : *sa;
    throw Refused{(bt ? bt_path : sa_path).string() + ": ends at objective " + fixed("%.2f", last.back().objective) +
                  ", not at the report's " + report.objective_text + ": the logs are not from this report's run"};
  }
  return logs;
}

std::vector<plot::ProgressPoint> points_of(const std::vector<ProgressRecord>& log) {
  std::vector<plot::ProgressPoint> points;
  for (const ProgressRecord& record : log) points.push_back({record.seconds, record.objective});
  return points;
}

plot::ProgressPlot progress_plot(const RunLogs& logs, const ReportValues& report, double time_limit,
                                 const std::optional<double>& best, const std::string& best_label) {
  plot::ProgressPlot plot;
  std::string title;
  if (!logs.annealing.empty() && !logs.tabu.empty()) {
    const double switch_time = logs.tabu.front().seconds;
    title = "Hybrid run: annealing, then tabu search from " + fixed("%.2f", switch_time) + " s";
    plot.curves.push_back({"simulated annealing (fo_SA.out)", points_of(logs.annealing), switch_time});
    plot.curves.push_back({"tabu search (fo_BT.out)", points_of(logs.tabu), time_limit});
    plot.markers.push_back({switch_time, "tabu search starts"});
  } else if (!logs.tabu.empty()) {
    title = "Tabu search run";
    plot.curves.push_back({"tabu search (fo_BT.out)", points_of(logs.tabu), time_limit});
  } else {
    title = "Simulated annealing run";
    plot.curves.push_back({"simulated annealing (fo_SA.out)", points_of(logs.annealing), time_limit});
  }
  title += ": final objective " + fixed("%.2f", report.objective);
  if (best) {
    plot.best_known = *best;
    plot.best_known_label = best_label;
    title += ", gap " + fixed("%.2f", 100.0 * (report.objective - *best) / *best) + "% to best known " +
             fixed("%.2f", *best);
  }
  plot.title = title;
  return plot;
}

plot::RouteMap route_map(const Instance& instance, const ReportValues& report, const CheckedReport& checked,
                         int vehicle_capacity) {
  plot::RouteMap map;
  if (instance.points) {
    map.points = *instance.points;
  } else {
    map.points = distance_layout(instance.matrix);
    map.caption =
        "No coordenadas.dat: the points are laid out from the distance matrix (classical multidimensional "
        "scaling); only their distances are meaningful.";
  }
  for (std::size_t k = 0; k < report.trips.size(); ++k) {
    const ReportTrip& trip = report.trips[k];
    map.trips.push_back(trip.customers);
    std::string label = "Truck " + std::to_string(k + 1) + ": " + std::to_string(trip.customers.size()) +
                        " customers, load " + std::to_string(trip.load);
    if (trip.load > vehicle_capacity) label += " (over by " + std::to_string(trip.load - vehicle_capacity) + ")";
    map.trip_labels.push_back(label);
  }
  map.title = "Routes: objective " + fixed("%.2f", report.objective) + ", distance " +
              fixed("%.2f", static_cast<double>(checked.distance)) + ", " + std::to_string(report.trucks_used) +
              " trucks used, overload " + std::to_string(checked.excess);
  return map;
}

void view(const Options& options) {
  const RunParameters parameters;
  const fs::path& folder = options.folder;
  std::error_code error;
  if (!folder.empty() && !fs::is_directory(folder, error)) throw Refused{folder.string() + ": not a folder"};

  // The best known value first: a wrong option is refused before any reading.
  std::optional<double> best;
  std::string best_label;
  if (options.best) {
    char* end = nullptr;
    const double value = std::strtod(options.best->c_str(), &end);
    if (!options.best->empty() && end == options.best->c_str() + options.best->size()) {
      if (!(std::isfinite(value) && value > 0.0))
        throw Refused{"--best " + *options.best + ": not a positive number"};
      best = value;
      best_label = "best known " + fixed("%.2f", value);
    } else {
      CvrplibSolution solution;
      refuse_on(read_cvrplib_solution(*options.best, solution));
      if (!(solution.cost > 0.0)) throw Refused{*options.best + ": the Cost is not positive"};
      best = solution.cost;
      best_label = "best known " + fixed("%.2f", solution.cost) + " (" +
                   fs::path(*options.best).filename().string() + ")";
    }
  }

  const Instance instance = read_instance(folder, parameters);
  ReportValues report;
  const std::string report_path = (folder / "solucao.dat").string();
  refuse_on(read_report(report_path, report));
  CheckedReport checked;
  refuse_on(check_report(report, report_path, instance.matrix, instance.demand, parameters.vehicle_capacity,
                         parameters.penalty_weight, checked));
  const RunLogs logs = match_logs(folder, report);

  std::vector<std::vector<int>> routes;
  for (const ReportTrip& trip : report.trips) routes.push_back(trip.customers);

  plot::OutputStage stage(folder.empty() ? fs::path(".") : folder);
  refuse_on(stage.open("cvrpview"));
  refuse_on(plot::write_text(stage.staged("solucao.sol"),
                             cvrplib_solution_text(routes, static_cast<double>(checked.distance))));
  refuse_on(plot::draw_route_map(route_map(instance, report, checked, parameters.vehicle_capacity), stage.work(),
                                 stage.staged("rotas.svg"), stage.staged("rotas.png")));
  const double time_limit = static_cast<double>(parameters.time_limit);
  refuse_on(plot::draw_progress(progress_plot(logs, report, time_limit, best, best_label), stage.work(),
                                stage.staged("progresso.svg"), stage.staged("progresso.png")));
  refuse_on(stage.commit(kOutputs));

  if (checked.excess > 0)
    std::fprintf(stderr,
                 "cvrpview: warning: the solution overloads its trucks by %d units in all; solucao.sol is "
                 "written all the same\n",
                 checked.excess);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool have_folder = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s\n%s", kUsage, kHelp);
      return 0;
    }
    if (arg == "--best" && i + 1 < argc) {
      options.best = argv[++i];
    } else if (arg.starts_with("--best=")) {
      options.best = std::string(arg.substr(7));
    } else if (arg.size() > 1 && arg.front() == '-') {
      std::fprintf(stderr, "cvrpview: %s %s\n%s", arg == "--best" ? "missing value for" : "unknown option", argv[i],
                   kUsage);
      return 2;
    } else if (!have_folder) {
      options.folder = arg;
      have_folder = true;
    } else {
      std::fprintf(stderr, "cvrpview: more than one folder given\n%s", kUsage);
      return 2;
    }
  }
  try {
    view(options);
  } catch (const Refused& refused) {
    std::fprintf(stderr, "cvrpview: %s\n", refused.message.c_str());
    return 1;
  } catch (const std::exception& failure) {  // out of memory, file system errors
    std::fprintf(stderr, "cvrpview: %s\n", failure.what());
    return 1;
  }
  return 0;
}
