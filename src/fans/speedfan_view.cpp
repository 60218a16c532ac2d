#include "fans/speedfan_view.h"

#include <bit>
#include <cstring>

namespace trellon {

int32_t SharedMemorySpeedFanView::SlotValue(int32_t slot) const {
  if (view_ == nullptr || slot < 0 || slot >= kSpeedFanSlotCount) return 0;
  const size_t offset = kSpeedFanTemperatureOffset + 4 * static_cast<size_t>(slot);
  if (offset + 4 > length_) return 0;
  // One 32-bit read, so that SpeedFan writing meanwhile cannot mix an old and a new value; the
  // table is not 4-byte aligned, which memcpy handles (one load on the hosts we run on). The
  // block is little-endian.
  uint32_t raw = 0;
  std::memcpy(&raw, const_cast<const uint8_t*>(view_ + offset), sizeof raw);
  if constexpr (std::endian::native == std::endian::big) raw = __builtin_bswap32(raw);
  return static_cast<int32_t>(raw);
}

}  // namespace trellon
