#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trellon::sim::testing {

using SteadyTime = std::chrono::steady_clock::time_point;

// The built vx710-sim as a child process: commands go to its stdin, its stdout is collected
// line by line. Waits are in real time (it is another process) with generous time-outs.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The device path from the "device ..." line (empty if the simulator did not start).
  const std::string& device() const { return device_; }

  void Send(const std::string& commandLine);
  void CloseInput();
  // Waits for a line equal to `line` after the last line found; true when it came.
  bool WaitForLine(const std::string& line, int timeoutMs = 5000);
  // Collects output for `ms` (0: what is there now) and returns every line seen so far.
  const std::vector<std::string>& LinesAfter(int ms);
  // Exit status, or nothing when the process did not end in time.
  std::optional<int> WaitExit(int timeoutMs = 5000);

 private:
  bool Pump(int timeoutMs);

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t searchFrom_ = 0;
  std::string device_;
  bool exited_ = false;
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
  void Close();

 private:
  int fd_ = -1;
};

// The ten hello frames, 100 ms apart, as the program sends them.
void SendHelloBurst(DevicePeer& peer);

}  // namespace trellon::sim::testing
