#pragma once

#include <cstdint>
#include <vector>

namespace trellon {

// The way to the case controller as the fan regulation uses it; the controller link implements
// it. Main thread only.
class ControllerChannel {
 public:
  virtual ~ControllerChannel() = default;
  // True while the controller is attached (fan commands are sent only then).
  virtual bool IsAttached() const = 0;
  // Writes one frame to the controller in one write; returns when the write has completed.
  virtual void SendToController(const std::vector<uint8_t>& bytes) = 0;
};

}  // namespace trellon
