#pragma once

#include <cstdint>
#include <vector>

namespace trellon {

// Modem input lines as a set: bit 0 CTS, bit 1 DSR, bit 2 ring, bit 3 carrier detect.
using TModemLines = uint8_t;
constexpr TModemLines kLineCTS = 1;
constexpr TModemLines kLineDSR = 2;
constexpr TModemLines kLineRing = 4;
constexpr TModemLines kLineRLSD = 8;

// What the controller link and the volume knob use of the serial port. TComPort implements it;
// failures are raised as EComPort.
class ControllerPort {
 public:
  virtual ~ControllerPort() = default;
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual bool Connected() const = 0;
  virtual void SetRTSLine(bool on) = 0;
  virtual void SetDTRLine(bool on) = 0;
  // Writes all bytes; returns when the write has completed.
  virtual int32_t WriteBytes(const std::vector<uint8_t>& bytes) = 0;
  // Reads up to count bytes that are queued and returns what was read.
  virtual std::vector<uint8_t> ReadBytes(int32_t count) = 0;
  virtual TModemLines ModemLines() = 0;
};

}  // namespace trellon
