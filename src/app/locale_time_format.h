#pragma once

#include <memory>
#include <string>

#include "base/clock.h"

namespace trellon {

// The user's regional date and time formats of one locale, as the platform keeps them.
class LocaleTimeFormat {
 public:
  virtual ~LocaleTimeFormat() = default;
  // The short date ("07.12.2026" under de_DE).
  virtual std::string ShortDate(const DateTimeParts& parts) const = 0;
  // The long time ("04:14:33" under de_DE).
  virtual std::string LongTime(const DateTimeParts& parts) const = 0;
};

// The formats of LC_TIME for localeName; "" takes LC_TIME from the environment, as it is at the
// call; a name the platform does not know gives its neutral formats.
std::shared_ptr<const LocaleTimeFormat> MakeLocaleTimeFormat(const char* localeName);

}  // namespace trellon
