#pragma once

#include <cstdint>
#include <string>

#include "remote/key_interfaces.h"

namespace trellon {

// The remote's name on the LIRC socket, as on the key server.
constexpr const char* kLircRemoteName = "vx710";

// One line of lircd's broadcast format: "<code as 16 hex digits> <repeat count as 2 hex digits>
// <key name> <remote name>\n", hex digits in lower case as lircd writes them.
std::string LircLine(uint64_t code, uint8_t repeatCount, const std::string& keyName);

// The code a key carries on the LIRC socket: the controller's byte for the key (the power code
// for "power"), 0 for a name the remote does not have.
uint64_t LircCodeForKey(const std::string& keyName);

// Repeat counts as LIRC clients expect them: 0 for the first key of a press, then 1, 2, ... for
// each repeat the repeat filter forwards (repeats it drops are not counted), staying at 255 for
// a key held longer than that.
class LircRepeatCounter {
 public:
  uint8_t Next(const ForwardedKey& key);

 private:
  uint8_t count_ = 0;
};

}  // namespace trellon
