#pragma once

// One launcher for every test that runs a real program (the built program, the virtual
// controller, a media-centre stand-in, a message bus, ...).

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/wait.h"

namespace trellon::test_support {

using Environment = std::vector<std::pair<std::string, std::string>>;

// How a child ended: its exit code, or the signal that killed it.
struct ExitStatus {
  int code = 0;
  int signal = 0;

  static ExitStatus Exited(int code) { return {code, 0}; }
  static ExitStatus Killed(int signal) { return {0, signal}; }
  bool operator==(const ExitStatus&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ExitStatus& status);

// A child process. The destructor stops one that still runs: SIGTERM, then SIGKILL when it does
// not end within a few seconds. When the test process dies (a crash, an abort), the kernel sends
// the child SIGTERM, so none is left behind. (The kernel watches the thread that started the
// child: start children on the test's main thread.)
class ChildProcess {
 public:
  struct Options {
    explicit Options(std::vector<std::string> arguments) : argv(std::move(arguments)) {}

    std::vector<std::string> argv;  // argv[0]: a path, or a name looked up in PATH
    Environment environment;        // added to (or replacing in) the test's own environment
    std::string workingDirectory;   // empty: the test's
    bool pipeInput = false;         // standard input from WriteInput, else the test's
    bool captureOutput = false;     // standard output collected line by line, else the test's
    std::string errorFile;          // standard error to this file, else the test's
  };

  // Throws std::runtime_error when the program cannot be started.
  explicit ChildProcess(const Options& options);
  // The program with standard input, output and error of the test's own.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int Pid() const { return pid_; }
  bool Running();
  void Signal(int signal);
  // How it ended, or nothing when it still runs after the time-out.
  std::optional<ExitStatus> WaitExit(int timeoutMs = kPatienceMs);

  // Throws when the child no longer reads its input.
  void WriteInput(const std::string& text);
  void CloseInput();

  // The lines of the captured output so far.
  std::vector<std::string> Lines() const;
  // Waits until `done` holds for the lines so far, or the output ended; done's last verdict.
  bool WaitForOutput(const std::function<bool(const std::vector<std::string>&)>& done,
                     int timeoutMs);

 private:
  void ReadOutput(int fd);

  int pid_ = -1;
  std::optional<ExitStatus> status_;
  int input_ = -1;
  std::thread reader_;
  std::atomic<bool> stopReading_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool outputEnded_ = false;
};

}  // namespace trellon::test_support
