#include "sensors_publisher.h"

namespace trellon::sensors {

std::vector<SensorReading> SensorsPublisher::PublishOnce() {
  std::vector<SensorReading> readings = source_.Read();
  writer_.Write(table_.Update(readings));
  return readings;
}

void SensorsPublisher::Withdraw() {
  writer_.Write({});
}

}  // namespace trellon::sensors
