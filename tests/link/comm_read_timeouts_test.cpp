// How long a serial read waits for more bytes, by its time-outs.

#include "link/comm_read_timeouts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace trellon {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr uint32_t kMaxDword = 0xFFFFFFFF;
constexpr std::nullopt_t kNoByteYet = std::nullopt;

CommTimeouts Read(uint32_t interval, uint32_t multiplier, uint32_t constant) {
  return {interval, multiplier, constant, 7, 9};  // the write time-outs play no part
}

TEST(ReadWaitMs, MaxDwordIntervalReadsReturnAtOnceOrWithTheFirstByte) {
  // No totals: what is queued, at once.
  EXPECT_EQ(ReadWaitMs(Read(kMaxDword, 0, 0), 10, 0, milliseconds(0), kNoByteYet), 0);
  // MAXDWORD multiplier and a constant: the constant alone, whatever the length, until a byte.
  const CommTimeouts firstByte = Read(kMaxDword, kMaxDword, 200);
  EXPECT_EQ(ReadWaitMs(firstByte, 1000, 0, milliseconds(150), kNoByteYet), 50);
  EXPECT_EQ(ReadWaitMs(firstByte, 1000, 1, milliseconds(10), milliseconds(0)), 0);
  // Other totals wait for them like any read.
  EXPECT_EQ(ReadWaitMs(Read(kMaxDword, 0, 40), 5, 1, milliseconds(15), milliseconds(0)), 25);
}

TEST(ReadWaitMs, TotalsLimitTheWholeReadInWholeMilliseconds) {
  const CommTimeouts timeouts = Read(0, 10, 50);  // 10 ms a byte and 50 ms
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, milliseconds(0), kNoByteYet), 100);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 2, microseconds(10500), milliseconds(1)), 89);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, microseconds(99500), kNoByteYet), 0);
  EXPECT_EQ(ReadWaitMs(timeouts, 5, 0, milliseconds(500), kNoByteYet), 0);
  EXPECT_EQ(ReadWaitMs(Read(0, 0, 0), 5, 2, milliseconds(5000), milliseconds(4000)),
            kReadWaitUnlimited);
}

TEST(ReadWaitMs, TheIntervalCountsFromTheLastByteAndTheSoonerLimitEndsTheRead) {
  const CommTimeouts interval = Read(20, 0, 0);
  EXPECT_EQ(ReadWaitMs(interval, 5, 0, milliseconds(5000), kNoByteYet), kReadWaitUnlimited);
  EXPECT_EQ(ReadWaitMs(interval, 5, 1, milliseconds(5000), milliseconds(5)), 15);
  EXPECT_EQ(ReadWaitMs(interval, 5, 1, milliseconds(5000), milliseconds(20)), 0);
  const CommTimeouts both = Read(30, 0, 100);
  EXPECT_EQ(ReadWaitMs(both, 5, 1, milliseconds(10), milliseconds(2)), 28);
  EXPECT_EQ(ReadWaitMs(both, 5, 1, milliseconds(90), milliseconds(2)), 10);
}

TEST(ReadWaitMs, TheLongestTimeOutsGiveTheLongestSingleWait) {
  // MAXDWORD - 1 per byte over a long read is far beyond the clock's range.
  const CommTimeouts longest = Read(0, kMaxDword - 1, kMaxDword - 1);
  EXPECT_EQ(ReadWaitMs(longest, 100000, 0, milliseconds(1000), kNoByteYet), 1 << 30);
  EXPECT_EQ(ReadWaitMs(Read(kMaxDword - 1, 0, 0), 1, 1, milliseconds(1), milliseconds(0)), 1 << 30);
}

}  // namespace
}  // namespace trellon
