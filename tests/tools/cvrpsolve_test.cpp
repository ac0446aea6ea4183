// cvrpsolve run as a separate process: the program's very moves on CMT1,
// runs reproducible from their seed and budget, an overloaded best, and the
// input it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/cvrplib_solution.h"
#include "report/report_reader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const std::string kCmt1 = CVRP_EXAMPLES_DIR "/cmt1/CMT1.vrp";
const std::string kX101 = CVRP_EXAMPLES_DIR "/x-n101-k25/X-n101-k25.vrp";

ToolOutcome solve(const std::string& args) { return run_tool(CVRPSOLVE_BINARY, args); }

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
  const ToolOutcome again = solve(kX101 + budget + " --seed 7 --sol b.sol --log b.log --best " CVRP_EXAMPLES_DIR
                                  "/x-n101-k25/X-n101-k25.sol");
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
  const ToolOutcome outcome = solve(kX101 + " --round --moves 2000 --log run.log");
  EXPECT_EQ(outcome.status, 3);
  EXPECT_TRUE(has(outcome.output, "solution: not written: the best solution overloads its trucks by ")) << outcome.output;
  EXPECT_FALSE(has(outcome.output, "overload: 0\n"));
  EXPECT_FALSE(fs::exists("X-n101-k25.sol"));
  EXPECT_GE(read_log("run.log").size(), 1u);
}

TEST(CvrpSolve, RefusesBadInputAndOptionsWritingNothing) {
  ScratchDir dir;
  const std::string cmt1 = read_file(kCmt1);
  write_file("limit.vrp", std::string(cmt1).insert(cmt1.find("NODE_COORD_SECTION"), "DISTANCE : 200\n"));
  write_file("heavy.vrp", std::string(cmt1).replace(cmt1.find("\n2 7\n"), 5, "\n2 170\n"));
  fs::create_directory("folder.sol");
  const struct {
    std::string args;
    int status;
    const char* message;
  } cases[] = {
      {"limit.vrp", 1, "cvrpsolve: limit.vrp:7: DISTANCE 200: a route length limit is not supported"},
      {"heavy.vrp", 1, "cvrpsolve: heavy.vrp: node 2 has demand 170, above the capacity 160"},
      {"missing.vrp", 1, "cvrpsolve: cannot open missing.vrp"},
      {kCmt1 + " --sol folder.sol", 1, "folder.sol"},
      {kCmt1 + " --vehicles 4", 1, "--vehicles 4: the demands need at least 5 trucks"},
      {kCmt1 + " --search tabu --moves 5", 2, "--moves is the annealing's budget"},
      {kCmt1 + " --search hybrid --moves 5", 2, "the hybrid takes both"},
      {kCmt1 + " --cooling 1", 2, "bad value '1' for --cooling"},
      {kCmt1 + " --search greedy", 2, "bad value 'greedy' for --search"},
      {kCmt1 + " --bogus", 2, "unknown option --bogus"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolOutcome outcome = solve(c.args + " --log run.log");
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_TRUE(outcome.errors.starts_with("cvrpsolve: ") && has(outcome.errors, c.message)) << outcome.errors;
    EXPECT_EQ(c.status == 2, has(outcome.errors, "usage: cvrpsolve")) << outcome.errors;
    EXPECT_EQ(listing("."), (std::set<std::string>{"limit.vrp", "heavy.vrp", "folder.sol", "stdout.txt", "stderr.txt"}));
  }
  // The default solution file never replaces the CVRPLIB solution beside the instance.
  fs::copy_file(kX101, "X-n101-k25.vrp");
  write_file("X-n101-k25.sol", "Route #1: 1\nCost 1\n");
  const ToolOutcome beside = solve("X-n101-k25.vrp --round --moves 10");
  EXPECT_EQ(beside.status, 1);
  EXPECT_TRUE(has(beside.errors, "is the solution file beside the instance")) << beside.errors;
  EXPECT_EQ(read_file("X-n101-k25.sol"), "Route #1: 1\nCost 1\n");
}

}  // namespace
