#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "link/comm_device.h"

namespace trellon {

// A read's wait without a limit.
inline constexpr int kReadWaitUnlimited = -1;

// How long a read that has found nothing queued may wait for more bytes, by the time-outs:
// 0 ends the read, kReadWaitUnlimited waits without limit, otherwise at most that many
// milliseconds.
//
// - MAXDWORD interval, no totals: the read takes what is queued and returns at once.
// - MAXDWORD interval and multiplier, a constant below MAXDWORD: the read ends with its first
//   byte, or after the constant.
// - Otherwise the totals give the whole read multiplier * length + constant (both 0: no limit),
//   and an interval other than 0 and MAXDWORD ends it that long after the last byte.
//
// length: bytes asked for; read: bytes read so far; elapsed: since the read began;
// sinceLastByte: since the last byte came, empty before the first.
int ReadWaitMs(const CommTimeouts& timeouts, uint32_t length, uint32_t read,
               std::chrono::nanoseconds elapsed,
               std::optional<std::chrono::nanoseconds> sinceLastByte);

}  // namespace trellon
