#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace trellon {

// SpeedFan publishes its readings in a named shared-memory block. Of the block only its size and
// the temperature table are used: 32 signed 32-bit little-endian values in hundredths of a degree
// Celsius, slot k at byte 18 + 4 k.
constexpr size_t kSpeedFanBlockSize = 402;
constexpr size_t kSpeedFanTemperatureOffset = 18;
constexpr int32_t kSpeedFanSlotCount = 32;
// The block's POSIX shared-memory name (a Windows backend drops the leading slash).
constexpr const char* kSpeedFanBlockName = "/SFSharedMemory_ALM";

// Read access to SpeedFan's temperature table. Main thread only; SpeedFan writes the block from
// its own process without any lock, so each slot is read on its own.
class SpeedFanView {
 public:
  virtual ~SpeedFanView() = default;
  // The raw value of slot 0..31 in hundredths of a degree; 0 for a slot outside the table or the
  // block, and when no block is mapped.
  virtual int32_t SlotValue(int32_t slot) const = 0;
};

// The shared-memory block itself: created zero-filled (owner read/write only) when SpeedFan has
// not created it, and held open for the object's lifetime. Slots are read from the block as it
// is at that moment, never through a mapping: a block that shrank reads 0 where it ends, and a
// block that was removed and created again under the name (SpeedFan restarted) is followed. A
// block that was removed for good keeps its last values. When the block can be neither created
// nor opened, every slot reads 0 and the program runs on.
class SharedMemorySpeedFanView final : public SpeedFanView {
 public:
  explicit SharedMemorySpeedFanView(std::string name = kSpeedFanBlockName);
  ~SharedMemorySpeedFanView() override;
  SharedMemorySpeedFanView(const SharedMemorySpeedFanView&) = delete;
  SharedMemorySpeedFanView& operator=(const SharedMemorySpeedFanView&) = delete;

  int32_t SlotValue(int32_t slot) const override;

  bool IsOpen() const { return block_ != nullptr; }
  // Why the block is not open (empty when it is).
  const std::string& Error() const { return error_; }

 private:
  // This platform's hold on the block; the backend defines it.
  struct Block;

  // Backend: when the name now stands for another block than the one held, holds that one
  // instead.
  void FollowReplacedBlock() const;
  // Backend: copies up to `size` bytes from `offset` of the block as it is now; returns how many
  // it copied, fewer where the block ends.
  size_t ReadBlock(size_t offset, uint8_t* bytes, size_t size) const;

  std::string name_;
  // Changed by reads that follow a replaced block; the pointer itself stays.
  std::unique_ptr<Block> block_;
  std::string error_;
};

}  // namespace trellon
