#pragma once

// vx710-sim, the virtual controller, as a child process of a test: commands go to its input, its
// output is collected line by line with the simulator's own time stamps. Waits are in real time
// (it is another process) with generous time-outs.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/wait.h"

namespace trellon::test_support {

class SimProcess {
 public:
  struct Line {
    double simSeconds;  // seconds since the simulator started, as it printed them
    std::string text;
  };

  // `executable` is the built vx710-sim; its standard error goes to `errorFile` when one is named.
  SimProcess(const std::string& executable, const std::vector<std::string>& options,
             const std::string& errorFile = {});

  // The device from the "device ..." line; empty when the simulator did not start.
  const std::string& Device() const { return device_; }
  void Send(const std::string& command) { process_.WriteInput(command + "\n"); }
  void CloseInput() { process_.CloseInput(); }

  std::vector<Line> Lines() const;
  // How many lines so far equal `text`.
  size_t Count(const std::string& text) const;
  // Waits until the lines so far satisfy `done`.
  bool WaitUntil(const std::function<bool(const std::vector<Line>&)>& done, int timeoutMs);
  // Waits for a line equal to `text` at index `from` or later; its index.
  std::optional<size_t> WaitFor(const std::string& text, int timeoutMs, size_t from = 0);
  // Waits for a line equal to `text` after the last line found this way.
  bool WaitForNext(const std::string& text, int timeoutMs = kPatienceMs);
  std::optional<ExitStatus> WaitExit(int timeoutMs = kPatienceMs) {
    return process_.WaitExit(timeoutMs);
  }
  // Everything printed so far, for failure messages.
  std::string Transcript() const;

 private:
  ChildProcess process_;
  std::string device_;
  size_t next_ = 0;
};

}  // namespace trellon::test_support
