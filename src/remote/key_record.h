#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace trellon {

// The record an IRTrans client receives for every key: 312 bytes, little-endian integers, every
// byte not named below zero.
//   0   u32  160
//   6   u16  4
//   12  80   remote name "vx710", zero-terminated
//   92  20   key name, zero-terminated
class KeyRecord {
 public:
  static constexpr size_t kSize = 312;
  static constexpr size_t kRemoteNameOffset = 12;
  static constexpr size_t kRemoteNameSize = 80;
  static constexpr size_t kKeyNameOffset = 92;
  static constexpr size_t kKeyNameSize = 20;
  static constexpr std::string_view kRemoteName = "vx710";

  // A key name longer than 19 characters is cut to 19 so that the field keeps its terminator.
  explicit KeyRecord(std::string_view keyName);

  const std::array<uint8_t, kSize>& Bytes() const { return bytes_; }
  const uint8_t* Data() const { return bytes_.data(); }
  static constexpr size_t Size() { return kSize; }

 private:
  std::array<uint8_t, kSize> bytes_{};
};

}  // namespace trellon
