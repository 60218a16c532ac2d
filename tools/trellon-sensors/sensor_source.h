#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trellon::sensors {

// One temperature of the machine as lm-sensors names it: the chip ("coretemp-isa-0000") and the
// label ("Package id 0"), with the user's sensors.conf labels and corrections applied.
struct SensorReading {
  std::string chip;
  std::string label;
  // Nothing when the sensor could not be read this time.
  std::optional<double> celsius;
};

// Where the temperatures come from. Read() gives every temperature sensor present now; one that
// has gone (a USB device unplugged, a driver unloaded) is simply not in the list.
class SensorSource {
 public:
  virtual ~SensorSource() = default;
  virtual std::vector<SensorReading> Read() = 0;
};

// Backend: the machine's sensors through libsensors; nothing, with the reason, when libsensors
// cannot start (a broken sensors.conf).
std::unique_ptr<SensorSource> CreateLibsensorsSource(std::string& error);

}  // namespace trellon::sensors
