#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace trellon {

// An event that stays signalled until reset, like the operating system's manual-reset event.
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set or timeoutMs passes; true when it is set.
  bool Wait(uint32_t timeoutMs) const;
  // Waits without a time limit.
  void Wait() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_;
};

}  // namespace trellon
