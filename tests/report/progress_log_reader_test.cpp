// The progress log read back from what log_progress writes, and the lines
// the reader refuses.
#include "report/progress_log_reader.h"

#include <gtest/gtest.h>

#include "report/progress_log.h"
#include "support/test_support.h"

using namespace testing_support;

TEST(ProgressLogReader, ReadsWhatLogProgressWritesAndRefusesOtherLines) {
  ScratchDir dir;
  EXPECT_TRUE(log_reset("fo_BT.out"));
  int counter = 0;
  EXPECT_TRUE(log_progress("fo_BT.out", 1.5f, 181831.97f, counter));
  counter = 123456;
  EXPECT_TRUE(log_progress("fo_BT.out", 30.25f, 524.61f, counter));
  std::vector<ProgressRecord> records;
  ASSERT_EQ(read_progress_log("fo_BT.out", records), std::nullopt);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].seconds, 1.5);
  EXPECT_EQ(records[0].objective, 181831.97);
  EXPECT_EQ(records[0].counter, 0);
  EXPECT_EQ(records[1].objective, 524.61);
  EXPECT_EQ(records[1].counter, 123456);

  const std::string good = read_file("fo_BT.out");
  for (const std::string& bad : {good + "0.5\t  10.00\t      1\n",     // one decimal
                                 good + "0.50\t 10.00\t      1\n",      // one space
                                 good + "0.50\t  10.00\t  1\n",         // counter not 5 wide
                                 good + "0.50\t  10.00\t      1",       // no line end
                                 good + "0.50\t  1e1\t      1\n"}) {
    const auto failure = parse_progress_log(bad, "fo_BT.out", records);
    ASSERT_NE(failure, std::nullopt) << bad;
    EXPECT_TRUE(failure->starts_with("fo_BT.out:3: ")) << *failure;
  }
  EXPECT_EQ(parse_progress_log("", "fo_BT.out", records), std::nullopt);
  EXPECT_TRUE(records.empty());
}
