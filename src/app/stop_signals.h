#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace trellon {

// Turns SIGTERM and SIGINT into a call on the main thread, through the Qt event loop: the
// signal handler only writes a byte into a pipe (signal-safe); a socket notifier on the pipe's
// other end runs onStop. One instance per process; it restores the previous handlers when
// destroyed.
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
