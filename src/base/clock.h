#pragma once

#include <atomic>
#include <cstdint>

namespace trellon {

// Days since 1899-12-30 00:00 local time, with the fraction of the day: the program's local
// date-time. One millisecond in days.
constexpr double kMillisecondsPerDay = 86400000.0;
constexpr double kSecondsPerDay = 86400.0;

// The two time sources of the program: the uptime tick count (wraps after 49.7 days) and the
// local date-time. Injected everywhere so that tests run timelines on a manual clock.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since boot as an unsigned 32-bit number; compare with wrap-around in mind.
  virtual uint32_t TickCount() const = 0;
  // Local date-time as a count of days since 1899-12-30.
  virtual double Now() const = 0;
  // Blocks the calling thread for ms milliseconds (a manual clock advances instead).
  virtual void Sleep(uint32_t ms) = 0;
};

// CLOCK_MONOTONIC and the local time zone.
class SystemClock final : public Clock {
 public:
  uint32_t TickCount() const override;
  double Now() const override;
  void Sleep(uint32_t ms) override;
};

// A clock that moves only when told; Sleep advances it. Safe to read from any thread.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t tick = 0, double now = 46363.0 /* 2026-12-07 00:00 */);
  uint32_t TickCount() const override { return tick_.load(); }
  double Now() const override { return now_.load(); }
  void Sleep(uint32_t ms) override { Advance(ms); }

  // Moves both the tick count and the local time forward by ms.
  void Advance(uint32_t ms);
  void SetTickCount(uint32_t tick) { tick_.store(tick); }
  void SetNow(double now) { now_.store(now); }

 private:
  std::atomic<uint32_t> tick_;
  std::atomic<double> now_;
};

// True when the tick count has reached `due`. The tick count wraps every 49.7 days, so the two
// are compared by their distance: a due value up to 2^31 ms behind the tick count is due, one
// ahead of it is not. A plain `due <= tick` would run a deadline set just before the wrap (due
// past 2^32, so small again) at once, and hold one due just before the wrap for 49 days.
constexpr bool TickReached(uint32_t tick, uint32_t due) {
  return static_cast<uint32_t>(tick - due) < 0x80000000u;
}

// Broken-down local date-time, and conversions to and from the day count.
struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

DateTimeParts DecodeDateTime(double days);
double EncodeDateTime(const DateTimeParts& parts);

}  // namespace trellon
