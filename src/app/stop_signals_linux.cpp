#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>

#include "app/stop_signals.h"

namespace trellon {
namespace {

// The write end of the pipe, for the signal handler.
volatile sig_atomic_t writeEnd = -1;

extern "C" void OnStopSignal(int signalNumber) {
  const int savedErrno = errno;
  const char byte = static_cast<char>(signalNumber);
  if (writeEnd >= 0) {
    // A full pipe already holds a pending stop; the byte is not needed then.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
  }
  errno = savedErrno;
}

// The signals that close the program in order: kill's default, Ctrl+C, and the hang-up of the
// terminal or session it was started from.
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

}  // namespace

struct StopSignals::Platform {
  int fds[2] = {-1, -1};
  struct sigaction previous[std::size(kStopSignals)]{};
};

void IgnoreBrokenPipes() {
  ::signal(SIGPIPE, SIG_IGN);
}

StopSignals::StopSignals(std::function<void()> onStop)
    : onStop_(std::move(onStop)), platform_(std::make_unique<Platform>()) {
  if (::pipe2(platform_->fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("Cannot create the stop-signal pipe: ") +
                             std::strerror(errno));
  }
  writeEnd = platform_->fds[1];
  notifier_ = std::make_unique<QSocketNotifier>(platform_->fds[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });

  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &action, &platform_->previous[i]);
  }
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &platform_->previous[i], nullptr);
  }
  writeEnd = -1;
  notifier_.reset();
  ::close(platform_->fds[0]);
  ::close(platform_->fds[1]);
}

void StopSignals::Drain() {
  char buffer[64];
  bool stop = false;
  while (::read(platform_->fds[0], buffer, sizeof buffer) > 0) stop = true;
  if (stop && onStop_) onStop_();
}

}  // namespace trellon
