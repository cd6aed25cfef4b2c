// The progress line: bar, percentage, rows, elapsed and remaining time.
#include <gtest/gtest.h>

#include <algorithm>

#include "progressBar.h"

namespace {

int hashes(const std::string& s) { return int(std::count(s.begin(), s.end(), '#')); }

TEST(ProgressText, HalfwayEstimatesTheSameTimeAgain) {
  const std::string line = progressText(5, 10, 2.0, 30);
  EXPECT_EQ(hashes(line), 15);
  EXPECT_NE(line.find(" 50%"), std::string::npos) << line;
  EXPECT_NE(line.find("5/10 rows"), std::string::npos) << line;
  EXPECT_NE(line.find("2.0s elapsed"), std::string::npos) << line;
  EXPECT_NE(line.find("2.0s left"), std::string::npos) << line;
}

TEST(ProgressText, AQuarterDoneLeavesThreeTimesTheElapsed) {
  const std::string line = progressText(135, 540, 10.0, 20);
  EXPECT_EQ(hashes(line), 5);
  EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
  EXPECT_NE(line.find("30.0s left"), std::string::npos) << line;
}

TEST(ProgressText, LongTimesInMinutes) {
  const std::string line = progressText(1, 4, 100.0, 10);
  EXPECT_NE(line.find("1m40s elapsed"), std::string::npos) << line;
  EXPECT_NE(line.find("5m00s left"), std::string::npos) << line;
}

TEST(ProgressText, NoEstimateAtTheStartOrTheEnd) {
  EXPECT_EQ(progressText(0, 10, 0.5, 10).find("left"), std::string::npos);
  const std::string done = progressText(10, 10, 3.0, 10);
  EXPECT_EQ(done.find("left"), std::string::npos);
  EXPECT_EQ(hashes(done), 10);
  EXPECT_NE(done.find("100%"), std::string::npos) << done;
}

TEST(ProgressText, NoRowsCountsAsDone) {
  EXPECT_NE(progressText(0, 0, 0.0, 10).find("100%"), std::string::npos);
}

}  // namespace
