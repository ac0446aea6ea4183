// The primal integral from a run's log records, against values worked out by
// hand and against the gap it can never be below.
#include "report/primal_integral.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

TEST(PrimalIntegral, MatchesTheDefinition) {
  // Best known 100 (cap 110), time limit 10 s.
  const struct {
    const char* what;
    std::vector<ProgressRecord> records;
    double expected;
  } cases[] = {
      {"no record: the cap throughout", {}, 10.0},
      {"the best known from the start", {{0.0, 100.0, 0}}, 0.0},
      {"above the cap, then the best known at 5 s", {{0.0, 5000.0, 0}, {5.0, 100.0, 9}}, 5.0},
      {"the cap before the first record at 2 s", {{2.0, 104.0, 0}}, (2 * 110.0 + 8 * 104.0) / 10.0 - 100.0},
      {"a record after the limit does not count", {{0.0, 108.0, 0}, {10.5, 100.0, 3}}, 8.0},
      {"a later record above an earlier one leaves the lowest", {{0.0, 102.0, 0}, {4.0, 106.0, 0}}, 2.0},
      {"steps at 1 s and 6 s", {{1.0, 109.0, 0}, {6.0, 101.0, 7}}, (110.0 + 5 * 109.0 + 4 * 101.0) / 10.0 - 100.0},
  };
  for (const auto& c : cases) EXPECT_NEAR(primal_integral(c.records, 100.0, 10.0), c.expected, 1e-9) << c.what;
}

// However the run goes, its PI lies between the gap it ends at (at most the
// cap's 10%) and 10.
TEST(PrimalIntegral, IsNeverBelowTheFinalGap) {
  std::mt19937 random(17);
  for (int run = 0; run < 500; ++run) {
    const double best_known = std::uniform_real_distribution<double>(10.0, 1e5)(random);
    const double limit = std::uniform_real_distribution<double>(0.5, 100.0)(random);
    std::vector<ProgressRecord> records;
    double seconds = 0.0, objective = best_known * std::uniform_real_distribution<double>(1.0, 50.0)(random);
    const int count = std::uniform_int_distribution<int>(1, 30)(random);
    for (int i = 0; i < count && seconds <= limit; ++i) {
      records.push_back({seconds, objective, i});
      seconds += std::uniform_real_distribution<double>(0.0, limit / 5)(random);
      objective = best_known + (objective - best_known) * std::uniform_real_distribution<double>(0.0, 1.0)(random);
    }
    const double final_gap = 100.0 * (records.back().objective - best_known) / best_known;
    const double pi = primal_integral(records, best_known, limit);
    EXPECT_GE(pi, std::min(final_gap, 10.0) - 1e-9) << run;
    EXPECT_LE(pi, 10.0 + 1e-9) << run;
  }
}

}  // namespace
