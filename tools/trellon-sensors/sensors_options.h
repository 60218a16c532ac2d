#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trellon::sensors {

// trellon-sensors' command line.
struct SensorsOptions {
  bool list = false;
  bool help = false;
  // The pin file; empty: $XDG_CONFIG_HOME/trellon/sensors.conf (or ~/.config/...).
  std::string pinFile;
  // The shared block's name (tests use their own).
  std::string block;
  int intervalMs = 1000;
  // Stop after this many publications (tests); 0: until stopped.
  int count = 0;
};

// Nothing, with the reason in `error`, for a command line that cannot be used.
std::optional<SensorsOptions> ParseSensorsOptions(const std::vector<std::string>& arguments,
                                                  std::string& error);

extern const char* const kSensorsUsage;

}  // namespace trellon::sensors
