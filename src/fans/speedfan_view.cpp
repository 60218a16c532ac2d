#include "fans/speedfan_view.h"

namespace trellon {
namespace {

// A slot that keeps changing between readings is taken as last read after this many.
constexpr int kMaxSlotReads = 8;
constexpr size_t kSlotSize = 4;

}  // namespace

int32_t SharedMemorySpeedFanView::SlotValue(int32_t slot) const {
  if (!IsOpen() || slot < 0 || slot >= kSpeedFanSlotCount) return 0;
  FollowReplacedBlock();
  const size_t offset = kSpeedFanTemperatureOffset + kSlotSize * static_cast<size_t>(slot);
  // The slot's four bytes as they are now, little-endian on every host; a slot that the block
  // (shrunk since) no longer holds whole reads 0.
  const auto readSlot = [this, offset]() -> uint32_t {
    uint8_t bytes[kSlotSize] = {};
    if (ReadBlock(offset, bytes, kSlotSize) < kSlotSize) return 0;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  };
  // SpeedFan writes the table from its own process without a lock, and the slots are not 4-byte
  // aligned (slot 11 straddles a cache line), so no single read of a slot is atomic. The slot is
  // read until two readings in a row agree: a value half old, half new would have to stay put
  // across both, which a writer that stores each value at once does not leave for that long. It
  // is not a guarantee: a writer caught between its two halves for the whole of two readings
  // could still be read mixed. A slot that changes on every reading gives the last one.
  uint32_t raw = readSlot();
  for (int reads = 1; reads < kMaxSlotReads; ++reads) {
    const uint32_t again = readSlot();
    if (again == raw) break;
    raw = again;
  }
  return static_cast<int32_t>(raw);
}

}  // namespace trellon
