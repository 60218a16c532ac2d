#pragma once

#include <cstddef>
#include <cstdint>
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
// not created it, mapped read-only for the object's lifetime. When it can be neither created nor
// opened nor mapped, every slot reads 0 and the program runs on.
class SharedMemorySpeedFanView final : public SpeedFanView {
 public:
  explicit SharedMemorySpeedFanView(std::string name = kSpeedFanBlockName);
  ~SharedMemorySpeedFanView() override;
  SharedMemorySpeedFanView(const SharedMemorySpeedFanView&) = delete;
  SharedMemorySpeedFanView& operator=(const SharedMemorySpeedFanView&) = delete;

  int32_t SlotValue(int32_t slot) const override;

  bool IsMapped() const { return view_ != nullptr; }
  // Why the block is not mapped (empty when it is).
  const std::string& Error() const { return error_; }

 private:
  std::string name_;
  const volatile uint8_t* view_ = nullptr;
  size_t length_ = 0;  // the mapped bytes: the block size, or less if the block is shorter
  std::string error_;
};

}  // namespace trellon
