#include "fans/speedfan_view.h"

namespace trellon {
namespace {

// A slot that keeps changing between readings is taken as last read after this many.
constexpr int kMaxSlotReads = 8;

// The slot's four bytes as they are now; the block is little-endian on every host.
uint32_t ReadSlotBytes(const volatile uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

int32_t SharedMemorySpeedFanView::SlotValue(int32_t slot) const {
  if (view_ == nullptr || slot < 0 || slot >= kSpeedFanSlotCount) return 0;
  const size_t offset = kSpeedFanTemperatureOffset + 4 * static_cast<size_t>(slot);
  if (offset + 4 > length_) return 0;
  // SpeedFan writes the table from its own process without a lock, and the slots are not 4-byte
  // aligned (slot 11 straddles a cache line), so no single read of a slot is atomic. The slot is
  // read until two readings in a row agree: a value half old, half new would have to stay put
  // across both, which a writer that stores each value at once does not leave for that long. It
  // is not a guarantee: a writer caught between its two halves for the whole of two readings
  // could still be read mixed. A slot that changes on every reading gives the last one.
  const volatile uint8_t* bytes = view_ + offset;
  uint32_t raw = ReadSlotBytes(bytes);
  for (int reads = 1; reads < kMaxSlotReads; ++reads) {
    const uint32_t again = ReadSlotBytes(bytes);
    if (again == raw) break;
    raw = again;
  }
  return static_cast<int32_t>(raw);
}

}  // namespace trellon
