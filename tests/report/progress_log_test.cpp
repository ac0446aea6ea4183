#include <gtest/gtest.h>

#include <filesystem>

#include "report/progress_log.h"
#include "support/test_support.h"

using namespace testing_support;

TEST(ProgressLog, RecordsUseMinimumWidthsAndAppend) {
  ScratchDir dir;
  int counter = 4321;
  EXPECT_TRUE(log_progress("fo_SA.out", 12.5f, 1234.5f, counter));
  counter = 0;
  EXPECT_TRUE(log_progress("fo_SA.out", 0.0f, 7.0f, counter));
  counter = 123456;
  EXPECT_TRUE(log_progress("fo_SA.out", 30.25f, 123456.789f, counter));
  // The annealing counts billions of moves: past the range of an int, in full.
  EXPECT_TRUE(log_progress("fo_SA.out", 26.0f, 530.0f, 2147483647LL));
  EXPECT_TRUE(log_progress("fo_SA.out", 29.5f, 529.5f, 25000000000LL));
  EXPECT_EQ(read_file("fo_SA.out"),
            "12.50\t  1234.50\t   4321\n"
            "0.00\t  7.00\t      0\n"
            "30.25\t  123456.79\t  123456\n"
            "26.00\t  530.00\t  2147483647\n"
            "29.50\t  529.50\t  25000000000\n");
}

TEST(ProgressLog, ResetEmptiesOrCreatesAndLaterLinesAppend) {
  ScratchDir dir;
  write_file("fo_BT.out", "1.00\t  5.00\t      0\n");
  EXPECT_TRUE(log_reset("fo_BT.out"));
  EXPECT_EQ(read_file("fo_BT.out"), "");
  EXPECT_TRUE(log_reset("fresh.out"));
  ASSERT_TRUE(std::filesystem::exists("fresh.out"));
  EXPECT_EQ(std::filesystem::file_size("fresh.out"), 0u);

  write_file("fo_BT.out", "earlier\n");
  const int iter = 17;
  EXPECT_TRUE(log_progress("fo_BT.out", 2.5f, 99.0f, iter));
  EXPECT_EQ(read_file("fo_BT.out"), "earlier\n2.50\t  99.00\t     17\n");
}

TEST(ProgressLog, UnopenableFileIsReported) {
  ScratchDir dir;
  std::filesystem::create_directory("a_folder");
  EXPECT_FALSE(log_progress("missing/fo_SA.out", 1.0f, 2.0f, 1));
  EXPECT_FALSE(log_reset("a_folder"));
}
