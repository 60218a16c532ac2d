#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace trellon {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, through the Qt event loop:
// the signal handler only writes a byte into a pipe (signal-safe); a socket notifier on the
// pipe's other end runs onStop. One instance per process; it restores the previous handlers
// when destroyed.
// A reader that went away (standard error piped into `head`) makes a write fail instead of
// ending the program: SIGPIPE is ignored from then on. First thing in main, before anything
// (Qt included) may write to standard error.
void IgnoreBrokenPipes();

class StopSignals {
 public:
  explicit StopSignals(std::function<void()> onStop);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct Platform;
  void Drain();

  std::function<void()> onStop_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace trellon
