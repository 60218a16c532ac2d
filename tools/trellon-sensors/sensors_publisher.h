#pragma once

#include <vector>

#include "sensor_slots.h"
#include "sensor_source.h"
#include "speedfan_block_writer.h"

namespace trellon::sensors {

// One publication: the source read, the slots kept up to date, the block written.
class SensorsPublisher {
 public:
  SensorsPublisher(SensorSource& source, SlotTable& table, SpeedFanBlockWriter& writer)
      : source_(source), table_(table), writer_(writer) {}

  // Returns what was read, for the listing.
  std::vector<SensorReading> PublishOnce();
  // Every slot to 0 (no reading): the temperatures must not outlive the publisher.
  void Withdraw();

 private:
  SensorSource& source_;
  SlotTable& table_;
  SpeedFanBlockWriter& writer_;
};

}  // namespace trellon::sensors
