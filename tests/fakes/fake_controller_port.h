#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/clock.h"
#include "link/controller_port.h"

namespace trellon::fakes {

// What the fake port raises where the real one raises EComPort.
class FakePortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A serial port that records every call in order (writes with the clock's tick count at the
// time), hands out queued received bytes, and reports settable modem lines.
class FakeControllerPort : public ControllerPort {
 public:
  struct Write {
    uint32_t tick;
    std::vector<uint8_t> bytes;
    bool operator==(const Write&) const = default;
  };

  explicit FakeControllerPort(const Clock* clock = nullptr) : clock_(clock) {}

  void Open() override;
  void Close() override;
  bool Connected() const override { return connected; }
  void SetRTSLine(bool on) override;
  void SetDTRLine(bool on) override;
  int32_t WriteBytes(const std::vector<uint8_t>& bytes) override;
  std::vector<uint8_t> ReadBytes(int32_t count) override;
  TModemLines ModemLines() override;

  // Queues bytes as if the controller had sent them.
  void Queue(const std::vector<uint8_t>& bytes) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
  }
  // All bytes written so far, concatenated.
  std::vector<uint8_t> WrittenBytes() const;

  bool connected = false;
  TModemLines lines = 0;
  // The next this many Open calls fail with openError.
  int openFailuresLeft = 0;
  std::string openError = "Unable to open com port (win error code: 2)";
  bool failWrites = false;
  std::deque<uint8_t> incoming;
  // "Open", "Close", "SetRTSLine(1)", "SetDTRLine(0)", "WriteBytes", "ReadBytes(n)", "ModemLines";
  // failed opens are recorded as "Open failed".
  std::vector<std::string> calls;
  std::vector<Write> writes;

 private:
  const Clock* clock_;
};

}  // namespace trellon::fakes
