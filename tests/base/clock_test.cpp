#include "base/clock.h"

#include <gtest/gtest.h>

namespace trellon {
namespace {

TEST(DateTimeTest, DayCountRoundTripsThroughItsParts) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1970, 1, 1, 0, 0, 0, 0}), 25569.0);
  const double stamp = EncodeDateTime({2026, 12, 7, 4, 14, 33, 250});
  const DateTimeParts parts = DecodeDateTime(stamp);
  EXPECT_EQ(parts.year, 2026);
  EXPECT_EQ(parts.month, 12);
  EXPECT_EQ(parts.day, 7);
  EXPECT_EQ(parts.hour, 4);
  EXPECT_EQ(parts.minute, 14);
  EXPECT_EQ(parts.second, 33);
  EXPECT_EQ(parts.millisecond, 250);
  // Leap day and the last millisecond of a day.
  const DateTimeParts leap = DecodeDateTime(EncodeDateTime({2028, 2, 29, 23, 59, 59, 999}));
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.millisecond, 999);
}

TEST(ManualClockTest, AdvanceMovesTickAndLocalTimeAndTheTickWraps) {
  ManualClock clock(0xFFFFFF00u, EncodeDateTime({2026, 12, 7, 23, 59, 59, 900}));
  clock.Advance(0x200);
  EXPECT_EQ(clock.TickCount(), 0x100u);
  const DateTimeParts parts = DecodeDateTime(clock.Now());
  EXPECT_EQ(parts.day, 8);
  EXPECT_EQ(parts.hour, 0);
  EXPECT_EQ(parts.second, 0);
  EXPECT_EQ(parts.millisecond, 412);
  clock.Sleep(88);
  EXPECT_EQ(DecodeDateTime(clock.Now()).millisecond, 500);
}

TEST(SystemClockTest, TicksMoveForwardAndLocalTimeIsNearTheSystemTime) {
  SystemClock clock;
  const uint32_t before = clock.TickCount();
  clock.Sleep(20);
  EXPECT_GE(static_cast<uint32_t>(clock.TickCount() - before), 15u);
  const double unixDays = static_cast<double>(time(nullptr)) / kSecondsPerDay + 25569.0;
  // Local time differs from UTC by the zone offset: at most 14 hours.
  EXPECT_NEAR(clock.Now(), unixDays, 15.0 / 24.0);
}

}  // namespace
}  // namespace trellon
