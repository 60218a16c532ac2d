#include "app/log_time_format.h"

#include <cmath>
#include <ctime>

#include "base/clock.h"

namespace trellon {
namespace {

std::string FormatPart(const char* format, const tm& parts, locale_t locale) {
  char buffer[128];
  const size_t length = strftime_l(buffer, sizeof buffer, format, &parts, locale);
  return std::string(buffer, length);
}

// Whole days since 1899-12-30 of the date in parts.
long DayNumber(int year, int month, int day) {
  DateTimeParts date;
  date.year = year;
  date.month = month;
  date.day = day;
  date.hour = date.minute = date.second = date.millisecond = 0;
  return std::lround(EncodeDateTime(date));
}

}  // namespace

LogTimeFormat::LogTimeFormat(const char* localeName) {
  locale_t locale = newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) {
    locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  }
  locale_.reset(locale, [](locale_t owned) {
    if (owned != static_cast<locale_t>(0)) freelocale(owned);
  });
}

std::string LogTimeFormat::Format(double now) const {
  const DateTimeParts parts = DecodeDateTime(now);
  tm broken{};
  broken.tm_year = parts.year - 1900;
  broken.tm_mon = parts.month - 1;
  broken.tm_mday = parts.day;
  broken.tm_hour = parts.hour;
  broken.tm_min = parts.minute;
  broken.tm_sec = parts.second;
  // 1899-12-30, day 0, was a Saturday.
  const long dayNumber = DayNumber(parts.year, parts.month, parts.day);
  broken.tm_wday = static_cast<int>(((dayNumber + 6) % 7 + 7) % 7);
  broken.tm_yday = static_cast<int>(dayNumber - DayNumber(parts.year, 1, 1));
  broken.tm_isdst = -1;
  std::string text = FormatPart("%x", broken, locale_.get());
  if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
    text += ' ';
    text += FormatPart("%X", broken, locale_.get());
  }
  return text;
}

}  // namespace trellon
