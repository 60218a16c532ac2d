// Regional formats on POSIX: the C library's %x and %X under a locale of its own (newlocale), so
// that the program's global locale stays as it is.
#include <locale.h>
#include <time.h>

#include <cmath>

#include "app/locale_time_format.h"

namespace trellon {
namespace {

// Whole days since 1899-12-30 of a date.
long DayNumber(int year, int month, int day) {
  DateTimeParts date;
  date.year = year;
  date.month = month;
  date.day = day;
  date.hour = date.minute = date.second = date.millisecond = 0;
  return std::lround(EncodeDateTime(date));
}

tm BrokenDown(const DateTimeParts& parts) {
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
  return broken;
}

class PosixLocaleTimeFormat final : public LocaleTimeFormat {
 public:
  explicit PosixLocaleTimeFormat(const char* localeName)
      : locale_(newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(0))) {
    if (locale_ == static_cast<locale_t>(0)) {
      locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
  }
  ~PosixLocaleTimeFormat() override {
    if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
  }
  PosixLocaleTimeFormat(const PosixLocaleTimeFormat&) = delete;
  PosixLocaleTimeFormat& operator=(const PosixLocaleTimeFormat&) = delete;

  std::string ShortDate(const DateTimeParts& parts) const override { return Format("%x", parts); }
  std::string LongTime(const DateTimeParts& parts) const override { return Format("%X", parts); }

 private:
  std::string Format(const char* format, const DateTimeParts& parts) const {
    const tm broken = BrokenDown(parts);
    char buffer[128];
    const size_t length = strftime_l(buffer, sizeof buffer, format, &broken, locale_);
    return std::string(buffer, length);
  }

  locale_t locale_;
};

}  // namespace

std::shared_ptr<const LocaleTimeFormat> MakeLocaleTimeFormat(const char* localeName) {
  return std::make_shared<PosixLocaleTimeFormat>(localeName);
}

}  // namespace trellon
