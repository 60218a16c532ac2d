#pragma once

#include <cstdint>
#include <span>

namespace trellon::sim {

// The line from the simulated controller to the program: the pseudo-terminal in the tool, a
// recording fake in the tests.
class SimWire {
 public:
  virtual ~SimWire() = default;
  // True while the program side holds the device open.
  virtual bool IsOpen() = 0;
  // Writes the bytes in one go; false when they were dropped (device closed or its queue full).
  // A serial line loses what is sent while nobody listens, and so does the simulator.
  virtual bool Write(std::span<const uint8_t> bytes) = 0;
};

}  // namespace trellon::sim
