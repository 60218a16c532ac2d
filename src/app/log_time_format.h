#pragma once

#include <locale.h>

#include <memory>
#include <string>

namespace trellon {

// The log's time stamp: the user's short date and long time format (the C library's %x and %X
// under LC_TIME), separated by one blank; at exactly midnight (hour, minute and second all zero)
// only the date.
class LogTimeFormat {
 public:
  // localeName "" takes LC_TIME from the environment, as it is when the object is made; a name
  // the C library does not know falls back to "C".
  explicit LogTimeFormat(const char* localeName = "");

  // now: local date-time in days since 1899-12-30.
  std::string Format(double now) const;

 private:
  std::shared_ptr<std::remove_pointer_t<locale_t>> locale_;
};

}  // namespace trellon
