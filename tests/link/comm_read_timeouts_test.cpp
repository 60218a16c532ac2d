// How long a serial read waits for more bytes, by the five time-outs.

#include "link/comm_read_timeouts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace trellon {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr uint32_t kMaxDword = 0xFFFFFFFF;

CommTimeouts ReadTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant) {
  CommTimeouts timeouts;
  timeouts.ReadIntervalTimeout = interval;
  timeouts.ReadTotalTimeoutMultiplier = multiplier;
  timeouts.ReadTotalTimeoutConstant = constant;
  // The write time-outs play no part in a read.
  timeouts.WriteTotalTimeoutMultiplier = 7;
  timeouts.WriteTotalTimeoutConstant = 9;
  return timeouts;
}

TEST(ReadWaitMs, MaxDwordIntervalWithoutTotalsTakesWhatIsQueuedAtOnce) {
  const CommTimeouts timeouts = ReadTimeouts(kMaxDword, 0, 0);
  EXPECT_EQ(ReadWaitMs(timeouts, 10, 0, nanoseconds(0), std::nullopt), 0);
  EXPECT_EQ(ReadWaitMs(timeouts, 10, 3, milliseconds(1), nanoseconds(0)), 0);
}

TEST(ReadWaitMs, MaxDwordIntervalAndMultiplierEndTheReadWithItsFirstByteOrTheConstant) {
  const CommTimeouts timeouts = ReadTimeouts(kMaxDword, kMaxDword, 200);
  // The constant alone, whatever the length.
  EXPECT_EQ(ReadWaitMs(timeouts, 1000, 0, nanoseconds(0), std::nullopt), 200);
  EXPECT_EQ(ReadWaitMs(timeouts, 1000, 0, milliseconds(150), std::nullopt), 50);
  EXPECT_EQ(ReadWaitMs(timeouts, 1000, 0, milliseconds(250), std::nullopt), 0);
  EXPECT_EQ(ReadWaitMs(timeouts, 1000, 1, milliseconds(10), nanoseconds(0)), 0);
  // Without a constant it is no first-byte read: the multiplier counts per byte.
  EXPECT_EQ(ReadWaitMs(ReadTimeouts(kMaxDword, kMaxDword, 0), 1, 0, nanoseconds(0), std::nullopt),
            1 << 30);
}

TEST(ReadWaitMs, TotalsLimitTheWholeReadInWholeMilliseconds) {
  const CommTimeouts timeouts = ReadTimeouts(0, 10, 50);  // 10 ms a byte and 50 ms
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, nanoseconds(0), std::nullopt), 100);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 2, milliseconds(30), microseconds(100)), 70);
  // What is left is cut to whole milliseconds: less than one ends the read.
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, microseconds(10500), std::nullopt), 89);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, microseconds(99500), std::nullopt), 0);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, milliseconds(500), std::nullopt), 0);
  // A MAXDWORD interval with totals waits for them like any other read.
  EXPECT_EQ(ReadWaitMs(ReadTimeouts(kMaxDword, 0, 40), 5, 1, milliseconds(15), nanoseconds(0)), 25);
}

TEST(ReadWaitMs, WithoutTotalsOnlyTheIntervalAfterAByteEndsTheRead) {
  const CommTimeouts none = ReadTimeouts(0, 0, 0);
  EXPECT_EQ(ReadWaitMs(none, 5, 0, milliseconds(5000), std::nullopt), kReadWaitUnlimited);
  EXPECT_EQ(ReadWaitMs(none, 5, 2, milliseconds(5000), milliseconds(4000)), kReadWaitUnlimited);

  const CommTimeouts interval = ReadTimeouts(20, 0, 0);
  // No limit until the first byte has come.
  EXPECT_EQ(ReadWaitMs(interval, 5, 0, milliseconds(5000), std::nullopt), kReadWaitUnlimited);
  EXPECT_EQ(ReadWaitMs(interval, 5, 1, milliseconds(5000), milliseconds(5)), 15);
  EXPECT_EQ(ReadWaitMs(interval, 5, 1, milliseconds(5000), milliseconds(20)), 0);
}

TEST(ReadWaitMs, IntervalAndTotalsTogetherTheSoonerEndsTheRead) {
  const CommTimeouts timeouts = ReadTimeouts(30, 0, 100);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, milliseconds(10), std::nullopt), 90);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 1, milliseconds(10), milliseconds(2)), 28);  // interval
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 1, milliseconds(90), milliseconds(2)), 10);  // total
}

TEST(ReadWaitMs, TheLongestTotalsGiveTheLongestSingleWait) {
  // MAXDWORD per byte over a long read is far beyond any clock's range.
  const CommTimeouts timeouts = ReadTimeouts(0, kMaxDword - 1, kMaxDword - 1);
  EXPECT_EQ(ReadWaitMs(timeouts, 100000, 0, milliseconds(1000), std::nullopt), 1 << 30);
  EXPECT_EQ(ReadWaitMs(ReadTimeouts(kMaxDword - 1, 0, 0), 1, 1, milliseconds(1), nanoseconds(0)),
            1 << 30);
}

}  // namespace
}  // namespace trellon
