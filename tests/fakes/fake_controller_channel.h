#pragma once

#include <cstdint>
#include <vector>

#include "fans/controller_channel.h"

namespace trellon::fakes {

// The controller as the regulation sees it: attached or not, and every frame sent.
class FakeControllerChannel : public ControllerChannel {
 public:
  bool IsAttached() const override { return attached; }
  void SendToController(const std::vector<uint8_t>& bytes) override { frames.push_back(bytes); }
  bool attached = false;
  std::vector<std::vector<uint8_t>> frames;
};

}  // namespace trellon::fakes
