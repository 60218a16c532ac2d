#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim_wire.h"

namespace trellon::sim {

// Records what the simulator writes to the program; can be "closed", and dropped and restored
// as a fault does with the line.
class FakeWire final : public SimWire {
 public:
  bool IsOpen() override { return open && !dropped; }
  bool Write(std::span<const uint8_t> bytes) override {
    if (!IsOpen()) return false;
    written.insert(written.end(), bytes.begin(), bytes.end());
    return true;
  }
  void DropLine() override {
    dropped = true;
    ++drops;
  }
  bool RestoreLine(std::string& text) override {
    dropped = false;
    text = "/dev/pts/" + std::to_string(drops);
    return true;
  }
  std::vector<uint8_t> Take() { return std::exchange(written, {}); }

  bool open = true;
  bool dropped = false;
  int drops = 0;
  std::vector<uint8_t> written;
};

}  // namespace trellon::sim
