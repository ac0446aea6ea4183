// The adaptive weight of a unit of overload: its start from the instance's
// scale and its steps after each window of visits.
#include <gtest/gtest.h>

#include "search/adaptive_penalty.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

TEST(AdaptivePenalty, FollowsTheShareOfOverloadedVisitsWithinItsBounds) {
  // Largest distance 30 (cells of a 3-customer matrix), largest demand 12:
  // the weight starts at 2.5, within 0.0025..2500.
  Instance instance;
  instance.matrix = make_matrix(3, {0, 10, 20, 30, 10, 0, 5, 5, 20, 5, 0, 5, 30, 5, 5, 0});
  instance.demand = {0, 4, 12, 6};
  instance.customer_count = 3;
  instance.vehicle_capacity = 20;
  struct Row {
    int overloaded_per_window;  // of 100 visits
    int windows;
    double weight;  // after them
  };
  const Row rows[] = {
      {25, 3, 2.5},                 // on target: unchanged
      {31, 1, 2.5 * 1.25},          // above target + 0.05: raised
      {30, 1, 2.5},                 // at target + 0.05: unchanged
      {19, 2, 2.5 / 1.25 / 1.25},   // below target - 0.05: lowered twice
      {100, 60, 2500.0},            // raised up to 1000 times the start
      {0, 60, 0.0025},              // lowered down to 1/1000 of it
  };
  for (const Row& row : rows) {
    AdaptivePenalty penalty = adaptive_penalty_start(instance, 0.25);
    ASSERT_EQ(penalty.weight, 2.5);
    int changes = 0;
    for (int window = 0; window < row.windows; ++window)
      for (int visit = 0; visit < AdaptivePenalty::kWindow; ++visit)
        changes += penalty_visit(penalty, visit < row.overloaded_per_window) ? 1 : 0;
    EXPECT_DOUBLE_EQ(penalty.weight, row.weight) << row.overloaded_per_window;
    EXPECT_EQ(changes > 0, row.weight != 2.5);
  }
}

}  // namespace
