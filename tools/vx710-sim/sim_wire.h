#pragma once

#include <cstdint>
#include <span>
#include <string>

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
  // Takes the line away, as a pulled cable or a controller that resets would: the program's open
  // device breaks and its path is gone until RestoreLine.
  virtual void DropLine() = 0;
  // Brings the line back under the same path; true with the device's name in `text`, false with
  // the reason.
  virtual bool RestoreLine(std::string& text) = 0;
};

}  // namespace trellon::sim
