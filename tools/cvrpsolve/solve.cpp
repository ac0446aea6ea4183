#include "tools/cvrpsolve/solve.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <vector>

#include "model/cvrplib.h"
#include "model/route.h"
#include "report/cvrplib_solution.h"
#include "report/progress_log.h"
#include "search/annealing.h"
#include "search/hybrid.h"
#include "search/search_state.h"
#include "search/tabu_search.h"
#include "tools/common/command_line.h"
#include "tools/common/output_files.h"

namespace solve {

namespace fs = std::filesystem;
using companion::fixed;
using companion::Refused;
using companion::refuse_on;

const char* method_name(Method method) {
  return method == Method::tabu ? "tabu" : method == Method::hybrid ? "hybrid" : "annealing";
}

namespace {

volatile std::sig_atomic_t stop_signal = 0;

void on_stop(int signal) { stop_signal = signal; }

// Seconds on the steady clock since its origin: the deadline and the status
// line read it, never the run's clock, whose readings the searches' own
// rules make.
double steady_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// What the searches report: their log records (in the program's log
// format), the hybrid's switch, a deadline that ends the search within a
// temperature level or a tabu iteration of the time limit, and, on a
// terminal, one status line on standard error.
class SolveOutput : public SearchOutput {
 public:
  SolveOutput(double started, std::optional<double> limit, std::optional<double> best_known, bool status_line)
      : started_(started), limit_(limit), best_known_(best_known), status_line_(status_line) {}

  bool annealing_started(float fo, long long moves) override {
    annealed_ = true;
    // As the program does, the annealing's first record is at 0 s.
    record(0.0, fo, moves);
    return true;
  }
  bool annealing_new_best(double seconds, float fomin, long long moves) override {
    record(seconds, fomin, moves);
    return true;
  }
  bool tabu_started(double seconds, float fo) override {
    if (annealed_) switch_seconds = seconds;
    record(seconds, fo, 0);
    return true;
  }
  bool tabu_new_best(double seconds, float fomin, long long iter) override {
    record(seconds, fomin, iter);
    return true;
  }
  bool keep_searching(const SearchProgress& progress) override {
    if (stop_signal != 0) return false;
    const double now = steady_seconds();
    if (limit_ && now - started_ >= *limit_) return false;
    if (status_line_ && now - shown_ >= 0.25) show(now, progress.fomin);
    return true;
  }
  // Clears the status line.
  void finish() const {
    if (status_line_ && shown_ > 0.0) std::fputs("\r\033[K", stderr);
  }

  std::string log;
  std::optional<double> switch_seconds;

 private:
  void record(double seconds, float objective, long long counter) {
    log += log_record(static_cast<float>(seconds), objective, counter);
  }
  void show(double now, float fomin) {
    shown_ = now;
    const double used = now - started_;
    std::string text(1, '\r');
    text += fixed("%.1f s", used);
    if (limit_) text += fixed(" of %.1f s", *limit_) + fixed(" (%.1f s left)", std::max(0.0, *limit_ - used));
    text += ", best " + fixed("%.2f", static_cast<double>(fomin));
    if (best_known_) text += ", gap " + gap_text(static_cast<double>(fomin), *best_known_);
    std::fputs((text + "\033[K").c_str(), stderr);
    std::fflush(stderr);
  }

  double started_;
  std::optional<double> limit_;
  std::optional<double> best_known_;
  bool status_line_;
  bool annealed_ = false;
  double shown_ = 0.0;
};

// A run ends at a time limit when one is given or no budget is: the
// program's time limit by default.
bool timed(const Request& request) { return request.time || (!request.moves && !request.iterations); }

// What a search needs of the instance's demands, checked before any figure
// is worked out from them: a capacity, no demand above it, and a total that
// an int holds (the route's loads and the fewest trucks are ints). Returns
// that total.
long long check_demands(const std::string& path, const Instance& instance, const CvrplibFile& file) {
  if (!file.has_capacity) throw Refused{path + ": no CAPACITY"};
  long long total = 0;
  for (int customer = 1; customer <= instance.customer_count; ++customer) {
    const int demand = instance.demand[static_cast<std::size_t>(customer)];
    if (demand > instance.vehicle_capacity)
      throw Refused{path + ": node " + std::to_string(file.node_ids[static_cast<std::size_t>(customer)]) +
                    " has demand " + std::to_string(demand) + ", above the capacity " +
                    std::to_string(instance.vehicle_capacity) + ": no solution can carry it"};
    total += demand;
  }
  if (total > std::numeric_limits<int>::max())
    throw Refused{path + ": total demand " + std::to_string(total) + " is beyond " +
                  std::to_string(std::numeric_limits<int>::max()) + ", the largest load the searches can hold"};
  return total;
}

// The program's settings for the instance, with what the request changes.
// More trucks than customers is refused (a truck more could only stay
// empty); the count is formed in long long, so that no value overflows.
Settings settings_of(const Request& request, const Instance& instance) {
  Settings settings = program_settings(instance.customer_count);
  if (request.seed) settings.random_seed = *request.seed;
  if (request.time) settings.time_limit = static_cast<float>(*request.time);
  if (!timed(request)) settings.time_limit = std::numeric_limits<float>::infinity();
  if (request.moves) settings.move_limit = *request.moves;
  if (request.iterations) settings.iteration_limit = *request.iterations;
  if (request.initial_temperature) settings.initial_temperature = *request.initial_temperature;
  if (request.cooling) settings.cooling_factor = *request.cooling;
  if (request.moves_per_temperature) settings.moves_per_temperature = *request.moves_per_temperature;
  if (request.max_stall) settings.max_stall = *request.max_stall;
  if (request.tenure) settings.base_tenure = *request.tenure;
  if (request.flat_moves) settings.flat_move_limit = *request.flat_moves;
  if (request.tenure_step) settings.tenure_step = *request.tenure_step;
  if (request.hybrid_share) settings.hybrid_share = *request.hybrid_share;
  if (request.penalty) settings.penalty_weight = *request.penalty;
  if (request.neighbourhoods) settings.move_kinds = *request.neighbourhoods;
  if (request.granularity) settings.granularity = *request.granularity;
  settings.savings_start = request.savings_start;
  settings.adaptive_penalty = request.adaptive_penalty;
  if (request.overload_target) settings.overload_target = *request.overload_target;
  if (request.ruin_size) settings.ruin_size = *request.ruin_size;
  if (request.ruin_string) settings.ruin_string = *request.ruin_string;
  if (request.blink) settings.blink = *request.blink;
  if (request.auto_temperature) {
    settings.initial_temperature = auto_initial_temperature(instance);
    // As a temperature given as a number is checked (companion::setting_value).
    const auto temperature = static_cast<double>(settings.initial_temperature);
    if (!(temperature > kStopTemperature && temperature <= 1e30))
      throw Refused{request.instance + ": --initial-temperature auto works out " + fixed("%g", temperature) +
                    ", not above the annealing's stopping temperature " + fixed("%g", kStopTemperature) +
                    " and at most 1e30: give it a number"};
  }
  if (request.vehicles) {
    const long long fewest = derived_values(settings, instance).trucks;
    const long long trucks = request.vehicles_above_minimum ? fewest + *request.vehicles : *request.vehicles;
    if (trucks > instance.customer_count) {
      std::string reason = "bad value '";
      reason += request.vehicles_above_minimum ? "+" : "";
      reason += std::to_string(*request.vehicles) + "' for --vehicles: ";
      if (request.vehicles_above_minimum)
        reason += "the fewest trucks " + std::to_string(fewest) + " plus " + std::to_string(*request.vehicles) +
                  " is " + std::to_string(trucks) + ", ";
      throw companion::Usage{reason + "more trucks than the " + std::to_string(instance.customer_count) +
                             " customers"};
    }
    settings.vehicles = static_cast<int>(trucks);
  }
  return settings;
}

// What a search needs beyond its demands, whose total is `total`.
void check_searchable(const std::string& path, const Instance& instance, long long total, const Settings& settings,
                      const DerivedValues& derived) {
  if (total * settings.penalty_weight > std::numeric_limits<int>::max())
    throw Refused{path + ": total demand " + std::to_string(total) + " times the penalty " +
                  std::to_string(settings.penalty_weight) + " is beyond the range of the objective's penalty"};
  if (settings.vehicles > 0 && settings.vehicles < derived.min_trucks)
    throw companion::Usage{"bad value '" + std::to_string(settings.vehicles) + "' for --vehicles: the demands need at least " +
                           std::to_string(derived.min_trucks) + " trucks of capacity " +
                           std::to_string(instance.vehicle_capacity)};
  // A savings start without a fleet sizes its own Route: at most a truck per
  // customer and the spare ones.
  const long long longest = settings.savings_start && settings.vehicles == 0
                                ? 2LL * instance.customer_count + kSavingsSpareTrucks + 1
                                : derived.route_length;
  if (!distances_fit(instance.matrix, static_cast<int>(std::min<long long>(longest, std::numeric_limits<int>::max()))))
    throw Refused{path + ": distances so large that a solution's total could overflow"};
}

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// The outputs, checked before the run: each a regular file or absent, in a
// folder that can be written, and none the instance's own files.
void check_outputs(const Request& request, const fs::path& sol, const std::optional<fs::path>& best_file) {
  std::vector<fs::path> targets{sol};
  if (request.log) targets.emplace_back(*request.log);
  refuse_on(companion::check_targets(targets));
  for (const fs::path& target : targets) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error) || access(folder.c_str(), W_OK | X_OK) != 0)
      throw Refused{"cannot write " + target.string() + ": " + folder.string() + " is not a writable folder"};
    if (same_file(target, request.instance))
      throw Refused{target.string() + " is the instance file itself"};
    if (best_file && same_file(target, *best_file))
      throw Refused{target.string() + " is the best known solution given with --best"};
  }
  if (request.log && (fs::path(*request.log).lexically_normal() == sol.lexically_normal() || same_file(*request.log, sol)))
    throw Refused{"--log and --sol name the same file " + sol.string()};
}

// The summary's gap: none for a run that overloads a truck (its cost holds
// the penalty), and marked when the cost is below the best known.
std::string gap_line(double cost, int overload, const BestKnown& best_known) {
  // Two decimals, as costs are printed, unless that would be 0.00 or
  // hundreds of digits.
  const bool plain = best_known.cost >= 0.01 && best_known.cost < 1e15;
  const std::string best = fixed(plain ? "%.2f" : "%.6g", best_known.cost);
  if (overload > 0) return "none: the best solution overloads its trucks (best known " + best + ")";
  const std::string gap = gap_text(cost, best_known.cost);
  if (below_best_known(cost, best_known))
    return gap + " (below the best known " + best + ": a new best known, or a fault)";
  return gap + " (best known " + best + ")";
}

// The summary's lines of the choices that are not the program's: the moves,
// their granularity, the start, the penalty, the ruin's settings (with
// ruin and recreate) and an "auto" temperature.
std::string choices_text(const Request& request, const Settings& settings) {
  const Settings program = program_settings(0);
  std::string text;
  if (settings.move_kinds != program.move_kinds) text += "neighbourhoods: " + move_kinds_text(settings.move_kinds) + "\n";
  if (settings.granularity != program.granularity) text += "granularity: " + std::to_string(settings.granularity) + "\n";
  if (settings.savings_start) text += "start: savings\n";
  // The numbers as the shortest text that reads back as the value used
  // (given as options they make the same run); the temperature is a float.
  if (settings.adaptive_penalty) text += "penalty: adaptive (overload target " + shortest(settings.overload_target) + ")\n";
  if ((settings.move_kinds & move_bit(MoveKind::ruin)) != 0)
    text += "ruin: size " + std::to_string(settings.ruin_size) + ", string " + std::to_string(settings.ruin_string) +
            ", blink " + shortest(settings.blink) + "\n";
  if (request.auto_temperature) {
    char temperature[32];
    const auto written = std::to_chars(temperature, temperature + sizeof temperature, settings.initial_temperature);
    text += "temperature: auto (" + std::string(temperature, written.ptr) + ")\n";
  }
  return text;
}

std::string limit_text(const Request& request, const Settings& settings) {
  std::string text;
  const auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (timed(request)) add(fixed("%g s", request.time ? *request.time : static_cast<double>(settings.time_limit)));
  if (request.moves) add(std::to_string(*request.moves) + " moves");
  if (request.iterations) add(std::to_string(*request.iterations) + " iterations");
  return text;
}

}  // namespace

int solve(const Request& request) {
  const ClockTicks start_clock = clock_ms();
  const double started = steady_seconds();

  Instance instance;
  CvrplibFile file;
  // The field's moves read distances through the matrix's cells or compute
  // them: a large EUC_2D instance keeps no cells for them. The program's
  // swap reads the cells themselves.
  const bool computed = request.neighbourhoods && *request.neighbourhoods != kProgramMoves;
  refuse_on(read_cvrplib(request.instance, request.round, instance, &file, computed ? kComputedDistances : NodeLimit{}));
  const long long total_demand = check_demands(request.instance, instance, file);
  const Settings settings = settings_of(request, instance);
  const DerivedValues derived = derived_values(settings, instance);
  check_searchable(request.instance, instance, total_demand, settings, derived);

  // The best known cost, a .sol file checked against the instance.
  std::optional<BestKnown> best_known;
  std::optional<fs::path> best_file;
  if (request.best) {
    BestKnown known;
    if (auto failure = read_best_known(*request.best, "--best " + *request.best, known, &instance)) {
      if (known.number_refused)
        throw companion::Usage{"bad value '" + *request.best + "' for --best (a positive number, or a .sol file)"};
      refuse_on(failure);
    }
    best_known = known;
    if (!known.file.empty()) best_file = known.file;
  }

  const fs::path sol = request.sol ? fs::path(*request.sol)
                                   : fs::path(fs::path(request.instance).stem().string() + kFoundSuffix);
  check_outputs(request, sol, best_file);

  SearchState state;
  state.start_clock = start_clock;
  if (!start_search(instance, settings, derived, state))
    throw Refused{request.instance + ": not enough memory for the solution"};

  for (const int signal : {SIGINT, SIGTERM}) std::signal(signal, on_stop);
  const std::optional<double> deadline =
      timed(request) ? std::optional(static_cast<double>(settings.time_limit)) : std::nullopt;
  SolveOutput output(started, deadline, best_known ? std::optional(best_known->cost) : std::nullopt, isatty(STDERR_FILENO) != 0);
  SearchEnd end = SearchEnd::finished;
  switch (request.method) {
    case Method::annealing:
      end = simulated_annealing(instance, settings, state, output);
      break;
    case Method::tabu:
      end = tabu_search(instance, settings, state, output);
      break;
    case Method::hybrid:
      end = hybrid_search(instance, settings, state, output);
      break;
  }
  const double seconds = steady_seconds() - started;
  output.finish();
  if (end != SearchEnd::finished)
    throw Refused{request.instance + ": not enough memory for the search's working storage"};

  // The search's own objective, as its log gives it, and what goes out: the
  // routes' true cost.
  const int length = static_cast<int>(state.best.size());
  const int overload = capacity_excess(length, instance.vehicle_capacity, state.best, instance.demand);
  const float objective =
      objective_value(overload * settings.penalty_weight, route_distance(length, instance.matrix, state.best));
  const std::vector<std::vector<int>> trips = trips_of(state.best);
  const double distance = routes_cost(instance, trips);
  const double cost = distance + static_cast<double>(overload) * settings.penalty_weight;

  // Each output on its own, the solution first: one that cannot be written
  // loses neither the other nor the summary.
  std::vector<std::string> unwritten;
  const auto write = [&](const fs::path& target, const std::string& bytes) -> std::string {
    if (const companion::Failure failure = companion::write_file(target, bytes)) {
      unwritten.push_back(*failure);
      return "not written: " + *failure;
    }
    return target.string();
  };
  std::string solution = "not written: the best solution overloads its trucks by " + std::to_string(overload);
  std::string solution_text;
  if (overload == 0) {
    const CvrplibSolution found{trips, distance};
    refuse_on(check_cvrplib_solution(found, "the best solution", instance));
    solution_text = cvrplib_solution_text(found.routes, found.cost);
    solution = write(sol, solution_text);
  }
  const std::string log = request.log ? write(*request.log, output.log) : std::string();

  std::string summary = "instance: " + request.instance + " (" + std::to_string(instance.customer_count) +
                        " customers, capacity " + std::to_string(instance.vehicle_capacity) + ", " +
                        (file.edge_weight_type == "EXPLICIT" ? "explicit weights"
                         : request.round                    ? "rounded distances"
                                                             : "unrounded distances") +
                        ")\n";
  summary += "search: " + std::string(method_name(request.method)) + "\n";
  summary += "seed: " + std::to_string(settings.random_seed) + "\n";
  summary += "limit: " + limit_text(request, settings) + "\n";
  summary += choices_text(request, settings);
  summary += "objective: " + fixed("%.2f", static_cast<double>(objective)) + "\n";
  summary += "cost: " + fixed("%.2f", cost) + "\n";
  summary += "distance: " + fixed("%.2f", distance) + "\n";
  summary += "overload: " + std::to_string(overload) + "\n";
  // The Route's own trucks (a savings start sizes its Route itself).
  summary += "trucks: " + std::to_string(trucks_used(length, state.best)) + " of " +
             std::to_string(length - instance.customer_count - 1) + "\n";
  if (request.method != Method::tabu) summary += "moves: " + std::to_string(state.moves) + "\n";
  if (request.method != Method::annealing) summary += "iterations: " + std::to_string(state.iterations) + "\n";
  if (output.switch_seconds) summary += "switch: " + fixed("%.2f s", *output.switch_seconds) + "\n";
  summary += "time: " + fixed("%.2f s", seconds) + "\n";
  if (best_known) summary += "gap: " + gap_line(cost, overload, *best_known) + "\n";
  summary += "solution: " + solution + "\n";
  if (request.log) summary += "log: " + log + "\n";
  if (stop_signal != 0) summary += "interrupted: by signal " + std::to_string(stop_signal) + "\n";
  std::fputs(summary.c_str(), stdout);
  std::fflush(stdout);

  for (const std::string& failure : unwritten) std::fprintf(stderr, "cvrpsolve: %s\n", failure.c_str());
  if (!unwritten.empty() && !solution_text.empty() && solution != sol.string())
    std::fprintf(stderr, "cvrpsolve: the solution it could not write:\n%s", solution_text.c_str());
  if (!unwritten.empty()) return kUnwritten;
  if (stop_signal != 0) return 128 + stop_signal;
  return overload == 0 ? 0 : kOverloaded;
}

}  // namespace solve
