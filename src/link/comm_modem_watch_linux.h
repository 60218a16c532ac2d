#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace trellon {

// Waits in its own thread for changes of the modem inputs (CTS, DSR, ring, carrier detect) with
// TIOCMIWAIT, which blocks until a change, and writes to a wake-up descriptor for each one. A
// driver without TIOCMIWAIT ends the watch at once; Notifies() then reads false and the device's
// wait looks at the lines by itself. Stopping interrupts the blocked call with a signal.
class CommModemWatch {
 public:
  CommModemWatch() = default;
  CommModemWatch(const CommModemWatch&) = delete;
  CommModemWatch& operator=(const CommModemWatch&) = delete;
  ~CommModemWatch() { Stop(); }

  // Watches fd until Stop; wakeFd (an eventfd) gets one count per change and one when the watch
  // ends by itself.
  void Start(int fd, int wakeFd);
  void Stop();
  // True while the driver tells of changes.
  bool Notifies() const { return notifies_.load(); }

 private:
  void Run(int fd, int wakeFd);

  std::thread thread_;
  std::atomic<bool> quit_{false};
  std::atomic<bool> notifies_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = true;
};

}  // namespace trellon
