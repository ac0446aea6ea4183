// The ranges of cvrpsolve's settings (tools/common/solver_settings.h), which
// cvrpsolve and cvrpbatch's --set check alike, and cvrpsolve run with every
// setting at an end of its range.
#include "tools/common/solver_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "tools/common/command_line.h"

namespace {

using namespace testing_support;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Six customers at the depot's very point (every distance 0), each of
// `demand`, trucks of `capacity`.
void write_colocated(const char* path, long long demand = 1, long long capacity = 6) {
  std::string text = "NAME : colocated\nTYPE : CVRP\nDIMENSION : 7\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : " +
                     std::to_string(capacity) + "\nNODE_COORD_SECTION\n";
  for (const char* node : {"1", "2", "3", "4", "5", "6", "7"}) text.append(node).append(" 5 5\n");
  text += "DEMAND_SECTION\n1 0\n";
  const std::string each = std::to_string(demand);
  for (const char* node : {"2", "3", "4", "5", "6", "7"}) text.append(node).append(" ").append(each).append("\n");
  write_file(path, text + "DEPOT_SECTION\n1\n-1\nEOF\n");
}

// The annealing holds the initial temperature as a float and stops below
// 0.1: the float nearest 0.1 is above it (one level of moves), 0.0999999
// rounds below it, and no move would be made.
TEST(SolverSettingRanges, EachValueIsTakenOrRefusedWithItsReason) {
  const struct {
    const char* name;
    const char* text;
    const char* refusal;  // nullptr: taken
  } cases[] = {
      {"initial-temperature", "0.1", nullptr},
      {"initial-temperature", "1e30", nullptr},
      {"initial-temperature", "0.05", "(at or below the annealing's stopping temperature 0.1: no move would be made)"},
      {"initial-temperature", "0.0999999", "stopping temperature 0.1"},
      {"initial-temperature", "0", "a number from 1e-30 to 1e+30"},
      {"tenure", "2147483647", nullptr},
      {"tenure", "2147483648", "bad value '2147483648' for --tenure"},
      {"moves-per-temperature", "2147483647", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.text);
    const auto* setting = companion::solver_setting(c.name);
    ASSERT_NE(setting, nullptr);
    try {
      companion::setting_value(*setting, "--" + std::string(c.name), c.text);
      EXPECT_EQ(c.refusal, nullptr);
    } catch (const companion::Usage& refused) {
      ASSERT_NE(c.refusal, nullptr) << refused.reason;
      EXPECT_TRUE(has(refused.reason, c.refusal)) << refused.reason;
    }
  }
}

// Through both companions: cvrpsolve's option and a value the batch sweeps.
TEST(SolverSettingRanges, BothCompanionsRefuseAnInitialTemperatureThatMakesNoMove) {
  ScratchDir dir;
  write_colocated("colocated.vrp");
  const ToolOutcome solve = run_tool(CVRPSOLVE_BINARY, "colocated.vrp --initial-temperature 0.05 --moves 10");
  EXPECT_EQ(solve.status, 2);
  EXPECT_TRUE(has(solve.errors, "bad value '0.05' for --initial-temperature (at or below the annealing's stopping"))
      << solve.errors;
  const ToolOutcome batch = run_tool(
      CVRPBATCH_BINARY, "run --searches annealing --seeds 1 --time 1 --set initial-temperature=1,0.05 --best "
                        "colocated=1 --out results colocated.vrp");
  EXPECT_EQ(batch.status, 2);
  EXPECT_TRUE(has(batch.errors, "bad value '0.05' for --set initial-temperature (at or below")) << batch.errors;
}

// Every setting at an end of its range, on the co-located customers (one
// truck carries them all) where every tabu move is flat and the tenure grows
// at each: a run (under the build's overflow check) that ends with its
// summary. (A total demand beyond an int is refused: cvrpsolve's tests.)
TEST(SolverSettingRanges, CvrpsolveRunsAtTheEndsOfEveryRange) {
  ScratchDir dir;
  write_colocated("colocated.vrp");
  const std::string hybrid = "colocated.vrp --search hybrid --moves 9000 --iterations 300 ";
  const struct {
    std::string args;
    int status;
    const char* expected;
  } cases[] = {
      {hybrid + "--tenure 2147483647 --tenure-step 1000000 --flat-moves 1 --max-stall 2147483647", 0, "iterations: 300"},
      {hybrid + "--tenure 0 --tenure-step 1000000 --flat-moves 2147483647 --max-stall 1", 0, "iterations: 300"},
      {hybrid + "--initial-temperature 1e30 --cooling 0.99999994 --moves-per-temperature 2147483647 --penalty 1000000",
       0, "moves: 9000"},
      {hybrid + "--initial-temperature 0.1 --cooling 1e-30 --moves-per-temperature 1 --penalty 0 --hybrid-share 0",
       0, "iterations: 300"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolOutcome outcome = run_tool(CVRPSOLVE_BINARY, c.args + " --sol out.sol");
    EXPECT_EQ(outcome.status, c.status) << outcome.errors;
    EXPECT_TRUE(has(c.status == 0 ? outcome.output : outcome.errors, c.expected)) << outcome.output << outcome.errors;
    if (c.status == 0) {
      EXPECT_EQ(outcome.errors, "");
    }
  }
}

// A level of 2^31 - 1 moves would take minutes: the time limit ends it
// within its first second.
TEST(SolverSettingRanges, CvrpsolveEndsAtItsTimeWithinALongLevel) {
  ScratchDir dir;
  write_colocated("colocated.vrp");
  const ToolOutcome outcome =
      run_tool(CVRPSOLVE_BINARY, "colocated.vrp --moves-per-temperature 2147483647 --time 0.2 --sol out.sol");
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  const std::size_t at = outcome.output.find("time: ");
  ASSERT_NE(at, std::string::npos) << outcome.output;
  EXPECT_LT(std::stod(outcome.output.substr(at + 6)), 1.0) << outcome.output;
}

}  // namespace
