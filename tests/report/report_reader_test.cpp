// The report read back from what final_report writes, and checked against
// its instance: intact, damaged in each of the ways a person or a truncated
// copy damages it, and after a real search whose objective has drifted.
#include "report/report_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "model/route.h"
#include "search/annealing.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// The asymmetric 4-customer instance of the report tests; demands 50, 70,
// 100 and 40 need 2 trucks. Route 0 3 0 1 4 2 0: trips (3) and (1 4 2),
// loads 100 and 160, distance 0>3 30 + 3>0 31 + 0>1 10 + 1>4 9 + 4>2 16 + 2>0 21
// = 117. In the file trip 1 starts on line 15 and trip 2 on line 20.
class ReportReader : public ::testing::Test {
 protected:
  ScratchDir dir;
  DistanceMatrix matrix = make_matrix(4, {0, 10, 20, 30, 40,  //
                                          11, 0, 5, 7, 9,     //
                                          21, 6, 0, 8, 12,    //
                                          31, 13, 14, 0, 3,   //
                                          41, 15, 16, 4, 0});
  DemandVector demand{0, 50, 70, 100, 40};
  const Route route{0, 3, 0, 1, 4, 2, 0};

  // Parses and checks `text`; returns the first message, or "" when both pass.
  std::string verdict(const std::string& text, CheckedReport& checked) {
    ReportValues report;
    if (auto failure = parse_report(text, "solucao.dat", report)) return *failure;
    if (auto failure = check_report(report, "solucao.dat", matrix, demand, 160, 1000, checked)) return *failure;
    return "";
  }
  std::string verdict(const std::string& text) {
    CheckedReport checked;
    return verdict(text, checked);
  }
  std::string written(const Route& best, float fomin) {
    write_report(fomin, demand, best, matrix);
    return read_file("solucao.dat");
  }
};

TEST_F(ReportReader, ReadsBackWhatFinalReportWrites) {
  write_report(117.0f, demand, route, matrix);
  ReportValues report;
  ASSERT_EQ(read_report("solucao.dat", report), std::nullopt);
  EXPECT_EQ(report.objective_text, "117.000000");
  EXPECT_EQ(report.min_trucks, 2);
  EXPECT_EQ(report.trucks_used, 2);
  EXPECT_EQ(report.distance_text, "117.000000");
  ASSERT_EQ(report.trips.size(), 2u);
  EXPECT_EQ(report.trips[0].customers, (std::vector<int>{3}));
  EXPECT_EQ(report.trips[1].customers, (std::vector<int>{1, 4, 2}));
  EXPECT_EQ(report.trips[1].line, 20);
  EXPECT_EQ(report.trips[1].load, 160);

  CheckedReport checked;
  ASSERT_EQ(check_report(report, "solucao.dat", matrix, demand, 160, 1000, checked), std::nullopt);
  EXPECT_EQ(checked.route, route);
  EXPECT_EQ(checked.distance, 117.0f);
  EXPECT_EQ(checked.excess, 0);

  // Lines ending in "\r\n" read the same.
  std::string crlf;
  for (const char c : read_file("solucao.dat")) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(verdict(crlf), "");
  EXPECT_NE(read_report("missing/solucao.dat", report), std::nullopt);
}

TEST_F(ReportReader, DamagedReportsNameTheFirstInconsistency) {
  const std::string intact = written(route, 117.0f);
  const struct {
    const char* from;
    const char* to;
    const char* message;
  } cases[] = {
      {"Carga[1] = 100", "Carga[1] = 101", "solucao.dat:16: Carga[1] = 101, but the demands of its customers add up to 100"},
      {"1 --> 4 --> 2 -->", "1 --> 4 --> 4 -->", "solucao.dat:20: customer 4 is visited a second time (first on line 20)"},
      {"4 --> 2 --> Deposito\nCarga[2] = 160", "4 --> Deposito\nCarga[2] = 90", "solucao.dat: customer 2 is in no trip"},
      {"--> 3 -->", "--> 7 -->", "solucao.dat:15: trip 1 visits 7, not a customer of the instance (1..4)"},
      {"= 117.000000 Kilometros", "= 117.000001 Kilometros", "solucao.dat:6: total distance 117.000001, but the trips give 117.000000"},
      {"objetivo = 117.000000", "objetivo = 118.000000", "solucao.dat:2: objective 118.000000, but the trips give 117.000000"},
      {"rios = 2", "rios = 3", "solucao.dat:3: minimum number of trucks 3, but the instance's demands give 2"},
      {"utilizados         = 2", "utilizados         = 1", "solucao.dat:20: expected the end of the report after trip 1"},
      {"117.000000 Kilometros", "117 Kilometros", "solucao.dat:6: expected the distance line"},
      {"Carga[2] = 160", "Carga[3] = 160", "solucao.dat:21: expected the load of trip 2"},
      {"fun\xE7\xE3o", "fun\xC3\xA7\xC3\xA3o", "(the file looks like UTF-8; the program writes Windows-1252)"},
  };
  for (const auto& c : cases) {
    std::string text = intact;
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    text.replace(at, std::string(c.from).size(), c.to);
    EXPECT_NE(verdict(text).find(c.message), std::string::npos) << verdict(text);
  }
  // Every copy cut short is refused, whatever the place of the cut.
  for (std::size_t size = 0; size < intact.size(); ++size)
    ASSERT_NE(verdict(intact.substr(0, size)), "") << "cut after " << size << " bytes";
}

// An unused truck is an empty trip of the Route, and route_distance adds
// cell (0, 0) for it where it stands. With the cell at 0 its place does not
// matter; with 0.3 and distances near 2^21 (a float step of 0.25) it
// changes the sum, and only the place the report's Route had matches.
TEST_F(ReportReader, EmptyTripsAddCellZeroZeroWhereTheyStood) {
  demand = {0, 50, 70, 100, 100};  // 320: still 2 trucks
  for (int i = 0; i <= 4; ++i)
    for (int j = 0; j <= 4; ++j) matrix.cell(i, j) = i == j ? 0.0f : 2097152.0f + static_cast<float>(i + 2 * j) * 0.75f;
  matrix.cell(0, 0) = 0.3f;
  const Route first{0, 0, 1, 2, 3, 4, 0};  // one trip of 320, the empty one first
  const Route last{0, 1, 2, 3, 4, 0, 0};
  ASSERT_NE(route_distance(7, matrix, first), route_distance(7, matrix, last)) << "the place must matter here";
  for (const Route& best : {first, last}) {
    CheckedReport checked;
    const float objective = objective_value(1000 * 160, route_distance(7, matrix, best));
    ASSERT_EQ(verdict(written(best, objective), checked), "");
    EXPECT_EQ(checked.route, best);
    EXPECT_EQ(checked.excess, 160);
  }
}

// The searches carry fomin, never recompute it: a real annealing run's
// report passes, and an objective a few tolerances off does not.
TEST(ReportReaderSearch, CarriedObjectiveOfARealRunPasses) {
  SearchProblem p = cmt1_problem();
  ScratchDir dir;
  Settings settings = program_settings(50);
  settings.time_limit = 0.0f;
  settings.initial_temperature = 100.0f;
  settings.moves_per_temperature = 2000;
  SearchOutput silent;
  ASSERT_EQ(p.run(simulated_annealing, settings, silent), SearchEnd::finished);
  write_report(p.fomin, p.demand, p.best, p.matrix);
  ReportValues report;
  ASSERT_EQ(read_report("solucao.dat", report), std::nullopt);
  CheckedReport checked;
  ASSERT_EQ(check_report(report, "solucao.dat", p.matrix, p.demand, 160, 1000, checked), std::nullopt);
  EXPECT_EQ(checked.route, p.best);  // no empty trip: the Route itself
  EXPECT_NEAR(report.objective, checked.objective, checked.objective_tolerance);

  report.objective += 3 * checked.objective_tolerance;
  EXPECT_NE(check_report(report, "solucao.dat", p.matrix, p.demand, 160, 1000, checked), std::nullopt);
}

}  // namespace
