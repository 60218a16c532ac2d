#include "sensors_options.h"

#include <charconv>

namespace trellon::sensors {

const char* const kSensorsUsage =
    "Usage: trellon-sensors [--list] [--pins FILE] [--block NAME] [--interval MS] [--count N]\n"
    "Publishes the machine's temperatures (lm-sensors) once a second into the SpeedFan block\n"
    "that Trellon reads, slot k at byte 18 + 4 k in hundredths of a degree.\n"
    "  --list          print slot, chip, label and value of every sensor, then end\n"
    "  --pins FILE     slots pinned to sensors, lines \"<slot> <chip> <label>\"\n"
    "                  (default $XDG_CONFIG_HOME/trellon/sensors.conf)\n"
    "  --block NAME    the shared block (default /SFSharedMemory_ALM)\n"
    "  --interval MS   time between publications (default 1000)\n"
    "  --count N       end after N publications (default: run until stopped)\n";

namespace {

bool ParseCount(const std::string& text, int minimum, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= minimum;
}

}  // namespace

std::optional<SensorsOptions> ParseSensorsOptions(const std::vector<std::string>& arguments,
                                                  std::string& error) {
  SensorsOptions options;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> const std::string* {
      if (i + 1 >= arguments.size()) return nullptr;
      return &arguments[++i];
    };
    if (argument == "--list") {
      options.list = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--pins" || argument == "--block") {
      const std::string* text = value();
      if (!text || text->empty()) {
        error = argument + " needs a value";
        return std::nullopt;
      }
      (argument == "--pins" ? options.pinFile : options.block) = *text;
    } else if (argument == "--interval" || argument == "--count") {
      const std::string* text = value();
      int number = 0;
      if (!text || !ParseCount(*text, argument == "--interval" ? 10 : 1, number)) {
        error = argument + " needs a number" + (argument == "--interval" ? " of 10 or more" : "");
        return std::nullopt;
      }
      (argument == "--interval" ? options.intervalMs : options.count) = number;
    } else {
      error = "unknown option " + argument;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace trellon::sensors
