#pragma once

// Real processes for the end-to-end tests: the program, the virtual controller, a key-server
// client and SpeedFan's shared block. Every wait is in real time with a generous limit, since
// these are other processes on a shared machine.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "support/temporary_directory.h"

namespace trellon::e2e {

using test_support::ChildProcess;
using test_support::Environment;
using test_support::ExitStatus;
using test_support::FreeTcpPort;
using test_support::SecondsBetween;
using test_support::SteadyTime;
using test_support::TemporaryDirectory;

// vx710-sim with a link to its device inside the test's directory (the path the program is given
// as its port, TRELLON_COM3), and its standard error there.
class SimProcess : public test_support::SimProcess {
 public:
  explicit SimProcess(const TemporaryDirectory& directory,
                      const std::vector<std::string>& options = {});

  const std::string& LinkPath() const { return linkPath_; }
  // True once the simulator printed its device (it is ready for the program).
  bool Started() const { return !Device().empty(); }

 private:
  std::string linkPath_;
};

// The real program, headless, in the test's directory (Trellon.ini, Trellon.log there; its
// standard error in trellon.stderr).
class ProgramProcess {
 public:
  ProgramProcess(const TemporaryDirectory& directory, const Environment& environment);

  // The messages of the log file's lines (the text after the time stamp's ": ").
  std::vector<std::string> LogMessages() const;
  // Waits until the log holds at least `count` lines with this message.
  bool WaitForLog(const std::string& message, int timeoutMs, size_t count = 1);
  std::string StandardError() const;
  bool Running() { return process_.Running(); }
  void Signal(int signal) { process_.Signal(signal); }
  std::optional<ExitStatus> WaitExit(int timeoutMs) { return process_.WaitExit(timeoutMs); }
  // SIGTERM and how the program ended, or nothing when it did not end in time.
  std::optional<ExitStatus> Terminate(int timeoutMs = 15000);

 private:
  std::string logPath_;
  std::string errorPath_;
  ChildProcess process_;
};

// An IRTrans client of the key server: collects what it receives as records.
class KeyClient {
 public:
  struct Record {
    std::vector<uint8_t> bytes;
    SteadyTime completed;  // when its last byte came
  };

  // Tries to connect until the time-out passes (the program may still be starting).
  bool Connect(uint16_t port, int timeoutMs) { return socket_.Connect(port, timeoutMs); }
  // Reads for `ms` milliseconds and cuts what came into records of `recordSize` bytes.
  void ReadFor(int ms);
  // Reads until at least `count` whole records came or the time-out passed.
  void ReadUntil(size_t count, int timeoutMs);
  const std::vector<Record>& Records() const { return records_; }
  // Bytes after the last whole record.
  size_t PartialBytes() const { return partial_.size(); }
  bool Closed() const { return socket_.Ended(); }

  static constexpr size_t kRecordSize = 312;

 private:
  void Pump(int timeoutMs);

  test_support::TcpClient socket_;
  std::vector<uint8_t> partial_;
  std::vector<Record> records_;
};

// SpeedFan's shared block as SpeedFan would publish it: opened (or created) read-write. The
// slots written are set back to zero at the end; the block itself is left in place, since the
// program or SpeedFan may be using it.
class SpeedFanPublisher {
 public:
  SpeedFanPublisher();
  ~SpeedFanPublisher();
  SpeedFanPublisher(const SpeedFanPublisher&) = delete;
  SpeedFanPublisher& operator=(const SpeedFanPublisher&) = delete;

  bool Ok() const { return block_ != nullptr; }
  const std::string& Error() const { return error_; }
  // Slot k's temperature in hundredths of a degree, little-endian at byte 18 + 4 k.
  void SetSlot(int slot, int32_t hundredths);

 private:
  uint8_t* block_ = nullptr;
  std::vector<int> touched_;
  std::string error_;
};

}  // namespace trellon::e2e
