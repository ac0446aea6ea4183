// Moves (annealing) and iterations (tabu search) per second of the searches,
// in three forms:
//
//   search_speed [INSTANCE_FOLDER] [TABU_ITERATIONS]
//       the program's instance (50 customers, .dat files): the cached
//       evaluation against the whole-Route one, from the same start and
//       generator state; each pair of runs must end identically.
//   search_speed INSTANCE.vrp [--round] [--tabu N] [--check]
//       a CVRPLIB instance with the program's settings for its size: the
//       cached searches alone (the whole-Route evaluation of a large
//       instance takes hours), N tabu iterations from the start; --check
//       also runs the first schedule and the first tabu iterations over the
//       whole Route and compares them.
//   search_speed --table [--round] PATH...
//       one line per instance (a folder of .dat files or a .vrp file): its
//       size, the annealing's moves/s on schedules 200 to 229 (the cooler
//       ones that fill most of a 30-second run, from where the first left
//       the Route) and the tabu search's iterations/s over its first
//       iterations from the start (40000 at 50 customers, 2,000,000 / n
//       above, at least 2000), both cached.
//   search_speed --kinds [--round] INSTANCE.vrp...
//       the field's moves: per instance the time of a savings start, then
//       per kind of move (and all of them) the annealing's moves/s on one
//       schedule from a tenth of the automatic temperature (10000 moves a
//       level, from the savings start: the cooler levels that fill most of
//       a run) and the tabu search's iterations/s over its first iterations
//       from the savings start (granularity 20); for ruin and recreate, the
//       annealing's steps/s with the default ruin (about 10 customers a
//       step), 1000 steps a level.
//
// The searches' console output goes to a file in a scratch folder, as their
// logs do; the figures are printed on standard error. Times are processor
// seconds; the short runs are timed at their fastest of several runs.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "driver/program_output.h"
#include "model/clock.h"
#include "model/cvrplib.h"
#include "model/instance.h"
#include "model/random.h"
#include "model/route.h"
#include "search/annealing.h"
#include "search/settings.h"
#include "search/tabu_search.h"

namespace {

struct Start {
  Instance instance;
  Settings settings;
  SearchState state;
  RandomEngine engine;
};

[[noreturn]] void fail(const std::string& message) {
  std::fputs(message.c_str(), stderr);
  if (message.empty() || message.back() != '\n') std::fputc('\n', stderr);
  std::exit(2);
}

// The program's own set-up from an instance: settings for its size, seed and
// initial Route.
void start_from(Start& start) {
  start.settings = program_settings(start.instance.customer_count);
  if (!start_search(start.instance, start.settings, derived_values(start.settings, start.instance), start.state))
    fail("no memory for the Routes");
  start.engine = random_engine();
}

// The program's instance: a folder of .dat files.
Start set_up(const std::filesystem::path& folder) {
  Start start;
  if (const auto failure = load_dat_instance(folder, kProgramCustomers, kProgramCapacity,
                                             program_settings(kProgramCustomers).penalty_weight, start.instance))
    fail(*failure);
  start_from(start);
  return start;
}

// A CVRPLIB file.
Start set_up_cvrplib(const std::string& path, bool round) {
  Start start;
  if (const auto failure = read_cvrplib(path, round, start.instance)) fail(*failure);
  start_from(start);
  return start;
}

bool is_cvrplib(const std::string& path) {
  return std::filesystem::path(path).extension() == ".vrp";
}

Start set_up_any(const std::string& path, bool round) {
  return is_cvrplib(path) ? set_up_cvrplib(path, round) : set_up(std::filesystem::absolute(path));
}

// The program's output, which also keeps every swap the tabu search makes.
class TracingOutput : public ProgramOutput {
 public:
  explicit TracingOutput(std::vector<SwapChoice>& trace) : trace_(trace) {}
  void tabu_move_chosen(long long iter, float delta, const MoveValue& move) override {
    trace_.push_back({move.first, move.second, delta});
    ProgramOutput::tabu_move_chosen(iter, delta, move);
  }

 private:
  std::vector<SwapChoice>& trace_;
};

// Processor time of the process: on a shared machine it varies less than
// wall time, which also counts the time the process waits for a processor.
std::clock_t processor_now() { return std::clock(); }
double seconds_between(std::clock_t from) {
  return static_cast<double>(std::clock() - from) / CLOCKS_PER_SEC;
}

struct Outcome {
  Route current;
  Route best;
  float fo;
  float fomin;
  double seconds;
  std::vector<SwapChoice> trace;
  bool operator==(const Outcome& other) const {
    return current == other.current && best == other.best && fo == other.fo && fomin == other.fomin;
  }
};

// One annealing run from `from` with the program's settings but the time
// limit (0: one schedule) and initial temperature given.
Outcome anneal_from(const Outcome& from, const Start& start, float initial, Evaluation evaluation) {
  Settings settings = start.settings;
  settings.time_limit = 0.0f;
  settings.initial_temperature = initial;
  SearchState state{clock_ms(), from.current, from.best, from.fo, from.fomin, 0, 0};
  ProgramOutput output;
  const std::clock_t began = processor_now();
  simulated_annealing(start.instance, settings, state, output, evaluation);
  return {state.current, state.best, state.fo, state.fomin, seconds_between(began), {}};
}

Outcome anneal(const Start& start, Evaluation evaluation) {
  random_engine() = start.engine;
  const SearchState& s = start.state;
  return anneal_from({s.current, s.best, s.fo, s.fomin, 0.0, {}}, start, start.settings.initial_temperature,
                     evaluation);
}

// The moves of one schedule from `initial` (the levels above 0.1, as the
// annealing cools them).
long schedule_moves(const Settings& settings, float initial) {
  long moves = 0;
  for (float temperature = initial; static_cast<double>(temperature) > 0.1; temperature *= settings.cooling_factor)
    moves += settings.moves_per_temperature;
  return moves;
}

// Thirty of the cooler schedules that fill most of a 30-second run (the k-th
// schedule starts at the initial temperature / k), from the state the first
// schedule left.
Outcome anneal_late(const Outcome& first, const RandomEngine& engine, const Start& start, Evaluation evaluation,
                    long& moves) {
  Outcome outcome = first;
  outcome.seconds = 0.0;
  random_engine() = engine;
  moves = 0;
  for (int k = 200; k < 230; ++k) {
    const float initial = start.settings.initial_temperature / static_cast<float>(k);
    moves += schedule_moves(start.settings, initial);
    const double before = outcome.seconds;
    outcome = anneal_from(outcome, start, initial, evaluation);
    outcome.seconds += before;
  }
  return outcome;
}

// A clock that shows the iterations the running tabu search has made, so
// that both evaluations stop at the same restart: the first one after
// `iterations` iterations (0: the first restart).
const std::vector<SwapChoice>* iterations_made = nullptr;
ClockTicks iteration_clock() { return static_cast<ClockTicks>(iterations_made->size()); }

// A tabu search from the start with `settings`, its iterations traced (room
// reserved for `expected` of them) and timed in processor time.
Outcome traced_tabu(const Start& start, Evaluation evaluation, const Settings& settings, std::size_t expected) {
  Outcome outcome{{}, {}, 0.0f, 0.0f, 0.0, {}};
  outcome.trace.reserve(expected);
  random_engine() = start.engine;
  iterations_made = &outcome.trace;
  SearchState state = start.state;
  TracingOutput output(outcome.trace);
  set_clock_source(iteration_clock);
  const std::clock_t from = processor_now();
  tabu_search(start.instance, settings, state, output, evaluation);
  outcome.seconds = seconds_between(from);
  set_clock_source(steady_clock_ms);
  outcome.current = state.current;
  outcome.best = state.best;
  outcome.fo = state.fo;
  outcome.fomin = state.fomin;
  return outcome;
}

// To the first restart after `iterations` iterations.
Outcome tabu(const Start& start, Evaluation evaluation, int iterations) {
  Settings settings = start.settings;
  settings.time_limit = static_cast<float>(iterations) * 0.001f;
  return traced_tabu(start, evaluation, settings, static_cast<std::size_t>(iterations) + 100'000);
}

// Exactly `iterations` tabu iterations from the start (restarts included).
Outcome tabu_iterations(const Start& start, Evaluation evaluation, int iterations) {
  Settings settings = start.settings;
  settings.time_limit = 1e9f;
  settings.iteration_limit = iterations;
  return traced_tabu(start, evaluation, settings, static_cast<std::size_t>(iterations));
}

// The runs with the shortest times of `runs` identical runs of each of two
// searches, taken in turns: the machine's other work only ever adds time,
// and a burst of it then slows both alike.
template <typename First, typename Second>
std::pair<Outcome, Outcome> fastest_of(int runs, First first, Second second) {
  Outcome best_first = first();
  Outcome best_second = second();
  for (int k = 1; k < runs; ++k) {
    Outcome again = first();
    if (again.seconds < best_first.seconds) best_first = std::move(again);
    again = second();
    if (again.seconds < best_second.seconds) best_second = std::move(again);
  }
  return {std::move(best_first), std::move(best_second)};
}

template <typename Run>
Outcome fastest_of(int runs, Run run) {
  Outcome best = run();
  for (int k = 1; k < runs; ++k) {
    Outcome again = run();
    if (again.seconds < best.seconds) best = std::move(again);
  }
  return best;
}

// The searches write their logs and console lines into a scratch folder.
bool into_scratch() {
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "cvrp-search-speed";
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);
  std::fflush(stdout);
  if (std::freopen("console.txt", "w", stdout) == nullptr) return false;
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  return true;
}

// The tabu iterations timed on an instance of `customers` customers when
// none are given: about as many scans of all pairs at every size.
int default_tabu_iterations(int customers) { return customers <= 50 ? 40000 : std::max(2000, 2'000'000 / customers); }

// The cached annealing on the cooler schedules: moves/s, the faster of two runs.
double annealing_speed(const Start& start) {
  const Outcome first = anneal(start, Evaluation::incremental);
  const RandomEngine after_first = random_engine();
  long moves = 0;
  const Outcome late =
      fastest_of(2, [&] { return anneal_late(first, after_first, start, Evaluation::incremental, moves); });
  return static_cast<double>(moves) / late.seconds;
}

// The program's instance: both evaluations, compared.
int compare_on_folder(const std::filesystem::path& folder, int tabu_iterations) {
  const Start start = set_up(folder);
  if (!into_scratch()) return 1;

  bool identical = true;
  const long moves = schedule_moves(start.settings, start.settings.initial_temperature);
  const auto [whole, cached] = fastest_of(
      7, [&] { return anneal(start, Evaluation::whole_route); }, [&] { return anneal(start, Evaluation::incremental); });
  const RandomEngine after_first = random_engine();
  identical = identical && whole == cached;
  std::fprintf(stderr, "annealing, first schedule (%ld moves), end state %s\n", moves,
               whole == cached ? "identical" : "DIFFERENT");
  std::fprintf(stderr, "  whole Route: %8.3f s %12.0f moves/s\n", whole.seconds, static_cast<double>(moves) / whole.seconds);
  std::fprintf(stderr, "  cached:      %8.3f s %12.0f moves/s\n", cached.seconds, static_cast<double>(moves) / cached.seconds);
  std::fprintf(stderr, "  ratio:       %8.2f\n", whole.seconds / cached.seconds);
  {
    long moves = 0;
    const Outcome late_whole = anneal_late(whole, after_first, start, Evaluation::whole_route, moves);
    const Outcome late_cached = anneal_late(cached, after_first, start, Evaluation::incremental, moves);
    identical = identical && late_whole == late_cached;
    std::fprintf(stderr, "annealing, schedules 200 to 229 (%ld moves), end state %s\n", moves,
                 late_whole == late_cached ? "identical" : "DIFFERENT");
    std::fprintf(stderr, "  whole Route:  %8.3f s %12.0f moves/s\n", late_whole.seconds,
                 static_cast<double>(moves) / late_whole.seconds);
    std::fprintf(stderr, "  cached:       %8.3f s %12.0f moves/s\n", late_cached.seconds,
                 static_cast<double>(moves) / late_cached.seconds);
    std::fprintf(stderr, "  ratio:        %8.2f\n", late_whole.seconds / late_cached.seconds);
  }

  const auto compare_tabu = [&](const char* title, int iterations, int runs) {
    const auto [w, c] = fastest_of(
        runs, [&] { return tabu(start, Evaluation::whole_route, iterations); },
        [&] { return tabu(start, Evaluation::incremental, iterations); });
    const bool same = w == c && w.trace == c.trace;
    identical = identical && same;
    const double count = static_cast<double>(w.trace.size());
    std::fprintf(stderr, "tabu search, %s (%zu iterations): %s\n", title, w.trace.size(),
                 same ? "identical scans" : "DIFFERENT");
    std::fprintf(stderr, "  whole Route: %8.3f s %10.0f iterations/s\n", w.seconds, count / w.seconds);
    std::fprintf(stderr, "  cached:      %8.3f s %10.0f iterations/s\n", c.seconds, count / c.seconds);
    std::fprintf(stderr, "  ratio:       %8.2f\n", w.seconds / c.seconds);
  };
  compare_tabu("to the first restart", 0, 3);
  char title[64];
  std::snprintf(title, sizeof title, "to the first restart after %d iterations", tabu_iterations);
  compare_tabu(title, tabu_iterations, 1);
  return identical ? 0 : 1;
}

// A CVRPLIB instance: the cached searches, and with `check` their first
// stretches against the whole-Route evaluation.
int measure_file(const std::string& path, bool round, int tabu_count, bool check) {
  const Start start = set_up_cvrplib(path, round);
  if (!into_scratch()) return 1;
  const int customers = start.instance.customer_count;
  if (tabu_count <= 0) tabu_count = default_tabu_iterations(customers);
  std::fprintf(stderr, "%s%s: %d customers, Route of %zu positions\n", start.instance.name.c_str(),
               round ? " (rounded)" : "", customers, start.state.current.size());

  bool identical = true;
  const long moves = schedule_moves(start.settings, start.settings.initial_temperature);
  const Outcome first = fastest_of(3, [&] { return anneal(start, Evaluation::incremental); });
  const RandomEngine after_first = random_engine();
  std::fprintf(stderr, "annealing, first schedule (%ld moves): %8.3f s %12.0f moves/s\n", moves, first.seconds,
               static_cast<double>(moves) / first.seconds);
  long late_moves = 0;
  const Outcome late = anneal_late(first, after_first, start, Evaluation::incremental, late_moves);
  std::fprintf(stderr, "annealing, schedules 200 to 229 (%ld moves): %8.3f s %12.0f moves/s\n", late_moves,
               late.seconds, static_cast<double>(late_moves) / late.seconds);
  const Outcome scans = fastest_of(2, [&] { return tabu_iterations(start, Evaluation::incremental, tabu_count); });
  std::fprintf(stderr, "tabu search, %d iterations: %8.3f s %10.0f iterations/s\n", tabu_count, scans.seconds,
               tabu_count / scans.seconds);
  if (check) {
    const Outcome whole = anneal(start, Evaluation::whole_route);
    std::fprintf(stderr, "annealing, first schedule over the whole Route: end state %s\n",
                 whole == first ? "identical" : "DIFFERENT");
    const int checked = std::min(tabu_count, 20);
    const Outcome w = tabu_iterations(start, Evaluation::whole_route, checked);
    const Outcome c = tabu_iterations(start, Evaluation::incremental, checked);
    const bool same = w == c && w.trace == c.trace;
    std::fprintf(stderr, "tabu search, %d iterations over the whole Route: %s\n", checked,
                 same ? "identical scans" : "DIFFERENT");
    identical = whole == first && same;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "peak resident memory of this process: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return identical ? 0 : 1;
}

// One line per instance: size, annealing moves/s, tabu iterations/s.
int table(const std::vector<std::string>& paths, bool round) {
  std::vector<Start> starts;
  for (const std::string& path : paths) starts.push_back(set_up_any(path, round));
  if (!into_scratch()) return 1;
  std::fprintf(stderr, "%-20s %9s %6s %18s %18s %11s\n", "instance", "customers", "Route", "annealing moves/s",
               "tabu iterations/s", "iterations");
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const Start& start = starts[k];
    const int customers = start.instance.customer_count;
    const double moves_per_second = annealing_speed(start);
    const int count = default_tabu_iterations(customers);
    const Outcome scans = fastest_of(2, [&] { return tabu_iterations(start, Evaluation::incremental, count); });
    const std::string name = std::filesystem::path(paths[k]).filename().string();
    std::fprintf(stderr, "%-20s %9d %6zu %18.0f %18.0f %11d\n", name.c_str(), customers,
                 start.state.current.size(), moves_per_second, count / scans.seconds, count);
  }
  return 0;
}

// The field's moves by kind: one line per kind and instance.
int kinds_table(const std::vector<std::string>& paths, bool round) {
  struct Kind {
    const char* name;
    MoveKinds kinds;
  };
  const Kind kinds[] = {{"relocate", move_bit(MoveKind::relocate)}, {"swap", move_bit(MoveKind::swap)},
                        {"2opt", move_bit(MoveKind::two_opt)},       {"2opt*", move_bit(MoveKind::two_opt_star)},
                        {"oropt", move_bit(MoveKind::or_opt)},       {"all", kAllFieldMoves},
                        {"ruin", move_bit(MoveKind::ruin)}};
  std::vector<Start> starts;
  for (const std::string& path : paths) starts.push_back(set_up_cvrplib(path, round));
  if (!into_scratch()) return 1;
  std::fprintf(stderr, "%-14s %9s %9s %18s %18s %11s\n", "instance", "kind", "savings", "annealing moves/s",
               "tabu iterations/s", "iterations");
  for (std::size_t k = 0; k < starts.size(); ++k) {
    Start start = starts[k];
    const std::string name = std::filesystem::path(paths[k]).stem().string();
    start.settings.savings_start = true;
    start.settings.initial_temperature = auto_initial_temperature(start.instance) / 10.0f;
    start.settings.time_limit = 0.0f;
    start.settings.max_stall = 1 << 30;
    const int iterations = std::max(200, 200000 / start.instance.customer_count);
    for (const Kind& kind : kinds) {
      start.settings.move_kinds = kind.kinds;
      // Ruin and recreate is the annealing's alone, and its steps are long.
      const bool ruin = kind.kinds == move_bit(MoveKind::ruin);
      start.settings.moves_per_temperature = ruin ? 1000 : 10000;
      double savings_seconds = 1e30;
      const auto from_savings = [&] {
        const std::clock_t began = processor_now();
        if (!start_search(start.instance, start.settings, derived_values(start.settings, start.instance),
                          start.state))
          fail("no memory for the Routes");
        savings_seconds = std::min(savings_seconds, seconds_between(began));
        start.engine = random_engine();
        return Outcome{start.state.current, start.state.best, start.state.fo, start.state.fomin, 0.0, {}};
      };
      from_savings();
      const long moves = schedule_moves(start.settings, start.settings.initial_temperature);
      const Outcome annealed = fastest_of(2, [&] {
        from_savings();
        return anneal(start, Evaluation::incremental);
      });
      if (ruin) {
        std::fprintf(stderr, "%-14s %9s %8.3fs %18.0f %18s %11s\n", name.c_str(), kind.name, savings_seconds,
                     static_cast<double>(moves) / annealed.seconds, "-", "-");
        continue;
      }
      from_savings();
      const Outcome scans = fastest_of(2, [&] { return tabu_iterations(start, Evaluation::incremental, iterations); });
      std::fprintf(stderr, "%-14s %9s %8.3fs %18.0f %18.0f %11d\n", name.c_str(), kind.name, savings_seconds,
                   static_cast<double>(moves) / annealed.seconds, iterations / scans.seconds, iterations);
    }
  }
  return 0;
}

[[noreturn]] void usage() {
  fail(
      "usage: search_speed [INSTANCE_FOLDER] [TABU_ITERATIONS]\n"
      "       search_speed INSTANCE.vrp [--round] [--tabu N] [--check]\n"
      "       search_speed --table [--round] PATH...\n"
      "       search_speed --kinds [--round] INSTANCE.vrp...\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--table" || args[0] == "--kinds")) {
    bool round = false;
    std::vector<std::string> paths;
    for (std::size_t k = 1; k < args.size(); ++k) {
      if (args[k] == "--round")
        round = true;
      else
        paths.push_back(args[k]);
    }
    if (paths.empty()) usage();
    return args[0] == "--kinds" ? kinds_table(paths, round) : table(paths, round);
  }
  if (!args.empty() && is_cvrplib(args[0])) {
    bool round = false;
    bool check = false;
    int tabu_count = 0;
    for (std::size_t k = 1; k < args.size(); ++k) {
      if (args[k] == "--round")
        round = true;
      else if (args[k] == "--check")
        check = true;
      else if (args[k] == "--tabu" && k + 1 < args.size())
        tabu_count = std::atoi(args[++k].c_str());
      else
        usage();
    }
    return measure_file(args[0], round, tabu_count, check);
  }
  if (args.size() > 2) usage();
  const std::filesystem::path folder = std::filesystem::absolute(args.empty() ? "examples/cmt1" : args[0]);
  return compare_on_folder(folder, args.size() > 1 ? std::atoi(args[1].c_str()) : 20000);
}
