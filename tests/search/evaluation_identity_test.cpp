// The cached evaluation must make exactly the search the whole-Route
// evaluation makes: the same moves, changes, logs and console lines, bit for
// bit, from the same Route and generator state.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "model/clock.h"
#include "model/random.h"
#include "model/route.h"
#include "search/annealing.h"
#include "search/tabu_search.h"
#include "support/test_support.h"

namespace {

using testing_support::capture_stdout;
using testing_support::read_file;
using testing_support::ScratchDir;

// Distances rounded to whole numbers (many equal changes), a matrix of
// zeros (every change is 0), demands that overload every Route, distances so
// large that the cache gives no bounds (every move evaluated exactly), and
// the bundled instance; trucks of 160.
std::vector<Instance> instances() {
  std::vector<Instance> all;
  const auto add = [&all](std::string name, int n, unsigned seed, int max_demand, bool asymmetric,
                          bool rounded, bool zero, float scale = 1.0f) {
    auto random = testing_support::random_instance(n, seed, max_demand, asymmetric);
    for (float& cell : random.matrix.cells) cell = scale * (zero ? 0.0f : rounded ? std::round(cell) : cell);
    all.push_back({std::move(name), n, 160, std::move(random.matrix), std::move(random.demand), std::nullopt});
  };
  add("symmetric", 20, 11, 40, false, false, false);
  add("asymmetric", 16, 12, 60, true, false, false);
  add("rounded", 18, 13, 30, false, true, false);
  add("zero", 9, 14, 50, false, false, true);
  add("overloaded", 12, 15, 150, false, false, false);
  add("huge", 8, 16, 60, false, false, false, 1e34f);
  all.push_back(testing_support::cmt1_instance());
  return all;
}

// The program's start: a random initial Route and its objective.
struct Start {
  SearchState state;
  RandomEngine engine;
};

Start initial(const Instance& instance, unsigned seed) {
  Settings settings = program_settings(instance.customer_count);
  settings.random_seed = static_cast<int>(seed);
  Start start;
  EXPECT_TRUE(start_search(instance, settings, derived_values(settings, instance), start.state));
  start.engine = random_engine();
  return start;
}

// What a search leaves behind.
struct Result {
  Route current;
  Route best;
  std::uint32_t fo_bits = 0;
  std::uint32_t fomin_bits = 0;
  std::string console;
  std::string log;
  std::vector<SwapChoice> trace;
  RandomEngine engine;  // the generator after the search
};

void expect_same(const Result& whole, const Result& cached) {
  EXPECT_EQ(whole.fo_bits, cached.fo_bits);
  EXPECT_EQ(whole.fomin_bits, cached.fomin_bits);
  EXPECT_EQ(whole.current, cached.current);
  EXPECT_EQ(whole.best, cached.best);
  EXPECT_EQ(whole.console, cached.console);
  EXPECT_EQ(whole.log, cached.log);
  EXPECT_TRUE(whole.engine == cached.engine) << "both evaluations consume the same draws";
}

// A clock that moves one millisecond at each reading, so that the times
// printed and logged are the same in both runs.
ClockTicks readings = 0;
ClockTicks counting_clock() { return ++readings; }

// A clock that shows the number of tabu iterations made: a time limit of s
// seconds then stops the search at its first restart after 1000 s iterations.
const std::vector<SwapChoice>* iterations_made = nullptr;
ClockTicks iteration_clock() { return static_cast<ClockTicks>(iterations_made->size()); }

class EvaluationIdentity : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { all_ = new std::vector<Instance>(instances()); }
  static void TearDownTestSuite() {
    delete all_;
    all_ = nullptr;
  }
  void TearDown() override { set_clock_source(steady_clock_ms); }
  static std::vector<Instance>* all_;
};
std::vector<Instance>* EvaluationIdentity::all_ = nullptr;

// Runs `search` from the start in a scratch folder with `clock` in place,
// through the program's output, and keeps what it leaves behind, with the log.
Result run(const Instance& instance, const Start& start, ClockSource clock, const char* log,
           testing_support::SearchProblem::SearchFunction search, const Settings& settings, Evaluation evaluation) {
  ScratchDir scratch;
  SearchState state = start.state;
  random_engine() = start.engine;
  testing_support::TracingOutput output;
  iterations_made = &output.trace;
  set_clock_source(clock);
  const std::string console = capture_stdout([&] { search(instance, settings, state, output, evaluation); });
  set_clock_source(steady_clock_ms);
  return {state.current,   state.best,     std::bit_cast<std::uint32_t>(state.fo),
          std::bit_cast<std::uint32_t>(state.fomin), console, read_file(log), output.trace, random_engine()};
}

Result anneal(const Instance& instance, const Start& start, int moves_per_temperature, Evaluation evaluation) {
  readings = 0;
  Settings settings = program_settings(instance.customer_count);
  settings.time_limit = 0.0f;
  settings.moves_per_temperature = moves_per_temperature;
  return run(instance, start, counting_clock, "fo_SA.out", simulated_annealing, settings, evaluation);
}

TEST_F(EvaluationIdentity, AnnealingMakesTheSameMovesOverAWholeSchedule) {
  for (const Instance& instance : *all_) {
    SCOPED_TRACE(instance.name);
    // The bundled instance with the program's settings (3,780,000 moves);
    // the small ones with fewer moves per temperature.
    const int moves = instance.name == "cmt1" ? 10000 : 1500;
    for (const unsigned seed : {19000u, 7u}) {
      const Start start = initial(instance, seed);
      const Result whole = anneal(instance, start, moves, Evaluation::whole_route);
      const Result cached = anneal(instance, start, moves, Evaluation::incremental);
      expect_same(whole, cached);
    }
  }
}

Settings tabu_settings(const Instance& instance, float seconds) {
  Settings settings = program_settings(instance.customer_count);
  settings.time_limit = seconds;
  settings.base_tenure = 40;
  return settings;
}

Result tabu(const Instance& instance, const Start& start, const Settings& settings, Evaluation evaluation) {
  return run(instance, start, iteration_clock, "fo_BT.out", tabu_search, settings, evaluation);
}

Result tabu(const Instance& instance, const Start& start, float seconds, Evaluation evaluation) {
  return tabu(instance, start, tabu_settings(instance, seconds), evaluation);
}

// The state a search left, for the next one to start from: its best Route.
Start from_best(const Start& before, const Result& result) {
  Start start{before.state, result.engine};
  start.state.current = result.best;
  start.state.best = result.best;
  start.state.fo = start.state.fomin = std::bit_cast<float>(result.fomin_bits);
  return start;
}

void expect_same_trace(const Result& whole, const Result& cached) {
  ASSERT_EQ(whole.trace.size(), cached.trace.size());
  for (std::size_t k = 0; k < whole.trace.size(); ++k) {
    const SwapChoice& w = whole.trace[k];
    const SwapChoice& c = cached.trace[k];
    ASSERT_TRUE(w.no1 == c.no1 && w.no2 == c.no2 &&
                std::bit_cast<std::uint32_t>(w.delta) == std::bit_cast<std::uint32_t>(c.delta))
        << "iteration " << k + 1 << ": whole Route (" << w.no1 << ", " << w.no2 << ", " << w.delta
        << "), cached (" << c.no1 << ", " << c.no2 << ", " << c.delta << ")";
  }
}

TEST_F(EvaluationIdentity, TabuScansChooseTheSameSwapAtEveryIteration) {
  for (const Instance& instance : *all_) {
    SCOPED_TRACE(instance.name);
    const Start start = initial(instance, 19000);
    // At least 20,000 iterations, through several restarts. (On the huge
    // instance every change is beyond the largest admissible one, so the
    // search ends at once: its few scans are still compared.)
    const Result whole = tabu(instance, start, 20.0f, Evaluation::whole_route);
    const Result cached = tabu(instance, start, 20.0f, Evaluation::incremental);
    if (instance.name != "huge") {
      ASSERT_GE(whole.trace.size(), 20000u);
    }
    ASSERT_NO_FATAL_FAILURE(expect_same_trace(whole, cached));
    expect_same(whole, cached);
  }
}

// Instances of 200 customers, where the scan's pair table has hundreds of
// rows and the annealing's cells lie far apart: distances rounded (exact
// sums) and not (bounded ones). A short annealing; then, from the end of a
// stretch of tabu search, 16 tabu iterations that restart after four without
// a new best, so that the table follows swaps and describes new Routes at
// once.
TEST_F(EvaluationIdentity, LargeInstancesMakeTheSameMovesAndScans) {
  for (const bool rounded : {true, false}) {
    auto random = testing_support::random_instance(200, 21, 30, false);
    if (rounded)
      for (float& cell : random.matrix.cells) cell = std::round(cell);
    const Instance instance{rounded ? "large rounded" : "large", 200, 160, std::move(random.matrix),
                            std::move(random.demand), std::nullopt};
    SCOPED_TRACE(instance.name);
    const Start start = initial(instance, 19000);
    const Result whole = anneal(instance, start, 100, Evaluation::whole_route);
    const Result cached = anneal(instance, start, 100, Evaluation::incremental);
    expect_same(whole, cached);

    Settings settings = tabu_settings(instance, 1000.0f);
    settings.iteration_limit = 300;
    const Start settled = from_best(start, tabu(instance, from_best(start, cached), settings, Evaluation::incremental));
    settings.iteration_limit = 16;
    settings.max_stall = 4;
    const Result whole_tabu = tabu(instance, settled, settings, Evaluation::whole_route);
    const Result cached_tabu = tabu(instance, settled, settings, Evaluation::incremental);
    ASSERT_NO_FATAL_FAILURE(expect_same_trace(whole_tabu, cached_tabu));
    expect_same(whole_tabu, cached_tabu);
  }
}

}  // namespace
