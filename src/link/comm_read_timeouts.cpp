#include "link/comm_read_timeouts.h"

#include <algorithm>

namespace trellon {
namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFF;
// The longest single wait handed to the system.
constexpr int64_t kLongestWaitMs = int64_t{1} << 30;
// Totals beyond any real wait (about 35 years) are cut here, so they cannot overflow in
// nanoseconds; the waits that come out are the same.
constexpr uint64_t kLongestTotalMs = uint64_t{1} << 40;

// Whole milliseconds left of `limit` after `spent`, at least 0.
int MsLeft(std::chrono::nanoseconds limit, std::chrono::nanoseconds spent) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - spent).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, kLongestWaitMs));
}

}  // namespace

int ReadWaitMs(const CommTimeouts& t, uint32_t length, uint32_t read,
               std::chrono::nanoseconds elapsed,
               std::optional<std::chrono::nanoseconds> sinceLastByte) {
  const bool immediate = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
  const bool firstByte = t.ReadIntervalTimeout == kMaxDword &&
                         t.ReadTotalTimeoutMultiplier == kMaxDword &&
                         t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword;
  if (immediate || (firstByte && read > 0)) return 0;

  std::optional<std::chrono::milliseconds> total;
  if (firstByte) {
    total = std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
  } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
    const uint64_t totalMs =
        uint64_t{t.ReadTotalTimeoutMultiplier} * length + t.ReadTotalTimeoutConstant;
    total = std::chrono::milliseconds(std::min(totalMs, kLongestTotalMs));
  }
  int wait = total ? MsLeft(*total, elapsed) : kReadWaitUnlimited;
  const bool useInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
  if (useInterval && sinceLastByte) {
    const int intervalLeft =
        MsLeft(std::chrono::milliseconds(t.ReadIntervalTimeout), *sinceLastByte);
    wait = wait == kReadWaitUnlimited ? intervalLeft : std::min(wait, intervalLeft);
  }
  return wait;
}

}  // namespace trellon
