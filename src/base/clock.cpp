#include "base/clock.h"

#include <cmath>

namespace trellon {
namespace {

// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t kUnixEpochDays = 25569;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

ManualClock::ManualClock(uint32_t tick, double now) : tick_(tick), now_(now) {}

void ManualClock::Advance(uint32_t ms) {
  tick_.fetch_add(ms);
  double current = now_.load();
  while (!now_.compare_exchange_weak(current, current + ms / kMillisecondsPerDay)) {
  }
}

DateTimeParts DecodeDateTime(double days) {
  // Round to the millisecond first so that 0.99999 of a second does not read as the one before.
  const int64_t totalMs = static_cast<int64_t>(std::llround(days * kMillisecondsPerDay));
  int64_t dayNumber = totalMs / 86400000;
  int64_t msOfDay = totalMs % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    --dayNumber;
  }
  DateTimeParts parts;
  CivilFromDays(dayNumber - kUnixEpochDays, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(msOfDay / 3600000);
  parts.minute = static_cast<int>(msOfDay / 60000 % 60);
  parts.second = static_cast<int>(msOfDay / 1000 % 60);
  parts.millisecond = static_cast<int>(msOfDay % 1000);
  return parts;
}

double EncodeDateTime(const DateTimeParts& parts) {
  const int64_t dayNumber = DaysFromCivil(parts.year, parts.month, parts.day) + kUnixEpochDays;
  const int64_t msOfDay =
      ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  return static_cast<double>(dayNumber) + static_cast<double>(msOfDay) / kMillisecondsPerDay;
}

}  // namespace trellon
