#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "fans/speedfan_view.h"
#include "sensor_slots.h"

namespace trellon::sensors {

// Writes the temperature table of the SpeedFan shared block, the way SpeedFan fills it on
// Windows: 32 signed 32-bit little-endian values in hundredths of a degree, slot k at byte
// 18 + 4 k. The rest of the block is left as it is. The block is created (owner read and write
// only) when no one has made it yet, and grown to its full size when it is shorter.
class SpeedFanBlockWriter {
 public:
  explicit SpeedFanBlockWriter(std::string name = kSpeedFanBlockName);
  ~SpeedFanBlockWriter();
  SpeedFanBlockWriter(const SpeedFanBlockWriter&) = delete;
  SpeedFanBlockWriter& operator=(const SpeedFanBlockWriter&) = delete;

  bool IsOpen() const { return block_ != nullptr; }
  const std::string& Error() const { return error_; }

  void Write(const std::array<int32_t, kSlotCount>& values);

 private:
  std::string name_;
  uint8_t* block_ = nullptr;
  std::string error_;
};

}  // namespace trellon::sensors
