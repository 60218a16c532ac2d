#include "link/comm_modem_watch_linux.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace trellon {
namespace {

// The signal that interrupts a blocked TIOCMIWAIT. Its handler does nothing; what matters is
// that it is installed without SA_RESTART, so the call returns with EINTR.
int WakeSignal() {
  return SIGRTMIN + 5;
}

void IgnoreSignal(int) {}

// Installs the handler once; false when the signal belongs to someone else.
bool WakeSignalReady() {
  static const bool ready = [] {
    struct sigaction current {};
    if (sigaction(WakeSignal(), nullptr, &current) != 0) return false;
    if (current.sa_handler != SIG_DFL && current.sa_handler != &IgnoreSignal) return false;
    struct sigaction action {};
    action.sa_handler = &IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    return sigaction(WakeSignal(), &action, nullptr) == 0;
  }();
  return ready;
}

void WakeUp(int wakeFd) {
  const uint64_t one = 1;
  // A full counter already wakes the reader, so a failed write loses nothing.
  while (write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

}  // namespace

void CommModemWatch::Start(int fd, int wakeFd) {
  Stop();
  if (!WakeSignalReady()) return;
  quit_ = false;
  notifies_ = true;
  {
    std::lock_guard lock(mutex_);
    done_ = false;
  }
  // The thread must not take the wake signal before it is ready for it: block it here, the
  // new thread inherits the mask and unblocks it itself.
  sigset_t block, previous;
  sigemptyset(&block);
  sigaddset(&block, WakeSignal());
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  thread_ = std::thread([this, fd, wakeFd] { Run(fd, wakeFd); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void CommModemWatch::Run(int fd, int wakeFd) {
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, WakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
  while (!quit_) {
    const int result = ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD);
    if (quit_) break;
    if (result == 0) {
      WakeUp(wakeFd);
    } else if (errno != EINTR) {
      // No notification from this driver (or the device went away): the wait looks by itself.
      notifies_ = false;
      WakeUp(wakeFd);
      break;
    }
  }
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  ended_.notify_all();
}

void CommModemWatch::Stop() {
  if (!thread_.joinable()) return;
  quit_ = true;
  // The signal may come just before the thread enters the wait; send it again until it ends.
  std::unique_lock lock(mutex_);
  while (!done_) {
    pthread_kill(thread_.native_handle(), WakeSignal());
    ended_.wait_for(lock, std::chrono::milliseconds(5), [this] { return done_; });
  }
  lock.unlock();
  thread_.join();
  notifies_ = false;
}

}  // namespace trellon
