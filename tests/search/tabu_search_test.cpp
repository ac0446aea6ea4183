// The tabu search, called with a time limit of 0: it runs to its first
// restart and returns.
#include "search/tabu_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "model/random.h"
#include "model/route.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;
using Pairs = std::vector<std::pair<int, int>>;

using Problem = SearchProblem;

// n customers in one trip [0, 1, ..., n, 0], every distance 0, no overload:
// every swap changes the objective by exactly 0 (a flat move), nothing ever
// improves, and each scan takes the first non-tabu pair in scan order.
Problem flat_problem(int n) {
  Problem p;
  p.matrix = make_matrix(n, {});
  p.demand.assign(static_cast<std::size_t>(n + 1), 1);
  p.demand[0] = 0;
  Route route(static_cast<std::size_t>(n + 2), 0);
  for (int c = 1; c <= n; ++c) route[static_cast<std::size_t>(c)] = c;
  p.start_from(route);
  return p;
}

struct TabuRun {
  int max_stall = 2000;  // and the rest of the program's settings
  int base_tenure = 40;
  int flat_move_limit = 5;
  int tenure_step = 10;
  Evaluation evaluation = Evaluation::incremental;
  ClockTicks started_ago = 0;  // ms between the run's start and the search's
};

struct Outcome {
  std::vector<SwapChoice> trace;
  std::vector<std::string> console;
  RandomEngine engine_before;
};

Outcome search(Problem& p, const TabuRun& s) {
  Outcome out{{}, {}, random_engine()};
  const ClockTicks start_clock = clock_ms() - s.started_ago;
  Settings settings = program_settings(p.customers());
  settings.time_limit = 0.0f;
  settings.max_stall = s.max_stall;
  settings.base_tenure = s.base_tenure;
  settings.flat_move_limit = s.flat_move_limit;
  settings.tenure_step = s.tenure_step;
  TracingOutput output;
  out.console = split_lines(capture_stdout([&] {
    EXPECT_EQ(p.run(tabu_search, settings, output, start_clock, s.evaluation), SearchEnd::finished);
  }));
  out.trace = output.trace;
  return out;
}

template <typename... Values>
std::string format(const char* pattern, Values... values) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

Pairs pairs_of(const std::vector<SwapChoice>& trace) {
  Pairs pairs;
  for (const SwapChoice& move : trace) pairs.emplace_back(move.no1, move.no2);
  return pairs;
}

void expect_closing_line(const std::vector<std::string>& console, std::size_t at) {
  ASSERT_EQ(console.size(), at + 1) << "one line after the last iteration";
  double seconds = -1.0;
  EXPECT_EQ(std::sscanf(console[at].c_str(), "Tempo de execucao da busca tabu = %lf segundos", &seconds), 1)
      << console[at];
  EXPECT_GE(seconds, 0.0);
}

// Replays the trace on the entry Route and checks the console, the log and
// the state on return against it: each move swaps two different inner
// entries, fo moves by exactly each printed change and stays the Route's
// objective, a new best is a carried fo strictly below the best so far (and
// prints its line between the move and the fo line), the stall column counts
// from the last new best, and the run ends when it reaches max_stall (or
// earlier, as told).
void check_run(const Problem& entry, const Problem& after, const Outcome& out, const TabuRun& s,
               bool ends_at_restart = true) {
  const std::vector<std::string>& console = out.console;
  const int length = entry.length();
  Route route = entry.current;
  Route best = route;
  float fo = entry.fo;
  float fomin = entry.fo;
  int last_improvement = 0;
  std::vector<std::pair<int, float>> new_bests;
  std::size_t at = 0;
  for (std::size_t k = 0; k < out.trace.size(); ++k) {
    const int iter = static_cast<int>(k) + 1;
    const SwapChoice& move = out.trace[k];
    SCOPED_TRACE(iter);
    ASSERT_LE(1, move.no1);
    ASSERT_LT(move.no1, move.no2);
    ASSERT_LE(move.no2, length - 2);
    ASSERT_NE(route[static_cast<std::size_t>(move.no1)], route[static_cast<std::size_t>(move.no2)]);
    ASSERT_LE(at + 3, console.size());
    EXPECT_EQ(console[at++], format("melhor delta = %4f", static_cast<double>(move.delta)));
    EXPECT_EQ(console[at++], format("no1 = %2d no2 = %2d ", move.no1, move.no2));
    swap_positions(move.no1, move.no2, route);
    fo = fo + move.delta;
    EXPECT_NEAR(entry.objective(route), fo, 1e-2 + 2e-7 * std::fabs(fo));
    if (fo < fomin) {
      fomin = fo;
      best = route;
      last_improvement = iter;
      new_bests.emplace_back(iter, fo);
      ASSERT_LT(at, console.size());
      EXPECT_EQ(console[at++], format("iter = %3d  ***   fomin = %5f", iter, static_cast<double>(fomin)));
    }
    const int stall = iter - last_improvement;
    ASSERT_LT(at, console.size());
    EXPECT_EQ(console[at++], format("fo = %5f     iteracoes sem melhora = %5d", static_cast<double>(fo), stall));
    if (k + 1 < out.trace.size()) {
      ASSERT_LT(stall, s.max_stall);
    }
  }
  // The restart draws the next tenure: the search's only draw.
  RandomEngine after_draws = out.engine_before;
  after_draws.discard(ends_at_restart ? 1 : 0);
  EXPECT_TRUE(random_engine() == after_draws);
  if (ends_at_restart) {
    EXPECT_EQ(static_cast<int>(out.trace.size()) - last_improvement, s.max_stall);
  }
  expect_closing_line(console, at);

  EXPECT_EQ(after.best, best);
  EXPECT_EQ(after.current, best);
  EXPECT_EQ(after.fomin, fomin);
  EXPECT_EQ(after.fo, fomin);
  EXPECT_NEAR(entry.objective(best), fomin, 1e-2 + 2e-7 * std::fabs(fomin));

  const std::vector<LogLine> log = read_log("fo_BT.out");
  ASSERT_EQ(log.size(), new_bests.size() + 1);
  EXPECT_EQ(log[0].counter, 0);
  EXPECT_NEAR(log[0].objective, entry.fo, 0.005 + 1e-7 * entry.fo);
  EXPECT_GE(log[0].seconds, static_cast<double>(s.started_ago) * 0.001);
  for (std::size_t k = 1; k < log.size(); ++k) {
    EXPECT_EQ(log[k].counter, new_bests[k - 1].first);
    EXPECT_NEAR(log[k].objective, new_bests[k - 1].second, 0.005 + 1e-7 * log[k].objective);
    EXPECT_LT(log[k].objective, log[k - 1].objective);
    EXPECT_GE(log[k].seconds, log[k - 1].seconds);
  }
}

TEST(TabuSearchRun, RandomInstanceRunsToItsFirstRestart) {
  for (const Evaluation evaluation : {Evaluation::incremental, Evaluation::whole_route}) {
    ScratchDir dir;
    Problem p = random_problem(12, 2024, 60);
    const Problem entry = p;
    TabuRun s;
    s.evaluation = evaluation;
    s.started_ago = 1500;  // the log's first line carries the time since the run's start
    const Outcome out = search(p, s);
    check_run(entry, p, out, s);
    EXPECT_LT(p.fomin, entry.fo);
  }
}

TEST(TabuSearchRun, Cmt1FromTheInitialRoute) {
  ScratchDir dir;
  Problem p = cmt1_problem();
  const Problem entry = p;
  const TabuRun s;
  const Outcome out = search(p, s);
  check_run(entry, p, out, s);
  EXPECT_LT(p.fomin, entry.fo);
}

// Five customers: the pairs in scan order are p1 (1,2), p2 (1,3), p3 (1,4),
// p4 (1,5), p5 (2,3), p6 (2,4), ... With a base tenure of 2, a flat-move limit
// of 5 and a step of 10 (the list at the end of each iteration, oldest first):
//   1: p1 [p1]          2: p2 [p1 p2]          3: p3 [p2 p3] (3 > 2: p1 out)
//   4: p1 [p3 p1]       5: p2 [p1 p2] (the tenure of 2 still holds; the fifth
//   flat move raises it to 12)   6: p3 [p1 p2 p3]   7: p4   8: p5, stall 8 =
//   10 * 0.8: trimmed to [p5]    9: p1 [p5 p1]   10: p2, stall 10: restart, end.
TEST(TabuSearchTenure, FlatMovesRaiseTheTenureFromTheFifthOn) {
  const Pairs expected = {{1, 2}, {1, 3}, {1, 4}, {1, 2}, {1, 3},
                          {1, 4}, {1, 5}, {2, 3}, {1, 2}, {1, 3}};
  for (const Evaluation evaluation : {Evaluation::incremental, Evaluation::whole_route}) {
    ScratchDir dir;
    Problem p = flat_problem(5);
    const Problem entry = p;
    TabuRun s;
    s.max_stall = 10;
    s.base_tenure = 2;
    s.evaluation = evaluation;
    const Outcome out = search(p, s);
    EXPECT_EQ(pairs_of(out.trace), expected);
    check_run(entry, p, out, s);  // flat moves, no new best, back to the entry Route
  }
}

// Three customers in one trip; only the distances between customers are
// non-zero: 1->2 10, 1->3 10, 2->1 0, 2->3 0, 3->1 5, 3->2 20. The six orders
// cost 123: 10, 213: 10, 321: 20, 132: 30, 231: 5, 312: 15. Base tenure 2,
// every flat move adds 10 (the list at the end of each iteration):
//   1: 123 -> 213 by (1,2), change 0, flat: the tenure becomes 12   [(1,2)]
//   2: (2,3) -> 231, -5: a new best; the tenure goes back to 2     [(1,2) (2,3)]
//   3: only (1,3) is not tabu: -> 132, +25; 3 > 2 drops (1,2)      [(2,3) (1,3)]
//   4: (1,2) -> 312, -15. Had the tenure stayed 12, every pair would be tabu
//      and, after the trim to [(1,3)], (2,3) -> 123 at -20 would win.
TEST(TabuSearchTenure, NewBestSetsTheTenureBackToBase) {
  ScratchDir dir;
  Problem p;
  p.matrix = make_matrix(3, {0, 0, 0, 0, 0, 0, 10, 10, 0, 0, 0, 0, 0, 5, 20, 0});
  p.demand = {0, 1, 1, 1};
  p.start_from({0, 1, 2, 3, 0});
  ASSERT_EQ(p.fo, 10.0f);
  const Problem entry = p;
  TabuRun s;
  s.max_stall = 10;
  s.base_tenure = 2;
  s.flat_move_limit = 1;
  const Outcome out = search(p, s);
  ASSERT_GE(out.trace.size(), 4u);
  EXPECT_EQ(std::vector<SwapChoice>(out.trace.begin(), out.trace.begin() + 4),
            (std::vector<SwapChoice>{{1, 2, 0.0f}, {2, 3, -5.0f}, {1, 3, 25.0f}, {1, 2, -15.0f}}));
  EXPECT_EQ(p.best, (Route{0, 2, 3, 1, 0}));
  check_run(entry, p, out, s);
}

// Three customers have only the pairs (1,2), (1,3), (2,3). The tenure (40 and
// up) never drops a move, so the list fills with all three and the next scan
// trims it to the newest and scans again:
//   1: (1,2)  2: (1,3)  3: (2,3)  4: trim to [(2,3)], (1,2)  5: (1,3)
//   6: trim to [(1,3)], (1,2)  7: (2,3)  8: trim to [(2,3)], (1,2) as at 4 ...
// so from iteration 4 on the moves repeat (1,2), (1,3), (1,2), (2,3). At stall
// s = max_stall * 0.8 (a multiple of 4, so the move is (1,2) with the list
// [(2,3) (1,2)]) the list is trimmed to [(1,2)]: s+1 is (1,3), s+2 is (2,3)
// where no trim would give (1,2), and s+3 starts the cycle again.
TEST(TabuSearchTenure, StallTrimFiresAtFourFifthsOfMaxStall) {
  const std::pair<int, int> cycle[] = {{1, 2}, {1, 3}, {1, 2}, {2, 3}};
  for (const int max_stall : {50, 2000}) {
    ScratchDir dir;
    Problem p = flat_problem(3);
    const Problem entry = p;
    TabuRun s;
    s.max_stall = max_stall;
    const int trim = max_stall * 4 / 5;
    const Outcome out = search(p, s);
    Pairs expected = {{1, 2}, {1, 3}, {2, 3}};
    for (int m = 4; m <= max_stall; ++m) {
      if (m == trim + 1) expected.emplace_back(1, 3);
      else if (m == trim + 2) expected.emplace_back(2, 3);
      else expected.push_back(cycle[(m <= trim ? m - 4 : m - trim - 3) % 4]);
    }
    EXPECT_EQ(pairs_of(out.trace), expected) << "max_stall " << max_stall;
    check_run(entry, p, out, s);
  }
}

// A scan that finds nothing admissible while the list holds at most one move
// ends the search, with the best Route put back.
TEST(TabuSearchEdges, NothingAdmissibleWithAtMostOneTabuMoveEndsTheSearch) {
  const TabuRun s;
  {  // [0, 1, 2, 0] is 1 + 5 + 6 = 12, [0, 2, 1, 0] is 2 + 3 + 4 = 9: the one
     // swap improves; then it is tabu and 9 + 3 is not below 9.
    ScratchDir dir;
    Problem p;
    p.matrix = make_matrix(2, {0, 1, 2, 4, 0, 5, 6, 3, 0});
    p.demand = {0, 1, 1};
    p.start_from({0, 1, 2, 0});
    const Problem entry = p;
    const Outcome out = search(p, s);
    EXPECT_EQ(out.trace, (std::vector<SwapChoice>{{1, 2, -3.0f}}));
    check_run(entry, p, out, s, false);
    EXPECT_EQ(p.best, (Route{0, 2, 1, 0}));
  }
  // Flat: the swap is made and is then the only one, and tabu. One customer:
  // no pair at all, with the list empty.
  for (const int n : {2, 1}) {
    ScratchDir dir;
    Problem p = flat_problem(n);
    const Problem entry = p;
    const Outcome out = search(p, s);
    EXPECT_EQ(pairs_of(out.trace), (n == 2 ? Pairs{{1, 2}} : Pairs{}));
    check_run(entry, p, out, s, false);
  }
}

}  // namespace
