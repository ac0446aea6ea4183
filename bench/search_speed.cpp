// Moves (annealing) and iterations (tabu search) per second of the cached
// evaluation against the whole-Route one, on one instance, from the same
// start and generator state; each pair of runs must end identically.
//
//   search_speed [INSTANCE_FOLDER] [TABU_ITERATIONS]
//
// The searches' console output goes to a file in a scratch folder, as their
// logs do; the figures are printed on standard error. Times are processor
// seconds; the short runs (the first schedule, the tabu search to its first
// restart) are timed at their fastest of several runs taken in turns.
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "driver/program_output.h"
#include "driver/run.h"
#include "model/clock.h"
#include "model/instance.h"
#include "model/random.h"
#include "model/route.h"
#include "search/annealing.h"
#include "search/tabu_search.h"

namespace {

struct Start {
  Instance instance;
  Settings settings;
  SearchState state;
  RandomEngine engine;
};

// The program's own set-up: settings, instance, seed and initial Route.
Start set_up(const std::filesystem::path& folder) {
  Start start;
  start.settings = program_settings(kProgramCustomers);
  if (const auto failure = load_dat_instance(folder, kProgramCustomers, kProgramCapacity,
                                             start.settings.penalty_weight, start.instance)) {
    std::fputs(failure->c_str(), stderr);
    std::exit(1);
  }
  if (!start_search(start.instance, start.settings, derived_values(start.settings, start.instance), start.state))
    std::exit(1);
  start.engine = random_engine();
  return start;
}

// The program's output, which also keeps every swap the tabu search makes.
class TracingOutput : public ProgramOutput {
 public:
  explicit TracingOutput(std::vector<SwapChoice>& trace) : trace_(trace) {}
  void tabu_move_chosen(int iter, float delta, int no1, int no2) override {
    trace_.push_back({no1, no2, delta});
    ProgramOutput::tabu_move_chosen(iter, delta, no1, no2);
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
  return anneal_from({s.current, s.best, s.fo, s.fomin, 0.0, {}}, start, 10000.0f, evaluation);
}

// The moves of one schedule from `initial` (levels above 0.1, 10000 moves each).
long schedule_moves(float initial) {
  long moves = 0;
  for (float temperature = initial; static_cast<double>(temperature) > 0.1; temperature *= 0.97f) moves += 10000;
  return moves;
}

// Thirty of the cooler schedules that fill most of a 30-second run (the k-th
// schedule starts at 10000 / k), from the state the first schedule left.
Outcome anneal_late(const Outcome& first, const RandomEngine& engine, const Start& start, Evaluation evaluation,
                    long& moves) {
  Outcome outcome = first;
  outcome.seconds = 0.0;
  random_engine() = engine;
  moves = 0;
  for (int k = 200; k < 230; ++k) {
    const float initial = 10000.0f / static_cast<float>(k);
    moves += schedule_moves(initial);
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

Outcome tabu(const Start& start, Evaluation evaluation, int iterations) {
  Outcome outcome{{}, {}, 0.0f, 0.0f, 0.0, {}};
  outcome.trace.reserve(static_cast<std::size_t>(iterations) + 100'000);
  random_engine() = start.engine;
  iterations_made = &outcome.trace;
  Settings settings = start.settings;
  settings.time_limit = static_cast<float>(iterations) * 0.001f;
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

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = std::filesystem::absolute(argc > 1 ? argv[1] : "examples/cmt1");
  const int tabu_iterations = argc > 2 ? std::atoi(argv[2]) : 20000;
  const Start start = set_up(folder);

  // The searches write their logs and console lines into a scratch folder.
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "cvrp-search-speed";
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);
  std::fflush(stdout);
  if (std::freopen("console.txt", "w", stdout) == nullptr) return 1;
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);

  bool identical = true;
  const int moves = 3'780'000;
  const auto [whole, cached] = fastest_of(
      7, [&] { return anneal(start, Evaluation::whole_route); }, [&] { return anneal(start, Evaluation::incremental); });
  const RandomEngine after_first = random_engine();
  identical = identical && whole == cached;
  std::fprintf(stderr, "annealing, first schedule (%d moves), end state %s\n", moves,
               whole == cached ? "identical" : "DIFFERENT");
  std::fprintf(stderr, "  whole Route: %8.3f s %12.0f moves/s\n", whole.seconds, moves / whole.seconds);
  std::fprintf(stderr, "  cached:      %8.3f s %12.0f moves/s\n", cached.seconds, moves / cached.seconds);
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
