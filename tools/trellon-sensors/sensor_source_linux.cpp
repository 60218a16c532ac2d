#include <sensors/error.h>
#include <sensors/sensors.h>

#include <cstdio>

#include "sensor_source.h"

namespace trellon::sensors {
namespace {

// libsensors finds chips only when it starts, so it starts again now and then: a sensor that
// comes back (a device plugged in again, a driver reloaded) is seen within this many reads. A
// read that fails starts it again at once.
constexpr int kReadsPerRescan = 10;

class LibsensorsSource final : public SensorSource {
 public:
  LibsensorsSource() = default;
  ~LibsensorsSource() override { sensors_cleanup(); }
  LibsensorsSource(const LibsensorsSource&) = delete;
  LibsensorsSource& operator=(const LibsensorsSource&) = delete;

  std::vector<SensorReading> Read() override {
    if (++reads_ >= kReadsPerRescan || failed_) Rescan();
    failed_ = false;
    std::vector<SensorReading> readings;
    int chipIndex = 0;
    while (const sensors_chip_name* chip = sensors_get_detected_chips(nullptr, &chipIndex)) {
      char chipName[256];
      if (sensors_snprintf_chip_name(chipName, sizeof chipName, chip) < 0) continue;
      int featureIndex = 0;
      while (const sensors_feature* feature = sensors_get_features(chip, &featureIndex)) {
        if (feature->type != SENSORS_FEATURE_TEMP) continue;
        const sensors_subfeature* input =
            sensors_get_subfeature(chip, feature, SENSORS_SUBFEATURE_TEMP_INPUT);
        if (!input) continue;
        SensorReading reading;
        reading.chip = chipName;
        if (char* label = sensors_get_label(chip, feature)) {
          reading.label = label;
          free(label);
        } else {
          reading.label = feature->name;
        }
        double value = 0.0;
        if (sensors_get_value(chip, input->number, &value) == 0) {
          reading.celsius = value;
        } else {
          failed_ = true;
        }
        readings.push_back(std::move(reading));
      }
    }
    return readings;
  }

  bool Start(std::string& error) {
    const int result = sensors_init(nullptr);
    if (result != 0) {
      error = std::string("libsensors cannot start: ") + sensors_strerror(result);
      return false;
    }
    return true;
  }

 private:
  void Rescan() {
    reads_ = 0;
    sensors_cleanup();
    // The configuration was good at start; should it break meanwhile, no chips is the answer.
    sensors_init(nullptr);
  }

  int reads_ = 0;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<SensorSource> CreateLibsensorsSource(std::string& error) {
  auto source = std::make_unique<LibsensorsSource>();
  if (!source->Start(error)) return nullptr;
  return source;
}

}  // namespace trellon::sensors
