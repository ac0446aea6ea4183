// The CVRPLIB solution file: CMT1's best known routes through the program's
// own report and back out as a .sol, and the files the reader refuses.
#include "report/cvrplib_solution.h"

#include <gtest/gtest.h>

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

}  // namespace
