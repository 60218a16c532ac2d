#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trellon::sim {

// One frame that the program sent to the controller.
struct ProgramFrame {
  enum class Kind { Hello, Attach, FanRear, FanFront, Tick, Detach, Unknown };
  Kind kind = Kind::Unknown;
  uint8_t value = 0;  // the fan value, or the byte that fitted no frame

  bool operator==(const ProgramFrame&) const = default;
};

// The frame in readable form, one line: "hello", "fan rear 88 (50 %)", "unknown 0x41".
std::string DescribeFrame(const ProgramFrame& frame);

// Splits the program's byte stream into frames. The first byte of a two-byte frame waits for its
// second; if that does not come within kPartialFrameMs the lone byte is reported as unknown, so
// that a stray byte cannot pair up with the first byte of a frame sent much later.
class FrameDecoder {
 public:
  static constexpr uint32_t kPartialFrameMs = 500;

  // Bytes received at tick `now` (milliseconds); returns the frames they completed.
  std::vector<ProgramFrame> Feed(std::span<const uint8_t> bytes, uint32_t now);
  // The lone first byte as an unknown frame once its time is up, else nothing.
  std::vector<ProgramFrame> Expire(uint32_t now);
  // When Expire will have something to say; nothing when no byte is waiting.
  std::optional<uint32_t> PendingDeadline() const;

 private:
  std::optional<uint8_t> pending_;
  uint32_t pendingSince_ = 0;
};

}  // namespace trellon::sim
