// cvrpsolve run as a separate process: the program's very moves on CMT1,
// runs reproducible from their seed and budget, an overloaded best, the
// input it refuses, the default output, its gaps, and how a run ends (its
// time limit, a signal, an output that cannot be written).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "report/cvrplib_solution.h"
#include "report/report_reader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const std::string kCmt1 = CVRP_EXAMPLES_DIR "/cmt1/CMT1.vrp";
const std::string kX101 = CVRP_INSTANCES_DIR "/X/X-n101-k25.vrp";

ToolOutcome solve(const std::string& args) { return run_tool(CVRPSOLVE_BINARY, args); }

// Three customers at the corners of a 3 x 4 rectangle whose fourth corner is
// the depot, 10 each for one truck of 100: every solution is feasible, and
// the best tour is its perimeter, 3 + 4 + 3 + 4 = 14 (a tour across a
// diagonal costs 3 + 5 + 3 + 5 = 16).
const char* const kTiny =
    "NAME : tiny\nTYPE : CVRP\nDIMENSION : 4\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 100\n"
    "NODE_COORD_SECTION\n1 0 0\n2 3 0\n3 3 4\n4 0 4\nDEMAND_SECTION\n1 0\n2 10\n3 10\n4 10\n"
    "DEPOT_SECTION\n1\n-1\nEOF\n";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A log's records without their times, which depend on the clock.
std::vector<std::pair<double, long long>> untimed(const std::vector<LogLine>& log) {
  std::vector<std::pair<double, long long>> records;
  for (const LogLine& line : log) records.emplace_back(line.objective, line.counter);
  return records;
}

// The moves of the program's first `schedules` cooling schedules: 10000 per
// level while the temperature, from 10000 / k and cooled by 0.97 in float,
// is above 0.1.
long long schedule_moves(int schedules) {
  long long moves = 0;
  for (int k = 1; k <= schedules; ++k)
    for (float t = 10000.0f / static_cast<float>(k); static_cast<double>(t) > 0.1; t *= 0.97f) moves += 10000;
  return moves;
}

// The program's runs on the bundled instance (the golden files, made under a
// counting clock) gave its logs; cvrpsolve on CMT1.vrp with the program's
// settings and a budget of the moves and iterations those runs made must log
// the same new bests, and end at the report's routes.
TEST(CvrpSolve, MakesTheProgramsMovesOnCmt1) {
  struct Run {
    const char* golden;
    const char* search;
    int schedules;  // the annealing's, in the program's run
  };
  for (const Run run : {Run{"annealing", "annealing", 6}, Run{"tabu", "tabu", 0}, Run{"hybrid", "hybrid", 1}}) {
    SCOPED_TRACE(run.golden);
    ScratchDir dir;
    const fs::path golden = golden_folder() / run.golden;
    std::string budget;
    if (run.schedules > 0) budget += " --moves " + std::to_string(schedule_moves(run.schedules));
    std::vector<LogLine> expected;
    if (fs::exists(golden / "fo_SA.out")) expected = read_log((golden / "fo_SA.out").string());
    if (fs::exists(golden / "fo_BT.out")) {
      std::size_t iterations = 0;
      for (const std::string& line : split_lines(gunzipped(golden / "console.txt.gz")))
        iterations += line.starts_with("melhor delta") ? 1 : 0;
      budget += " --iterations " + std::to_string(iterations);
      for (const LogLine& line : read_log((golden / "fo_BT.out").string())) expected.push_back(line);
    }
    const ToolOutcome outcome = solve(kCmt1 + " --search " + run.search + budget + " --log run.log --sol run.sol");
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(untimed(read_log("run.log")), untimed(expected));
    ReportValues report;
    ASSERT_EQ(read_report((golden / "solucao.dat").string(), report), std::nullopt);
    CvrplibSolution solution;
    ASSERT_EQ(read_cvrplib_solution("run.sol", solution), std::nullopt);
    std::vector<std::vector<int>> trips;
    for (const ReportTrip& trip : report.trips) trips.push_back(trip.customers);
    EXPECT_EQ(solution.routes, trips);
  }
}

TEST(CvrpSolve, SeedAndBudgetMakeTheRun) {
  ScratchDir dir;
  // One truck more than the fewest the demands need (25), as the best known solution uses.
  const std::string budget = " --search hybrid --moves 300000 --iterations 300 --vehicles +1 --round";
  ASSERT_EQ(solve(kX101 + budget + " --seed 7 --sol a.sol --log a.log").status, 0);
  const ToolOutcome again = solve(kX101 + budget + " --seed 7 --sol b.sol --log b.log --best " CVRP_INSTANCES_DIR
                                  "/X/X-n101-k25.sol");
  ASSERT_EQ(again.status, 0) << again.errors;
  EXPECT_EQ(read_file("a.sol"), read_file("b.sol"));
  EXPECT_EQ(untimed(read_log("a.log")), untimed(read_log("b.log")));
  for (const char* line : {"search: hybrid\n", "seed: 7\n", "overload: 0\n", "moves: 300000\n", "iterations: 300\n",
                           "solution: b.sol\n", "(best known 27591.00)\n", " of 26\n"})
    EXPECT_TRUE(has(again.output, line)) << line << again.output;
  ASSERT_EQ(solve(kX101 + budget + " --seed 8 --sol c.sol --log c.log").status, 0);
  EXPECT_NE(untimed(read_log("a.log")), untimed(read_log("c.log")));
}

// With the fewest trucks the demands allow and a few moves, the best
// solution still overloads: summary and log, but no .sol, and status 3.
TEST(CvrpSolve, OverloadedBestIsReportedAndNotWritten) {
  ScratchDir dir;
  const ToolOutcome outcome = solve(kX101 + " --round --moves 2000 --log run.log --best 27591");
  EXPECT_EQ(outcome.status, 3);
  EXPECT_TRUE(has(outcome.output, "solution: not written: the best solution overloads its trucks by ")) << outcome.output;
  // Its cost holds the penalty: no gap is given.
  EXPECT_TRUE(has(outcome.output, "gap: none: the best solution overloads its trucks (best known 27591.00)\n"))
      << outcome.output;
  EXPECT_FALSE(has(outcome.output, "overload: 0\n"));
  EXPECT_FALSE(fs::exists("X-n101-k25.found.sol"));
  EXPECT_GE(read_log("run.log").size(), 1u);
}

TEST(CvrpSolve, RefusesBadInputAndOptionsWritingNothing) {
  ScratchDir dir;
  const std::string cmt1 = read_file(kCmt1);
  write_file("limit.vrp", std::string(cmt1).insert(cmt1.find("NODE_COORD_SECTION"), "DISTANCE : 200\n"));
  write_file("heavy.vrp", std::string(cmt1).replace(cmt1.find("\n2 7\n"), 5, "\n2 170\n"));
  std::string heavier = kTiny;  // demands 2e9, 2e9 and 10: beyond an int
  heavier.replace(heavier.find("CAPACITY : 100"), 14, "CAPACITY : 2000000000");
  heavier.replace(heavier.find("\n2 10\n3 10\n"), 11, "\n2 2000000000\n3 2000000000\n");
  write_file("heavier.vrp", heavier);
  fs::create_directory("folder.sol");
  const struct {
    std::string args;
    int status;
    const char* message;
  } cases[] = {
      {"limit.vrp", 1, "cvrpsolve: limit.vrp:7: DISTANCE 200: a route length limit is not supported"},
      {"heavy.vrp", 1, "cvrpsolve: heavy.vrp: node 2 has demand 170, above the capacity 160"},
      {"missing.vrp", 1, "cvrpsolve: cannot open missing.vrp"},
      {"heavier.vrp --penalty 0", 1, "heavier.vrp: total demand 4000000010 is beyond 2147483647"},
      {kCmt1 + " --sol folder.sol", 1, "folder.sol"},
      {kCmt1 + " --vehicles 4", 2, "bad value '4' for --vehicles: the demands need at least 5 trucks"},
      // CMT1's 50 customers; its demands (777 in all) need 5 trucks of 160.
      {kCmt1 + " --vehicles 51", 2, "bad value '51' for --vehicles: more trucks than the 50 customers"},
      {kCmt1 + " --vehicles +46", 2, "'+46' for --vehicles: the fewest trucks 5 plus 46 is 51, more trucks than"},
      {kCmt1 + " --vehicles +2147483647", 2, "for --vehicles"},
      {kCmt1 + " --best 0", 2, "bad value '0' for --best"},
      {kCmt1 + " --best nan", 2, "bad value 'nan' for --best"},
      {kX101 + " --round --best " CVRP_EXAMPLES_DIR "/cmt1/CMT1.sol", 1, "CMT1.sol: not a solution of X-n101-k25"},
      {kCmt1 + " --search tabu --moves 5", 2, "--moves is the annealing's budget"},
      {kCmt1 + " --search hybrid --moves 5", 2, "the hybrid takes both"},
      {kCmt1 + " --cooling 1", 2, "bad value '1' for --cooling"},
      // From an initial temperature at or below the stopping one, 0.1, no move would be made.
      {kCmt1 + " --initial-temperature 0.05", 2, "bad value '0.05' for --initial-temperature (at or below"},
      {kCmt1 + " --search greedy", 2, "bad value 'greedy' for --search"},
      {kCmt1 + " --neighbourhoods relocate,oropt,relocate", 2, "bad value 'relocate,oropt,relocate' for --neighbourhoods"},
      {kCmt1 + " --neighbourhoods 3opt", 2, "bad value '3opt' for --neighbourhoods (all, or kinds of move"},
      {kCmt1 + " --granularity 1001", 2, "bad value '1001' for --granularity (a whole number from 1 to 1000)"},
      {kCmt1 + " --start greedy", 2, "bad value 'greedy' for --start (random or savings)"},
      {kCmt1 + " --penalty high", 2, "bad value 'high' for --penalty (a whole number from 0 to 1000000, or adaptive)"},
      {kCmt1 + " --initial-temperature hot", 2, "bad value 'hot' for --initial-temperature (a number from 1e-30 to 1e+30, or auto)"},
      // The adaptive weight works in the field's searches only; the target is its setting.
      {kCmt1 + " --penalty adaptive --neighbourhoods swap", 2, "--penalty adaptive needs the field's moves"},
      {kCmt1 + " --overload-target 0.5", 2, "--overload-target is the adaptive penalty's setting"},
      {kCmt1 + " --preset best", 2, "bad value 'best' for --preset (strongest)"},
      // Ruin and recreate is the annealing's move, and its settings are its own.
      {kCmt1 + " --neighbourhoods ruin --search hybrid --time 1", 2, "ruin is the annealing's move"},
      {kCmt1 + " --neighbourhoods all --blink 0.5", 2, "--ruin-size, --ruin-string and --blink are ruin and recreate's"},
      {kCmt1 + " --neighbourhoods ruin --blink 1.5", 2, "bad value '1.5' for --blink"},
      {kCmt1 + " --penalty adaptive --neighbourhoods all --overload-target 1", 2, "bad value '1' for --overload-target"},
      {kCmt1 + " --bogus", 2, "unknown option --bogus"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolOutcome outcome = solve(c.args + " --log run.log");
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_TRUE(outcome.errors.starts_with("cvrpsolve: ") && has(outcome.errors, c.message)) << outcome.errors;
    EXPECT_EQ(c.status == 2, has(outcome.errors, "usage: cvrpsolve")) << outcome.errors;
    EXPECT_EQ(listing("."), (std::set<std::string>{"limit.vrp", "heavy.vrp", "heavier.vrp", "folder.sol", "stdout.txt",
                                                   "stderr.txt"}));
  }
}

// The choices of the field's searches: the program's given explicitly print
// and search exactly as the defaults; any other is named in the summary;
// "auto" names the temperature it works out, which given as a number makes
// the same run.
TEST(CvrpSolve, NamesTheChoicesThatAreNotTheDefaults) {
  ScratchDir dir;
  const std::string run = kCmt1 + " --moves 20000 --sol run.sol --log run.log";
  const auto untimed_summary = [](std::string text) {
    const std::size_t at = text.find("\ntime: ");
    return at == std::string::npos ? text : text.erase(at, text.find('\n', at + 1) - at);
  };
  const ToolOutcome plain = solve(run), stated = solve(run + " --neighbourhoods swap --granularity 20 --start random --penalty 1000");
  ASSERT_EQ(plain.status, 0) << plain.errors;
  EXPECT_EQ(untimed_summary(stated.output), untimed_summary(plain.output));

  const ToolOutcome chosen = solve(run + " --neighbourhoods '2opt*,relocate' --granularity 7 --start savings "
                                         "--penalty adaptive --overload-target 0.4");
  EXPECT_TRUE(has(chosen.output, "limit: 20000 moves\nneighbourhoods: relocate,2opt*\ngranularity: 7\nstart: savings\n"
                                 "penalty: adaptive (overload target 0.4)\nobjective: "))
      << chosen.errors << chosen.output;

  const ToolOutcome automatic = solve(run + " --initial-temperature auto");
  ASSERT_EQ(automatic.status, 0) << automatic.errors;
  const std::size_t at = automatic.output.find("\ntemperature: auto (");
  ASSERT_NE(at, std::string::npos) << automatic.output;
  const std::string used = automatic.output.substr(at + 20, automatic.output.find(")\n", at) - at - 20);
  const std::vector<LogLine> log = read_log("run.log");
  const ToolOutcome given = solve(run + " --initial-temperature " + used);
  ASSERT_EQ(given.status, 0) << given.errors;
  EXPECT_EQ(untimed(read_log("run.log")), untimed(log)) << used;
  EXPECT_FALSE(has(given.output, "temperature")) << given.output;

  // The preset's field annealing makes the same run twice, and an option
  // given on its own wins over the preset's.
  const std::string strongest = run + " --preset strongest";
  const ToolOutcome preset = solve(strongest);
  const std::vector<LogLine> preset_log = read_log("run.log");
  EXPECT_EQ(untimed_summary(solve(strongest).output), untimed_summary(preset.output));
  EXPECT_EQ(untimed(read_log("run.log")), untimed(preset_log));
  EXPECT_TRUE(has(preset.output, "neighbourhoods: ruin\nstart: savings\nruin: size 10, string 10, blink 0.01\n"))
      << preset.output;
  EXPECT_TRUE(has(solve(strongest + " --start random --neighbourhoods relocate").output,
                  "neighbourhoods: relocate\ntemperature: auto ("));
}

// The default output is NAME.found.sol in the working directory: a run in
// the instance's folder leaves NAME.sol (the best known solution later runs
// look for) absent, and a second run there works as the first. The best
// cost is 14: below a best known of 15 by 1/15 = 6.67%, marked so.
TEST(CvrpSolve, DefaultOutputIsNeverTheInstancesSolutionFile) {
  ScratchDir dir;
  write_file("tiny.vrp", kTiny);
  for (int run = 0; run < 2; ++run) {
    const ToolOutcome outcome = solve("tiny.vrp --moves 1000 --best 15");
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_TRUE(has(outcome.output, "solution: tiny.found.sol\n")) << outcome.output;
    EXPECT_TRUE(has(outcome.output, "gap: -6.67% (below the best known 15.00: a new best known, or a fault)\n"));
    EXPECT_EQ(listing("."), (std::set<std::string>{"tiny.vrp", "tiny.found.sol", "stdout.txt", "stderr.txt"}));
  }
  EXPECT_TRUE(has(read_file("tiny.found.sol"), "\nCost 14.00\n"));
}

// What goes out is the routes' true cost, not the search's float objective:
// EXPLICIT weights 16777217 from the depot to each customer and 1 between
// them cost 33554435 as written, 2^24 + 1 + 2^24 = 2^25 in float.
// Six customers some 10^7 from the depot: every tour costs above 2^24, where
// floats are 2 apart and the best tour, 20000032, and one a unit longer have
// the same float. The field's searches compare them in double and end on the
// best, which is found here by trying every order.
TEST(CvrpSolve, TellsApartCostsAFloatCannot) {
  ScratchDir dir;
  const std::vector<std::pair<long long, long long>> points = {{0, 0},  {10000010, 0}, {10000012, 8}, {10000001, 8},
                                                               {10000003, 6}, {10000005, 8}, {10000004, 9}};
  std::string text = "NAME : far\nTYPE : CVRP\nDIMENSION : 7\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 60\n"
                     "NODE_COORD_SECTION\n";
  std::string demands = "DEMAND_SECTION\n";
  for (std::size_t i = 0; i < points.size(); ++i) {
    text += std::to_string(i + 1) + " " + std::to_string(points[i].first) + " " + std::to_string(points[i].second) + "\n";
    demands += std::to_string(i + 1) + (i == 0 ? " 0\n" : " 10\n");
  }
  write_file("far.vrp", text + demands + "DEPOT_SECTION\n1\n-1\nEOF\n");
  const auto distance = [&](std::size_t a, std::size_t b) {
    return std::llround(std::hypot(points[a].first - points[b].first, points[a].second - points[b].second));
  };
  std::vector<std::size_t> order = {0, 1, 2, 3, 4, 5, 6, 0};
  long long best = std::numeric_limits<long long>::max();
  do {
    long long cost = 0;
    for (std::size_t k = 1; k < order.size(); ++k) cost += distance(order[k - 1], order[k]);
    best = std::min(best, cost);
  } while (std::next_permutation(order.begin() + 1, order.end() - 1));
  ASSERT_GT(best, 1LL << 24);
  for (const char* search : {"annealing --moves 100000", "tabu --iterations 100", "hybrid --moves 50000 --iterations 100"})
    for (const char* seed : {"1", "3", "4"}) {
      const ToolOutcome run = solve("far.vrp --round --neighbourhoods all --search " + std::string(search) + " --seed " + seed);
      EXPECT_TRUE(has(run.output, "cost: " + std::to_string(best) + ".00\n")) << search << " seed " << seed << run.output;
    }
}

TEST(CvrpSolve, ReportsTheTrueCost) {
  ScratchDir dir;
  write_file("weights.vrp", "TYPE : CVRP\nDIMENSION : 3\nCAPACITY : 10\nEDGE_WEIGHT_TYPE : EXPLICIT\n"
                            "EDGE_WEIGHT_FORMAT : FULL_MATRIX\nEDGE_WEIGHT_SECTION\n0 16777217 16777217\n"
                            "16777217 0 1\n16777217 1 0\nDEMAND_SECTION\n1 0\n2 1\n3 1\nEOF\n");
  const ToolOutcome outcome = solve("weights.vrp --moves 100 --sol run.sol --best 33554435");
  ASSERT_EQ(outcome.status, 0) << outcome.errors;
  for (const char* line : {"objective: 33554432.00\n", "cost: 33554435.00\n", "distance: 33554435.00\n",
                           "gap: 0.00% (best known "})
    EXPECT_TRUE(has(outcome.output, line)) << line << outcome.output;
  EXPECT_TRUE(has(read_file("run.sol"), "\nCost 33554435.00\n"));
}

// How a run ends, through the process: cvrpsolve starts in the background;
// once it catches SIGTERM (/proc/PID/status, SigCgt bit 15: its checks are
// done and its search runs) `then` runs with $pid set. A run that never ends
// is killed after 20 s (status 137).
ToolOutcome solve_then(const std::string& args, const std::string& then) {
  write_file("run.sh", "'" CVRPSOLVE_BINARY "' " + args + " & pid=$!\n" +
                           "until [ $(( 0x$(sed -n 's/^SigCgt:[[:space:]]*//p' /proc/$pid/status) & 0x4000 )) -ne 0 ]\n"
                           "do sleep 0.01; done\n" +
                           then + "\nwait $pid\n");
  return run_tool("timeout", "-s KILL 20 sh run.sh");
}

TEST(CvrpSolve, EndsAtItsTimeLimitOrASignalAndKeepsItsResult) {
  ScratchDir dir;
  write_file("tiny.vrp", kTiny);
  fs::create_directory("out");
  const std::string outputs = " --sol out/run.sol --log out/run.log";
  const struct {
    std::string args;
    const char* then;
    int status;
    std::vector<std::string> lines;  // in the summary
    const char* errors;
  } cases[] = {
      // No budget: only the time limit can end these.
      {"--time 0.5", "", 0, {"limit: 0.5 s\n", "solution: out/run.sol\n"}, ""},
      {"--time 60", "kill -TERM $pid", 128 + 15, {"interrupted: by signal 15\n", "solution: out/run.sol\n"}, ""},
      // The outputs' folder goes while the search runs: the summary all the
      // same, each output named, the solution's text on standard error.
      {"--time 60",
       "rm -r out; kill -INT $pid",
       4,
       {"cost: 14.00\n", "solution: not written: cannot write out/run.sol: No such file or directory\n",
        "log: not written: cannot write out/run.log: No such file or directory\n", "interrupted: by signal 2\n"},
       "cvrpsolve: cannot write out/run.sol: No such file or directory\n"
       "cvrpsolve: cannot write out/run.log: No such file or directory\n"
       "cvrpsolve: the solution it could not write:\nRoute #1: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " then " + c.then);
    fs::create_directories("out");
    const ToolOutcome outcome = solve_then("tiny.vrp " + c.args + outputs, c.then);
    EXPECT_EQ(outcome.status, c.status) << outcome.errors;
    for (const std::string& line : c.lines) EXPECT_TRUE(has(outcome.output, line)) << line << outcome.output;
    EXPECT_TRUE(outcome.errors.starts_with(c.errors)) << outcome.errors;
    if (c.status == 4) continue;
    CvrplibSolution solution;
    EXPECT_EQ(read_cvrplib_solution("out/run.sol", solution), std::nullopt);
    EXPECT_EQ(solution.cost, 14.0);
    EXPECT_GE(read_log("out/run.log").size(), 1u);
    // The time used, from its summary line: at least the limit, and the run
    // ended (well before the 20 s watchdog; no tighter bound, which a loaded
    // machine could miss).
    const std::size_t at = outcome.output.find("\ntime: ");
    ASSERT_NE(at, std::string::npos);
    if (c.then[0] == '\0') {
      EXPECT_GE(std::stod(outcome.output.substr(at + 7)), 0.5);
    }
  }
}

}  // namespace
