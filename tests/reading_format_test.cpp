#include <gtest/gtest.h>

#include <climits>

#include "support/reading_text.h"

namespace {

using zv::test::FormatFanSpeed;
using zv::test::FormatHundredths;

constexpr std::int32_t kUnit = 65536;

TEST(ReadingFormat, WholeHundredthsShowWholeUnits) {
  EXPECT_EQ(FormatHundredths(0), "0");
  EXPECT_EQ(FormatHundredths(45 * kUnit * 100), "45");
  EXPECT_EQ(FormatHundredths(330 * kUnit), "3");
  EXPECT_EQ(FormatHundredths(-12 * kUnit * 100), "-12");
}

TEST(ReadingFormat, HalvesRoundAwayFromZeroAndNeverShowMinusZero) {
  EXPECT_EQ(FormatHundredths(50 * kUnit), "1");
  EXPECT_EQ(FormatHundredths(49 * kUnit), "0");
  EXPECT_EQ(FormatHundredths(250 * kUnit), "3");
  EXPECT_EQ(FormatHundredths(-50 * kUnit), "-1");
  EXPECT_EQ(FormatHundredths(-49 * kUnit), "0");
  EXPECT_EQ(FormatHundredths(-1), "0");
}

TEST(ReadingFormat, ExtremeWordsStayInRange) {
  EXPECT_EQ(FormatHundredths(INT32_MAX), "328");
  EXPECT_EQ(FormatHundredths(INT32_MIN), "-328");
  EXPECT_EQ(FormatFanSpeed(INT32_MAX), "32767");
  EXPECT_EQ(FormatFanSpeed(INT32_MIN), "-32768");
}

TEST(ReadingFormat, FanSpeedTruncatesTowardZero) {
  EXPECT_EQ(FormatFanSpeed(18 * kUnit), "18");
  EXPECT_EQ(FormatFanSpeed(-kUnit), "-1");
  EXPECT_EQ(FormatFanSpeed(-kUnit + 1), "0");
  EXPECT_EQ(FormatFanSpeed(kUnit - 1), "0");
  EXPECT_EQ(FormatFanSpeed(1234 * kUnit + 65535), "1234");
}

}  // namespace
