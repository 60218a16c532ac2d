#include "fans/speedfan_view.h"

namespace trellon {

int32_t SharedMemorySpeedFanView::SlotValue(int32_t slot) const {
  if (view_ == nullptr || slot < 0 || slot >= kSpeedFanSlotCount) return 0;
  const size_t offset = kSpeedFanTemperatureOffset + 4 * static_cast<size_t>(slot);
  if (offset + 4 > length_) return 0;
  // Byte by byte: the table is not 4-byte aligned, and the block is little-endian on any host.
  const volatile uint8_t* p = view_ + offset;
  const uint32_t raw = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(raw);
}

}  // namespace trellon
