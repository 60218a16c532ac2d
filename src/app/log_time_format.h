#pragma once

#include <memory>
#include <string>

namespace trellon {

class LocaleTimeFormat;

// The log's time stamp: the user's short date and long time format (the C library's %x and %X
// under LC_TIME), separated by one blank; at exactly midnight (hour, minute and second all zero)
// only the date.
class LogTimeFormat {
 public:
  // localeName "" takes LC_TIME from the environment, as it is when the object is made; a name
  // the platform does not know gives its neutral formats ("C").
  explicit LogTimeFormat(const char* localeName = "");

  // now: local date-time in days since 1899-12-30.
  std::string Format(double now) const;

 private:
  std::shared_ptr<const LocaleTimeFormat> locale_;
};

}  // namespace trellon
