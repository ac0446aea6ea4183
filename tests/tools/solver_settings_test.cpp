// The ranges of cvrpsolve's settings (tools/common/solver_settings.h), which
// cvrpsolve and cvrpbatch's --set check alike.
#include "tools/common/solver_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "tools/common/command_line.h"

namespace {

using namespace testing_support;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* const kTwoCustomers =
    "NAME : two\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 6\nNODE_COORD_SECTION\n1 0 0\n2 3 4\n"
    "3 6 8\nDEMAND_SECTION\n1 0\n2 1\n3 1\nEOF\n";

// The annealing holds the initial temperature as a float and stops below
// 0.1: the float nearest 0.1 is above it (one level of moves); from 0.05
// no move would be made.
TEST(SolverSettingRanges, EachValueIsTakenOrRefusedWithItsReason) {
  const struct {
    const char* name;
    const char* text;
    const char* refusal;  // nullptr: taken
  } cases[] = {
      {"initial-temperature", "0.1", nullptr},
      {"initial-temperature", "1e30", nullptr},
      {"initial-temperature", "0.05", "(at or below the annealing's stopping temperature 0.1: no move would be made)"},
      {"tenure", "2147483647", nullptr},
      {"tenure", "2147483648", "bad value '2147483648' for --tenure"},
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
  write_file("two.vrp", kTwoCustomers);
  const ToolOutcome solve = run_tool(CVRPSOLVE_BINARY, "two.vrp --initial-temperature 0.05 --moves 10");
  EXPECT_EQ(solve.status, 2);
  EXPECT_TRUE(has(solve.errors, "bad value '0.05' for --initial-temperature (at or below the annealing's stopping"))
      << solve.errors;
  const ToolOutcome batch = run_tool(
      CVRPBATCH_BINARY, "run --searches annealing --seeds 1 --time 1 --set initial-temperature=1,0.05 --best "
                        "two=1 --out results two.vrp");
  EXPECT_EQ(batch.status, 2);
  EXPECT_TRUE(has(batch.errors, "bad value '0.05' for --set initial-temperature (at or below")) << batch.errors;
}

}  // namespace
