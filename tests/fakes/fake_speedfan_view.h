#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fans/speedfan_view.h"

namespace trellon::fakes {

// SpeedFan's table with settable slots; records which slots were read.
class FakeSpeedFanView : public SpeedFanView {
 public:
  int32_t SlotValue(int32_t slot) const override {
    reads.push_back(slot);
    if (slot < 0 || slot >= kSpeedFanSlotCount) return 0;
    return slotValues[static_cast<size_t>(slot)];
  }
  std::array<int32_t, kSpeedFanSlotCount> slotValues{};
  mutable std::vector<int32_t> reads;
};

}  // namespace trellon::fakes
