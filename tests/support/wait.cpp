#include "support/wait.h"

#include <thread>

namespace trellon::test_support {

double SecondsBetween(SteadyTime from, SteadyTime to) {
  return std::chrono::duration<double>(to - from).count();
}

Deadline::Deadline(int timeoutMs)
    : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

int Deadline::MillisLeft() const {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      end_ - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs,
             const std::function<void()>& pump) {
  const Deadline deadline(timeoutMs);
  for (;;) {
    const bool last = deadline.Passed();
    if (condition()) return true;
    if (last) return false;
    if (pump) pump();
    // Short when pumping: the events that the condition waits for come through the pump.
    std::this_thread::sleep_for(std::chrono::milliseconds(pump ? 2 : 10));
  }
}

}  // namespace trellon::test_support
