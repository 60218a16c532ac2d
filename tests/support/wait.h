#pragma once

// Waiting in real time, for tests that watch another thread, a process or a socket: a deadline
// and one poll loop. Waits for the program's own timers run on a manual clock instead.

#include <chrono>
#include <functional>

namespace trellon::test_support {

using SteadyTime = std::chrono::steady_clock::time_point;

// How long a test waits for something that should come at once, on a busy machine.
constexpr int kPatienceMs = 20000;

double SecondsBetween(SteadyTime from, SteadyTime to);

class Deadline {
 public:
  explicit Deadline(int timeoutMs);

  bool Passed() const { return MillisLeft() == 0; }
  // 0 once the deadline passed.
  int MillisLeft() const;

 private:
  SteadyTime end_;
};

// Checks `condition` until it holds or `timeoutMs` passed; the last check comes after the
// deadline, so a condition that turns true late still counts. `pump`, when given, runs before
// every pause (for example ProcessQtEvents, so that sockets and timers of the event loop move).
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = kPatienceMs,
             const std::function<void()>& pump = {});

}  // namespace trellon::test_support
