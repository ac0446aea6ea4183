// The CVRPLIB solution file: CMT1's best known routes through the program's
// own report and back out as a .sol, and the files the reader refuses.
#include "report/cvrplib_solution.h"

#include <gtest/gtest.h>

#include "model/cvrplib.h"
#include "model/route.h"
#include "report/report_reader.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

TEST(CvrplibSolution, Cmt1BestRoutesThroughTheReportGiveItsCost) {
  SearchProblem p = cmt1_problem();
  CvrplibSolution known;
  ASSERT_EQ(read_cvrplib_solution(CVRP_EXAMPLES_DIR "/cmt1/CMT1.sol", known), std::nullopt);
  ASSERT_EQ(known.routes.size(), 5u);
  EXPECT_EQ(known.cost, 524.611);

  const Route best = route_of(known.routes);
  ASSERT_EQ(best.size(), 56u);
  ScratchDir dir;
  write_report(objective_value(0, route_distance(56, p.matrix, best)), p.demand, best, p.matrix);
  ReportValues report;
  ASSERT_EQ(read_report("solucao.dat", report), std::nullopt);
  CheckedReport checked;
  ASSERT_EQ(check_report(report, "solucao.dat", p.matrix, p.demand, 160, 1000, checked), std::nullopt);

  std::vector<std::vector<int>> routes;
  for (const ReportTrip& trip : report.trips) routes.push_back(trip.customers);
  const std::string sol = cvrplib_solution_text(routes, static_cast<double>(checked.distance));
  EXPECT_TRUE(sol.starts_with("Route #1: 46 5 49 10 39 33 45 15 44 37 12\nRoute #2: 11 2 29 ")) << sol;
  EXPECT_TRUE(sol.ends_with("\nRoute #5: 18 13 41 40 19 42 17 4 47\nCost 524.61\n")) << sol;
  CvrplibSolution back;
  ASSERT_EQ(parse_cvrplib_solution(sol, "solucao.sol", back), std::nullopt);
  EXPECT_EQ(back.routes, known.routes);
  EXPECT_EQ(back.cost, 524.61);
}

TEST(CvrplibSolution, RefusesFilesThatAreNotSolutions) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"Route #1: 1 2\nRoute #3: 3\nCost 10\n", "x.sol:2: expected \"Route #2:\""},
      {"Route #1:\nCost 10\n", "x.sol:1: Route #1 has no customer"},
      {"Route #1: 1 0\nCost 10\n", "x.sol:1: \"0\" is not a customer number"},
      {"Route #1: 1\n", "x.sol: no \"Cost X\" line"},
      {"Route #1: 1\nCost 10\nRoute #2: 2\n", "x.sol:3: text after the Cost line"},
      {"Solution\nCost 10\n", "x.sol:1: expected \"Route #k: ...\" or \"Cost X\""},
  };
  for (const auto& c : cases) {
    CvrplibSolution solution;
    const auto failure = parse_cvrplib_solution(c.text, "x.sol", solution);
    ASSERT_NE(failure, std::nullopt) << c.text;
    EXPECT_NE(failure->find(c.message), std::string::npos) << *failure;
  }
  // Blank lines, trailing blanks and Windows line ends are read.
  CvrplibSolution solution;
  EXPECT_EQ(parse_cvrplib_solution("\r\nRoute #1: 3 1 \r\n\r\nCost  7.5\r\n", "x.sol", solution), std::nullopt);
  EXPECT_EQ(solution.routes, (std::vector<std::vector<int>>{{3, 1}}));
  EXPECT_EQ(solution.cost, 7.5);
}

// Depot (0, 0), customers (3, 4), (6, 8), (-3, 4), (1, 1) of demands 3, 4,
// 2, 3, trucks of 10. Routes 1 2 and 3 4 cost 5 + 5 + 10 and 5 + 5 + sqrt(2):
// 31.414213562373096 in all.
Instance four_customers() {
  Instance instance;
  EXPECT_EQ(parse_cvrplib("NAME : four\nDIMENSION : 5\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 10\n"
                          "NODE_COORD_SECTION\n1 0 0\n2 3 4\n3 6 8\n4 -3 4\n5 1 1\n"
                          "DEMAND_SECTION\n1 0\n2 3\n3 4\n4 2\n5 3\nEOF\n",
                          "four.vrp", false, instance),
            std::nullopt);
  return instance;
}

TEST(CvrplibSolution, ChecksTheRoutesAndTheirTrueCost) {
  const Instance instance = four_customers();
  const struct {
    const char* text;
    const char* message;  // nullptr: a solution
  } cases[] = {
      {"Route #1: 1 2\nRoute #2: 3 4\nCost 31.414\n", nullptr},  // 0.0002 off: within 0.0005
      {"Route #1: 4 3\nRoute #2: 2 1\nCost 31.41\n", nullptr},
      {"Route #1: 1 2\nRoute #2: 3 4\nCost 31.415\n", "x.sol: Cost 31.415, but the routes cost 31.414"},
      {"Route #1: 1 2\nRoute #2: 3 4\nCost 30\n", "x.sol: Cost 30.00, but the routes cost 31.41"},
      {"Route #1: 1 2 3 4\nCost 31.41\n", "x.sol: Route #1 carries 12, above the capacity 10"},
      {"Route #1: 1 2\nRoute #2: 3\nCost 31.41\n", "x.sol: customer 4 is in no route"},
      {"Route #1: 1 2\nRoute #2: 3 4 1\nCost 31.41\n", "x.sol: customer 1 is in Route #1 and Route #2"},
      // Another instance's solution.
      {"Route #1: 1 2\nRoute #2: 3 4 5\nCost 40\n", "x.sol: Route #2 visits 5, not a customer 1..4"},
  };
  for (const auto& c : cases) {
    CvrplibSolution solution;
    ASSERT_EQ(parse_cvrplib_solution(c.text, "x.sol", solution), std::nullopt) << c.text;
    const auto failure = check_cvrplib_solution(solution, "x.sol", instance);
    if (c.message == nullptr)
      EXPECT_EQ(failure, std::nullopt) << c.text;
    else
      EXPECT_EQ(failure.value_or("taken"), c.message) << c.text;
  }
}

TEST(CvrplibSolution, BestKnownSolutionsMustBeOfTheInstance) {
  ScratchDir dir;
  const Instance instance = four_customers();
  write_file("right.sol", "Route #1: 1 2\nRoute #2: 3 4\nCost 31.41\n");
  write_file("other.sol", "Route #1: 1 2\nCost 20\n");
  BestKnown best;
  EXPECT_EQ(read_best_known("right.sol", "--best right.sol", best, &instance), std::nullopt);
  EXPECT_EQ(best.cost, 31.41);
  EXPECT_EQ(best.decimals, 2);
  EXPECT_EQ(read_best_known("other.sol", "--best other.sol", best, &instance),
            "other.sol: not a solution of four: customer 3 is in no route");
  EXPECT_FALSE(best.number_refused);
  // A number: the decimals it is written with; one that is no cost is the argument's fault.
  EXPECT_EQ(read_best_known("52461e-2", "--best 52461e-2", best, &instance), std::nullopt);
  EXPECT_EQ(best.decimals, 2);
  EXPECT_NE(read_best_known("nan", "--best nan", best, &instance), std::nullopt);
  EXPECT_TRUE(best.number_refused);
}

TEST(CvrplibSolution, GapsAndCostsBelowTheBestKnown) {
  const struct {
    double cost, best;
    const char* gap;
  } gaps[] = {
      {16877.0, 16876.0, "0.01%"}, {1e12, 100.0, "1e+12%"}, {100.0, 1e-300, "1e+304%"},
      {100.0, 1e308, "-100.00%"},  {1e38, 1e-300, "above 1e+308%"},
  };
  for (const auto& c : gaps) EXPECT_EQ(gap_text(c.cost, c.best), c.gap) << c.cost << " " << c.best;
  const struct {
    double cost, best;
    int decimals;
    bool below;
  } below[] = {
      {524.6, 524.61, 2, true}, {524.6051, 524.61, 2, false}, {16875.0, 16876.0, 0, true}, {16875.6, 16876.0, 0, false},
  };
  for (const auto& c : below) EXPECT_EQ(below_best_known(c.cost, c.best, c.decimals), c.below) << c.cost;
}

}  // namespace
