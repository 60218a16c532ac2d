#include "app/log_time_format.h"

#include "app/locale_time_format.h"
#include "base/clock.h"

namespace trellon {

LogTimeFormat::LogTimeFormat(const char* localeName) : locale_(MakeLocaleTimeFormat(localeName)) {}

std::string LogTimeFormat::Format(double now) const {
  const DateTimeParts parts = DecodeDateTime(now);
  std::string text = locale_->ShortDate(parts);
  if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
    text += ' ';
    text += locale_->LongTime(parts);
  }
  return text;
}

}  // namespace trellon
