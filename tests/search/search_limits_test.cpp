// The searches at the ends of their settings' ranges: a caller's stop
// request heard within a long temperature level or a long tabu scan, and
// settings at their bounds that would overflow an int.
#include <gtest/gtest.h>

#include <climits>

#include "model/random.h"
#include "search/annealing.h"
#include "search/tabu_search.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

// Says to stop at its `stop_at`-th keep_searching, and counts them.
class StopAfter : public SearchOutput {
 public:
  explicit StopAfter(int stop_at) : stop_at_(stop_at) {}
  bool keep_searching(const SearchProgress& progress) override {
    counts.push_back(progress.count);
    return static_cast<int>(counts.size()) < stop_at_;
  }
  std::vector<long long> counts;

 private:
  int stop_at_;
};

// A level of 2^31 - 1 moves (two hours at the program's speed) asks at
// every 4096 moves: told to stop at the third poll, it ends after 12288
// moves, whichever evaluation makes them. From 0.2, the first schedule's 23
// levels and the second's one (0.1 as a float) make a move each; the later
// schedules start below 0.1 and make none, but still ask: a stop at the 30th
// question ends the wait for the time limit.
TEST(SearchLimits, AnnealingHearsAStopWithinALevel) {
  const struct {
    Evaluation evaluation;
    float temperature;
    int level, stop_at;
    long long moves;
  } cases[] = {{Evaluation::incremental, 10000.0f, INT_MAX, 3, 12288},
               {Evaluation::whole_route, 10000.0f, INT_MAX, 3, 12288},
               {Evaluation::incremental, 0.2f, 1, 30, 24}};
  for (const auto& c : cases) {
    SearchProblem p = random_problem(12, 5, 40);
    Settings settings = program_settings(p.customers());
    settings.initial_temperature = c.temperature;
    settings.moves_per_temperature = c.level;
    settings.time_limit = 1e6f;
    StopAfter output(c.stop_at);
    SearchState state{clock_ms(), p.current, p.best, p.fo, p.fomin, 0, 0};
    EXPECT_EQ(simulated_annealing(p.instance(), settings, state, output, c.evaluation), SearchEnd::finished);
    EXPECT_EQ(state.moves, c.moves);
    EXPECT_EQ(output.counts.size(), static_cast<std::size_t>(c.stop_at));
  }
}

// Says to stop at its `stop_at`-th keep_searching, and notes whether the
// tabu search got as far as its start.
class StopAfterAndStart : public StopAfter {
 public:
  using StopAfter::StopAfter;
  bool tabu_started(double /*seconds*/, float /*fo*/) override {
    started = true;
    return true;
  }
  bool started = false;
};

// 1100 customers of demand 1 need 7 trucks of 160 (1100 / 160 = 6.9). The
// matrix of 1101 x 1101 = 1,212,201 cells is surveyed before the first
// iteration in blocks of 2^20 / 1101 = 952 rows: one question between its
// two blocks, so a stop there ends the search before it starts. The scan of
// the Route of 1108 positions asks between blocks of 2^20 / 1108 = 946 rows
// of its 1105: the second question stops the first iteration inside its
// scan. Either way no iteration is made.
TEST(SearchLimits, TabuSearchHearsAStopBeforeAndWithinItsFirstScan) {
  SearchProblem p = random_problem(1100, 3, 1);
  ASSERT_EQ(p.length(), 1108);
  for (const int stop_at : {1, 2}) {
    SCOPED_TRACE(stop_at);
    Settings settings = program_settings(p.customers());
    settings.time_limit = 1e6f;
    StopAfterAndStart output(stop_at);
    SearchState state{clock_ms(), p.current, p.best, p.fo, p.fomin, 0, 0};
    EXPECT_EQ(tabu_search(p.instance(), settings, state, output), SearchEnd::finished);
    EXPECT_EQ(output.started, stop_at == 2);
    EXPECT_EQ(state.iterations, 0);
    EXPECT_EQ(output.counts, std::vector<long long>(static_cast<std::size_t>(stop_at), 0));
    EXPECT_EQ(state.current, p.best);  // the best Route, as a finished search leaves it
    EXPECT_EQ(state.fo, p.fomin);
  }
}

// Every distance 0: every tabu move is flat, so the tenure grows by the
// step at every iteration once flat_move_limit is reached; an int would
// pass 2^31 at the first step from 2^31 - 1, and after 2148 steps of 10^6
// from 0. It stays at 2^31 - 1, and the search makes its iterations.
TEST(SearchLimits, SettingsAtTheirBoundsDoNotOverflow) {
  struct Case {
    int tenure, step, flat_moves, max_stall, iterations;
  };
  for (const Case c : {Case{INT_MAX, 1'000'000, 1, INT_MAX, 50}, Case{0, 1'000'000, 1, 100'000, 3000}}) {
    SCOPED_TRACE(c.tenure);
    SearchProblem p;
    p.matrix = make_matrix(6, {});
    p.demand = {0, 1, 1, 1, 1, 1, 1};
    p.start_from({0, 1, 2, 3, 0, 4, 5, 6, 0});
    Settings settings = program_settings(p.customers());
    settings.base_tenure = c.tenure;
    settings.tenure_step = c.step;
    settings.flat_move_limit = c.flat_moves;
    settings.max_stall = c.max_stall;
    settings.iteration_limit = c.iterations;
    settings.time_limit = 1e6f;
    SearchOutput silent;
    SearchState state{clock_ms(), p.current, p.best, p.fo, p.fomin, 0, 0};
    EXPECT_EQ(tabu_search(p.instance(), settings, state, silent), SearchEnd::finished);
    EXPECT_EQ(state.iterations, c.iterations);
  }
}

}  // namespace
