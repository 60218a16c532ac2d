#include "remote/lirc_format.h"

#include <cstdio>

#include "protocol/controller_protocol.h"

namespace trellon {

std::string LircLine(uint64_t code, uint8_t repeatCount, const std::string& keyName) {
  char head[24];
  std::snprintf(head, sizeof head, "%016llx %02x ", static_cast<unsigned long long>(code),
                static_cast<unsigned>(repeatCount));
  return head + keyName + " " + kLircRemoteName + "\n";
}

uint64_t LircCodeForKey(const std::string& keyName) {
  if (keyName == "power") return vx710::kPowerCode;
  if (const auto code = vx710::CodeForKeyName(keyName)) return *code;
  return 0;
}

uint8_t LircRepeatCounter::Next(const ForwardedKey& key) {
  if (!key.repeat) {
    count_ = 0;
  } else if (count_ < 0xff) {
    ++count_;
  }
  return count_;
}

}  // namespace trellon
