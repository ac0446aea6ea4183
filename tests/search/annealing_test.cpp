// Simulated annealing, mostly called with a time limit of 0: exactly one
// whole cooling schedule per call.
#include "search/annealing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/program_output.h"
#include "model/random.h"
#include "model/route.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

constexpr const char* kClosing = "Tempo de execucao do Simulated Annealing = ";

using Problem = SearchProblem;

std::string anneal(Problem& p, float initial_temperature, int moves_per_temperature,
                   ClockTicks start_clock, float time_limit = 0.0f,
                   Evaluation evaluation = Evaluation::incremental, long long moves_made = 0) {
  Settings settings = program_settings(p.customers());
  settings.time_limit = time_limit;
  settings.initial_temperature = initial_temperature;
  settings.moves_per_temperature = moves_per_temperature;
  ProgramOutput output;
  return capture_stdout([&] {
    EXPECT_EQ(p.run(simulated_annealing, settings, output, start_clock, evaluation, moves_made), SearchEnd::finished);
  });
}

// Replays the draws of `moves` moves from `engine` on a Route whose moves
// are all flat (change 0: one uniform draw, accepted) or, when not `flat`,
// whose first move improves (no uniform draw, accepted) and whose later ones
// worsen too much to pass (one uniform draw, undone). Each move draws i, then
// j again while route[i] == route[j]. Returns the Route at the end.
Route replay(RandomEngine& engine, Route route, long moves, bool flat) {
  const RandomEngine saved = random_engine();
  random_engine() = engine;
  const int inner = static_cast<int>(route.size()) - 2;
  for (long move = 0; move < moves; ++move) {
    const int i = random_below(inner) + 1;
    int j = random_below(inner) + 1;
    while (route[static_cast<std::size_t>(i)] == route[static_cast<std::size_t>(j)]) j = random_below(inner) + 1;
    const bool improving = !flat && move == 0;
    if (!improving) random_uniform(0.0, 1.0);
    if (flat || improving) swap_positions(i, j, route);
  }
  engine = random_engine();
  random_engine() = saved;
  return route;
}

// The numbers printed after `prefix` on the console lines that start with it.
std::vector<double> values_after(const std::string& console, const std::string& prefix) {
  std::vector<double> values;
  for (const std::string& line : split_lines(console))
    if (line.rfind(prefix, 0) == 0) values.push_back(std::stod(line.substr(prefix.size())));
  return values;
}

// Depot at both ends, each customer once, `zeros` zeros in between.
void expect_valid_route(const Route& route, int customers, int zeros) {
  Route sorted(route.begin() + 1, route.end() - 1);
  std::sort(sorted.begin(), sorted.end());
  Route expected(static_cast<std::size_t>(zeros), 0);
  for (int c = 1; c <= customers; ++c) expected.push_back(c);
  EXPECT_EQ(sorted, expected);
  EXPECT_TRUE(route.front() == 0 && route.back() == 0);
}

TEST(AnnealingCmt1, OneScheduleLowersTheBestAndLogsEveryNewBest) {
  ScratchDir dir;
  Problem p = cmt1_problem();
  const float entry_fo = p.fo;
  // The search starts 2 s after the run: later times count from the run's start.
  const std::string console = anneal(p, 10000.0f, 10000, clock_ms() - 2000);

  const std::vector<LogLine> log = read_log("fo_SA.out");
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].seconds, 0.0);  // the first line does not read the clock
  EXPECT_NEAR(log[0].objective, entry_fo, 0.005 + 1e-7 * entry_fo);
  EXPECT_EQ(log[0].counter, 0);
  const std::vector<double> fomins = values_after(console, "Fomin = ");
  ASSERT_EQ(fomins.size(), log.size() - 1);
  for (std::size_t k = 1; k < log.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_LT(log[k].objective, log[k - 1].objective);
    EXPECT_GT(log[k].counter, log[k - 1].counter);
    EXPECT_GE(log[k].seconds, std::max(2.0, log[k - 1].seconds));
    EXPECT_NEAR(fomins[k - 1], log[k].objective, 0.0051 + 1e-7 * log[k].objective);
    if (k > 1) {
      EXPECT_LT(fomins[k - 1], fomins[k - 2]);
    }
  }
  // 378 levels of 10000 moves (AnnealingEdges counts them).
  EXPECT_LE(log.back().counter, 3780000);

  EXPECT_LT(p.fomin, entry_fo);
  EXPECT_LE(p.fomin, p.fo);
  EXPECT_NEAR(fomins.back(), p.fomin, 1e-6);
  // fo and fomin are carried by adding changes: they may drift in the last bits.
  EXPECT_NEAR(p.objective(p.best), p.fomin, 1e-2);
  EXPECT_NEAR(p.objective(p.current), p.fo, 1e-2);
  expect_valid_route(p.current, 50, 4);
  expect_valid_route(p.best, 50, 4);

  const std::vector<double> closing = values_after(console, kClosing);
  ASSERT_EQ(closing.size(), 1u);
  EXPECT_GE(closing[0], 2.0);
  EXPECT_EQ(console.substr(console.size() - 2), "\n\n");
}

// One customer and two interior zeros, every distance 0: every move swaps the
// customer with a zero (never the two zeros) and is flat. No move at all
// leaves the generator, the Route and the log (one line) as they were.
TEST(AnnealingEdges, ScheduleLengthIsLevelsTimesMovesPerLevel) {
  ScratchDir dir;
  seed_random(5);
  struct Case {
    float initial_temperature;
    int moves_per_temperature;
    long moves;
    float time_limit = 0.0f;
  };
  // 10000 * 0.97^m stays above 0.1 for m = 0..377: 378 levels. The float
  // nearest 0.1 is just above 0.1 and runs one level; 0.099 runs none, and
  // neither does a level of 0 moves. With a limit of 0.2 s, 0.2 gives 23
  // levels (0.97^22 = 0.51, 0.97^23 = 0.496), the second schedule starts at
  // 0.2 / 2, the float nearest 0.1, for one level, and the later ones at 0.2 / k
  // run none until the limit has passed.
  for (const Evaluation evaluation : {Evaluation::incremental, Evaluation::whole_route})
    for (const Case c : {Case{10000.0f, 1, 378}, Case{10000.0f, 10000, 3780000}, Case{0.1f, 1, 1},
                         Case{0.1f, 3, 3}, Case{0.099f, 5, 0}, Case{10000.0f, 0, 0},
                         Case{0.2f, 1, 24, 0.2f}}) {
      SCOPED_TRACE(c.moves);
      if (evaluation == Evaluation::whole_route && c.moves > 10000) continue;  // time
      Problem p;
      p.matrix = make_matrix(1, {});
      p.demand = {0, 1};
      p.start_from({0, 1, 0, 0, 0});
      write_file("fo_SA.out", "9.00\t  1.00\t      7\n");  // an earlier run's log
      RandomEngine replayed = random_engine();
      const ClockTicks start_clock = clock_ms();
      const std::string console =
          anneal(p, c.initial_temperature, c.moves_per_temperature, start_clock, c.time_limit, evaluation);
      EXPECT_GE(static_cast<double>(clock_ms() - start_clock) * 0.001, c.time_limit);
      EXPECT_EQ(p.current, replay(replayed, {0, 1, 0, 0, 0}, c.moves, true));
      EXPECT_TRUE(random_engine() == replayed);
      EXPECT_EQ(p.fo, 0.0f);
      const std::vector<LogLine> log = read_log("fo_SA.out");  // a change of 0 is never a new best
      ASSERT_EQ(log.size(), 1u);
      EXPECT_EQ(log[0].counter, 0);
      EXPECT_EQ(split_lines(console).size(), 2u);  // closing line and blank line
      EXPECT_EQ(values_after(console, kClosing).size(), 1u);
    }
}

// [0, 2, 1, 0] costs 2^24 (the cell 0->2), [0, 1, 2, 0] costs 1 (0->1):
// the first move improves and draws no uniform number; every later one would
// add 2^24 - 1, exp(-(2^24 - 1) / T) is 0 for every T <= 10000, so it is
// undone whatever the draw.
TEST(AnnealingEdges, ImprovingMovesDrawNothingAndRejectedOnesAreUndone) {
  for (const Evaluation evaluation : {Evaluation::incremental, Evaluation::whole_route}) {
    ScratchDir dir;
    Problem p;
    p.matrix = make_matrix(2, {0, 1, 16777216.0f, 0, 0, 0, 0, 0, 0});
    p.demand = {0, 1, 1};
    p.start_from({0, 2, 1, 0});
    ASSERT_EQ(p.fo, 16777216.0f);
    RandomEngine replayed = random_engine();
    const std::string console = anneal(p, 10000.0f, 1, clock_ms(), 0.0f, evaluation);
    EXPECT_EQ(replay(replayed, {0, 2, 1, 0}, 378, false), (Route{0, 1, 2, 0}));
    EXPECT_TRUE(random_engine() == replayed);
    EXPECT_EQ(p.current, (Route{0, 1, 2, 0}));
    EXPECT_EQ(p.best, (Route{0, 1, 2, 0}));
    EXPECT_EQ(p.fo, 1.0f);
    EXPECT_EQ(p.fomin, 1.0f);
    EXPECT_EQ(values_after(console, "Fomin = "), std::vector<double>{1.0});
    const std::vector<LogLine> log = read_log("fo_SA.out");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].counter, 1);
    EXPECT_EQ(log[1].objective, 1.0);
  }
}

// The second run counts its moves from 2^31 - 1, as a 30-second run passes
// the range of an int: the same moves, every count 2^31 - 1 higher.
TEST(AnnealingEdges, SameGeneratorStateGivesSameEndState) {
  constexpr long long kIntMax = 2147483647;
  for (const Evaluation evaluation : {Evaluation::incremental, Evaluation::whole_route}) {
    ScratchDir dir;
    Problem first = random_problem(12, 77, 70);
    Problem second = first;
    const RandomEngine start = random_engine();
    const std::string console_first = anneal(first, 10000.0f, 200, clock_ms(), 0.0f, evaluation);
    const std::vector<LogLine> log_first = read_log("fo_SA.out");
    const RandomEngine end = random_engine();

    random_engine() = start;
    const std::string console_second = anneal(second, 10000.0f, 200, clock_ms(), 0.0f, evaluation, kIntMax);
    const std::vector<LogLine> log_second = read_log("fo_SA.out");
    EXPECT_TRUE(random_engine() == end);
    EXPECT_EQ(first.current, second.current);
    EXPECT_EQ(first.best, second.best);
    EXPECT_EQ(first.fo, second.fo);
    EXPECT_EQ(first.fomin, second.fomin);
    EXPECT_EQ(values_after(console_first, "Fomin = "), values_after(console_second, "Fomin = "));
    ASSERT_EQ(log_first.size(), log_second.size());
    ASSERT_GE(log_first.size(), 2u);
    for (std::size_t k = 0; k < log_first.size(); ++k) {
      EXPECT_EQ(log_first[k].objective, log_second[k].objective);
      EXPECT_EQ(log_second[k].counter, log_first[k].counter + kIntMax);
    }
    EXPECT_LE(log_first.back().counter, 378 * 200);
    EXPECT_NEAR(first.objective(first.best), first.fomin, 1e-2);
  }
}

}  // namespace
