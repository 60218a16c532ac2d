#include "remote/key_record.h"

#include <algorithm>

namespace trellon {
namespace {

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

// Copies text into a zeroed field, always leaving at least one terminating zero.
void PutText(uint8_t* field, size_t fieldSize, std::string_view text) {
  const size_t length = std::min(text.size(), fieldSize - 1);
  std::copy_n(text.begin(), length, field);
}

}  // namespace

KeyRecord::KeyRecord(std::string_view keyName) {
  PutU32(&bytes_[0], 160);
  PutU16(&bytes_[6], 4);
  PutText(&bytes_[kRemoteNameOffset], kRemoteNameSize, kRemoteName);
  PutText(&bytes_[kKeyNameOffset], kKeyNameSize, keyName);
}

}  // namespace trellon
