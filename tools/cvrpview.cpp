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
// five files replace those of an earlier view together, or not at all.
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
#include "report/report_reader.h"
#include "report/run_folder.h"
#include "tools/common/command_line.h"
#include "tools/common/output_files.h"
#include "tools/plot/layout.h"
#include "tools/plot/output.h"
#include "tools/plot/progress_plot.h"
#include "tools/plot/route_map.h"
#include "tools/plot/run_progress.h"

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
    "  --best FILE.sol   the same, read from the Cost line of a CVRPLIB solution file,\n"
    "                    which must be a solution of the run's instance\n"
    "  --help            print this help and exit\n";

const std::vector<std::string> kOutputs{"solucao.sol", "rotas.svg", "rotas.png", "progresso.svg", "progresso.png"};

using companion::fixed;
using companion::Refused;
using companion::refuse_on;

struct Options {
  fs::path folder;  // empty: the working directory
  std::optional<std::string> best;
};

// The gap is of the routes' true cost, and only of a solution without
// overload: the objective of an overloaded one holds its penalty.
plot::ProgressPlot progress_plot(const RunLogs& logs, const ReportValues& report, double time_limit,
                                 const std::optional<BestKnown>& best, const std::string& best_label, double cost,
                                 bool overloaded) {
  plot::ProgressPlot plot;
  std::string title = plot::add_search_curves(logs, time_limit, plot);
  title += ": final objective " + fixed("%.2f", report.objective);
  if (best) {
    plot.best_known = best->cost;
    plot.best_known_label = best_label;
    if (overloaded)
      title += ", overloaded: no gap to best known " + fixed("%.2f", best->cost);
    else
      title += ", gap " + gap_text(cost, best->cost) + " to best known " + fixed("%.2f", best->cost) +
               (below_best_known(cost, *best) ? " (below it: a new best known, or a fault)" : "");
  }
  plot.title = title;
  return plot;
}

plot::RouteMap route_map(const Instance& instance, const ReportValues& report, const CheckedReport& checked) {
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
    if (trip.load > instance.vehicle_capacity) label += " (over by " + std::to_string(trip.load - instance.vehicle_capacity) + ")";
    map.trip_labels.push_back(label);
  }
  map.title = "Routes: objective " + fixed("%.2f", report.objective) + ", distance " +
              fixed("%.2f", static_cast<double>(checked.distance)) + ", " + std::to_string(report.trucks_used) +
              " trucks used, overload " + std::to_string(checked.excess);
  return map;
}

void view(const Options& options) {
  const Settings settings = program_settings(kProgramCustomers);
  const fs::path& folder = options.folder;
  std::error_code error;
  if (!folder.empty() && !fs::is_directory(folder, error)) throw Refused{folder.string() + ": not a folder"};
  // An output name taken by a folder, a FIFO, a device or a link is refused first.
  const fs::path out = folder.empty() ? fs::path(".") : folder;
  std::vector<fs::path> targets;
  for (const std::string& name : kOutputs) targets.push_back(out / name);
  refuse_on(companion::check_targets(targets));

  // The best known value first: a wrong option is refused before any reading
  // (a solution file is checked against the instance once it is read).
  std::optional<BestKnown> best;
  std::string best_label;
  const auto read_best = [&](const Instance* instance) {
    BestKnown known;
    if (auto failure = read_best_known(*options.best, "--best " + *options.best, known, instance)) {
      if (known.number_refused) throw companion::Usage{*failure};
      refuse_on(failure);
    }
    return known;
  };
  if (options.best) {
    best = read_best(nullptr);
    best_label = "best known " + fixed("%.2f", best->cost);
    if (!best->file.empty()) best_label += " (" + fs::path(best->file).filename().string() + ")";
  }

  RunFolder run;
  refuse_on(read_run_folder(folder, {kProgramCustomers, kProgramCapacity, settings.penalty_weight},
                            run));
  const Instance& instance = run.instance;
  const ReportValues& report = run.report;
  const CheckedReport& checked = run.checked;
  const RunLogs& logs = run.logs;
  if (best && !best->file.empty()) read_best(&instance);

  std::vector<std::vector<int>> routes;
  for (const ReportTrip& trip : report.trips) routes.push_back(trip.customers);

  companion::OutputSet outputs;
  plot::WorkFolder work;
  refuse_on(plot::open_work_folder(work, out, "cvrpview"));
  // The routes' true cost: the double sum of the instance's float distances.
  const double cost = routes_cost(instance, routes);
  refuse_on(outputs.add(out / "solucao.sol", cvrplib_solution_text(routes, cost)));
  refuse_on(plot::draw_route_map(route_map(instance, report, checked),
                                 {work, "rotas", outputs, out / "rotas.svg", out / "rotas.png"}));
  const double time_limit = static_cast<double>(settings.time_limit);
  refuse_on(plot::draw_progress(progress_plot(logs, report, time_limit, best, best_label, cost, checked.excess > 0),
                                {work, "progresso", outputs, out / "progresso.svg", out / "progresso.png"}));
  refuse_on(outputs.commit());

  if (checked.excess > 0)
    std::fprintf(stderr,
                 "cvrpview: warning: the solution overloads its trucks by %d units in all; solucao.sol is "
                 "written all the same\n",
                 checked.excess);
}

}  // namespace

int main(int argc, char** argv) {
  if (companion::asks_help(argc, argv)) {
    std::printf("%s\n%s", kUsage, kHelp);
    return 0;
  }
  return companion::run_companion("cvrpview", kUsage, [&] {
    Options options;
    bool have_folder = false;
    companion::CommandLine args(argc, argv);
    std::string best;
    while (!args.done()) {
      if (args.option("--best", best)) {
        options.best = best;
      } else {
        std::string folder = args.operand();
        if (have_folder) throw companion::Usage{"more than one folder given"};
        options.folder = folder;
        have_folder = true;
      }
    }
    view(options);
    return 0;
  });
}
