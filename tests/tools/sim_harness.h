#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace trellon::sim::testing {

using test_support::ExitStatus;
using test_support::SteadyTime;

// The built simulator.
class SimProcess : public test_support::SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& options = {})
      : test_support::SimProcess(VX710_SIM_PATH, options) {}
};

// The program's side of the device: opened like a serial port, raw.
class DevicePeer {
 public:
  struct Byte {
    uint8_t value;
    SteadyTime when;
  };

  explicit DevicePeer(const std::string& path);
  ~DevicePeer();
  DevicePeer(const DevicePeer&) = delete;
  DevicePeer& operator=(const DevicePeer&) = delete;

  bool is_open() const { return fd_ >= 0; }
  void Write(const std::vector<uint8_t>& bytes);
  // Reads until `count` bytes came or the time-out passed; each byte with its arrival time.
  std::vector<Byte> ReadTimed(size_t count, int timeoutMs);
  std::vector<uint8_t> Read(size_t count, int timeoutMs);
  // Reads up to and including the first byte equal to `last`, or until the time-out passed.
  std::vector<uint8_t> ReadThrough(uint8_t last, int timeoutMs);
  void Close();

 private:
  int fd_ = -1;
};

// The ten hello frames, 100 ms apart, as the program sends them.
void SendHelloBurst(DevicePeer& peer);

}  // namespace trellon::sim::testing
