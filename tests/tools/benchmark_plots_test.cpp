// The median and band of runs over time that the benchmark's progress
// pictures draw.
#include "tools/plot/benchmark_plots.h"

#include <gtest/gtest.h>

namespace {

TEST(MedianBand, TakesTheRunsThatHaveStartedAtEachChange) {
  const struct {
    const char* what;
    std::vector<plot::StepRun> runs;
    std::vector<double> times, low, median, high;
  } cases[] = {
      {"one run: its own steps", {{{0.0, 9.0}, {2.0, 5.0}}}, {0.0, 2.0}, {9.0, 5.0}, {9.0, 5.0}, {9.0, 5.0}},
      {"two runs: the median is their mean; a later start joins when it starts",
       {{{0.0, 10.0}, {3.0, 2.0}}, {{1.0, 6.0}}},
       {0.0, 1.0, 3.0},
       {10.0, 6.0, 2.0},
       {10.0, 8.0, 4.0},
       {10.0, 10.0, 6.0}},
      {"three runs: the middle one; a higher record keeps the lowest so far",
       {{{0.0, 4.0}}, {{0.0, 8.0}, {1.0, 9.0}}, {{0.0, 1.0}}},
       {0.0, 1.0},
       {1.0, 1.0},
       {4.0, 4.0},
       {8.0, 8.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const plot::Band band = plot::median_band("label", c.runs);
    EXPECT_EQ(band.times, c.times);
    EXPECT_EQ(band.low, c.low);
    EXPECT_EQ(band.median, c.median);
    EXPECT_EQ(band.high, c.high);
  }
}

}  // namespace
