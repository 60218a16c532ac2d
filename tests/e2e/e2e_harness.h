#pragma once

// Real processes for the end-to-end tests: the program, the virtual controller, a key-server
// client and SpeedFan's shared block. Every wait is in real time with a generous limit, since
// these are other processes on a shared machine.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace trellon::e2e {

using SteadyTime = std::chrono::steady_clock::time_point;
using Environment = std::vector<std::pair<std::string, std::string>>;

double SecondsBetween(SteadyTime from, SteadyTime to);

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at the end.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A child process. Standard input and output are pipes when asked for, or files when named;
// standard error goes to a file when one is named. The destructor stops a child that still
// runs: SIGTERM, then SIGKILL when it does not end within a few seconds. A child whose test
// process dies (a crash, an abort) gets SIGTERM from the kernel.
class ChildProcess {
 public:
  struct Spec {
    std::vector<std::string> argv;  // argv[0] is the executable's path
    Environment environment;        // added to (or replacing in) the test's own environment
    std::string workingDirectory;   // empty: the test's
    bool pipeInput = false;
    bool pipeOutput = false;
    std::string outputFile;  // without a pipe: empty is the test's standard output
    std::string errorFile;   // empty: the test's standard error
  };

  explicit ChildProcess(const Spec& spec);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  void Signal(int signal);
  // Exit status (128 + signal for a killed child), or nothing when it did not end in time.
  std::optional<int> WaitExit(int timeoutMs);
  // Stops the child as the destructor does; returns its status.
  std::optional<int> Stop(int graceMs = 5000);

  int InputFd() const { return input_; }
  int OutputFd() const { return output_; }
  void CloseInput();

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  int input_ = -1;
  int output_ = -1;
};

// vx710-sim with time-stamped output and a link to its device inside the test's directory.
// A reader thread collects its lines as they come.
class SimProcess {
 public:
  struct Line {
    double simSeconds;  // the simulator's own time stamp (seconds since it started)
    SteadyTime received;
    std::string text;
  };

  SimProcess(const TemporaryDirectory& directory, const std::vector<std::string>& options = {});
  ~SimProcess();

  // The path the program is given as its port (TRELLON_COM3).
  const std::string& LinkPath() const { return linkPath_; }
  // True once the simulator printed its device (it is ready for the program).
  bool Started() const { return started_; }

  void Send(const std::string& command);
  std::vector<Line> Lines() const;
  // Waits for a line whose text equals `text`, at index `from` or later; its index.
  std::optional<size_t> WaitFor(const std::string& text, int timeoutMs, size_t from = 0);
  // Waits until the lines collected so far satisfy `done`.
  bool WaitUntil(const std::function<bool(const std::vector<Line>&)>& done, int timeoutMs);
  // Everything the simulator printed so far, for failure messages.
  std::string Transcript() const;
  void Stop();

 private:
  void ReadLines();

  std::string linkPath_;
  ChildProcess process_;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Line> lines_;
  bool ended_ = false;
  bool started_ = false;
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
  // SIGTERM and the exit status, or nothing when the program did not end in time.
  std::optional<int> Terminate(int timeoutMs = 15000);

 private:
  std::string logPath_;
  std::string errorPath_;
  ChildProcess process_;
};

// An IRTrans client of the key server: connects to 127.0.0.1 and collects what it receives.
class KeyClient {
 public:
  struct Record {
    std::vector<uint8_t> bytes;
    SteadyTime completed;  // when its last byte came
  };

  ~KeyClient();
  // Tries to connect until the time-out passes (the program may still be starting).
  bool Connect(uint16_t port, int timeoutMs);
  // Reads for `ms` milliseconds and cuts what came into records of `recordSize` bytes.
  void ReadFor(int ms);
  // Reads until at least `count` whole records came or the time-out passed.
  void ReadUntil(size_t count, int timeoutMs);
  const std::vector<Record>& Records() const { return records_; }
  // Bytes after the last whole record.
  size_t PartialBytes() const { return partial_.size(); }
  bool Closed() const { return closed_; }

  static constexpr size_t kRecordSize = 312;

 private:
  void Pump(int timeoutMs);

  int fd_ = -1;
  bool closed_ = false;
  std::vector<uint8_t> partial_;
  std::vector<Record> records_;
};

// A TCP port that nothing listens on right now (bound once to port 0 and released).
uint16_t FreeTcpPort();

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
