// The serial device on Linux: termios2 and the tty ioctls, with the Windows comm semantics that
// the port is written against (time-outs, comm events, error and queue status).

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>

#include "link/comm_device.h"
#include "link/comm_event_detector.h"
#include "link/comm_modem_watch_linux.h"
#include "link/comm_read_timeouts.h"
#include "link/comm_support_linux.h"

namespace trellon {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr uint32_t kMaxDword = 0xFFFFFFFF;
constexpr uint32_t kRxEvents = commev::kRxChar | commev::kRx80Full;
constexpr uint32_t kLineEvents = commev::kCts | commev::kDsr | commev::kRing | commev::kRlsd;
// How often a wait looks at the device when nothing signals a change.
constexpr int kPollIntervalMs = 10;
// A safety look while the driver notifies line changes: a change that comes just before the
// watch re-enters its wait is caught by the counters on this look.
constexpr int kLineSafetyIntervalMs = 250;

uint32_t LastError() {
  return WinErrorFromErrno(errno);
}

// A pseudo-terminal has no modem lines: these ioctls fail there, which reads as "no lines".
bool NoModemLines(int error) {
  return error == ENOTTY || error == EINVAL;
}

// Milliseconds until deadline for poll(); -1 without a deadline.
int RemainingMs(const std::optional<SteadyClock::time_point>& deadline) {
  if (!deadline) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - SteadyClock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left.count(), 1 << 30));
}

void DrainEventFd(int fd) {
  uint64_t count = 0;
  while (read(fd, &count, sizeof count) > 0) {
  }
}

void Signal(int fd) {
  const uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

class LinuxWaitStop final : public CommWaitStop {
 public:
  LinuxWaitStop() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~LinuxWaitStop() override {
    if (fd_ >= 0) close(fd_);
  }
  void Set() override {
    set_ = true;
    if (fd_ >= 0) Signal(fd_);
  }
  bool IsSet() const override { return set_.load(); }
  int Fd() const { return fd_; }

 private:
  const int fd_;
  std::atomic<bool> set_{false};
};

class LinuxCommDevice final : public CommDevice {
 public:
  LinuxCommDevice() = default;
  ~LinuxCommDevice() override {
    Close();
    if (wakeFd_ >= 0) close(wakeFd_);
  }

  uint32_t Open(const std::string& portName) override;
  void Close() override;
  bool IsOpen() const override { return fd_.load() >= 0; }
  intptr_t NativeHandle() const override { return fd_.load(); }
  uint32_t SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  uint32_t SetCommState(const CommDcb& dcb) override;
  uint32_t SetCommTimeouts(const CommTimeouts& timeouts) override;
  uint32_t GetCommModemStatus(uint32_t& status) override;
  uint32_t EscapeCommFunction(uint32_t function) override;
  uint32_t ClearCommError(uint32_t& errors, CommStatus& status) override;
  uint32_t PurgeComm(uint32_t flags) override;
  uint32_t WriteFile(const uint8_t* data, uint32_t length, uint32_t& written) override;
  uint32_t ReadFile(uint8_t* data, uint32_t length, uint32_t& read) override;
  uint32_t SetCommMask(uint32_t mask) override;
  std::unique_ptr<CommWaitStop> CreateWaitStop() override {
    return std::make_unique<LinuxWaitStop>();
  }
  uint32_t WaitCommEvent(CommWaitStop& stop, uint32_t& events) override;

 private:
  bool ReadCounters(CommCounters& counters) const;
  uint32_t TakeSnapshot(CommSnapshot& snapshot);
  // One non-blocking read; the count goes to consumed_ in the same step, so that a wait never
  // sees the bytes gone without knowing they were read.
  ssize_t ReadSome(uint8_t* data, uint32_t length);

  std::atomic<int> fd_{-1};
  int wakeFd_ = -1;
  struct termios2 original_ {};
  bool hasModemLines_ = false;
  std::atomic<bool> hasCounters_{false};
  CommTimeouts timeouts_;
  std::atomic<uint32_t> inputSize_{0};
  std::atomic<bool> discardNull_{false};
  std::atomic<uint32_t> mask_{0};
  std::atomic<uint64_t> maskGeneration_{0};

  std::mutex rxMutex_;
  uint64_t consumed_ = 0;  // bytes read or purged since open

  std::mutex errorMutex_;
  CommCounters errorBase_;  // counters at the last ClearCommError

  std::mutex eventMutex_;
  CommEventDetector detector_;
  CommModemWatch modemWatch_;
};

uint32_t LinuxCommDevice::Open(const std::string& portName) {
  if (IsOpen()) return winerr::kAccessDenied;
  if (wakeFd_ < 0) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return LastError();
  }
  const std::string path = DevicePathForPort(portName);
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  // Nobody else may use the port while it is open: a lock other programs honour, and the
  // tty's own exclusive mode against those that do not.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TCGETS2, &original_) != 0) {
    const uint32_t error = LastError();
    close(fd);
    return error;
  }
  ioctl(fd, TIOCEXCL);

  int lines = 0;
  hasModemLines_ = ioctl(fd, TIOCMGET, &lines) == 0;
  CommCounters counters;
  fd_ = fd;
  hasCounters_ = hasModemLines_ && ReadCounters(counters);
  consumed_ = 0;
  errorBase_ = counters;
  mask_ = 0;
  timeouts_ = {};
  discardNull_ = false;
  DrainEventFd(wakeFd_);
  if (hasModemLines_) modemWatch_.Start(fd, wakeFd_);
  return winerr::kSuccess;
}

void LinuxCommDevice::Close() {
  const int fd = fd_.load();
  if (fd < 0) return;
  modemWatch_.Stop();
  ioctl(fd, TCSETS2, &original_);
  ioctl(fd, TIOCNXCL);
  close(fd);
  fd_ = -1;
}

bool LinuxCommDevice::ReadCounters(CommCounters& counters) const {
  struct serial_icounter_struct icount {};
  if (ioctl(fd_.load(), TIOCGICOUNT, &icount) != 0) return false;
  counters.cts = static_cast<uint32_t>(icount.cts);
  counters.dsr = static_cast<uint32_t>(icount.dsr);
  counters.ring = static_cast<uint32_t>(icount.rng);
  counters.rlsd = static_cast<uint32_t>(icount.dcd);
  counters.frame = static_cast<uint32_t>(icount.frame);
  counters.overrun = static_cast<uint32_t>(icount.overrun);
  counters.parity = static_cast<uint32_t>(icount.parity);
  counters.brk = static_cast<uint32_t>(icount.brk);
  counters.bufferOverrun = static_cast<uint32_t>(icount.buf_overrun);
  return true;
}

uint32_t LinuxCommDevice::SetupComm(uint32_t inQueue, uint32_t /*outQueue*/) {
  if (!IsOpen()) return winerr::kInvalidHandle;
  // The kernel sizes its tty buffers itself; the input size only sets the 80 % mark.
  inputSize_ = inQueue;
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::SetCommState(const CommDcb& dcb) {
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return LastError();
  if (const uint32_t error = DcbToTermios(dcb, tio); error != winerr::kSuccess) return error;
  if (ioctl(fd, TCSETS2, &tio) != 0) return LastError();
  discardNull_ = (dcb.Flags & CommDcb::kNull) != 0;
  int raise = 0;
  int drop = 0;
  DcbOutputLines(dcb, raise, drop);
  if (hasModemLines_) {
    if ((raise && ioctl(fd, TIOCMBIS, &raise) != 0 && !NoModemLines(errno)) ||
        (drop && ioctl(fd, TIOCMBIC, &drop) != 0 && !NoModemLines(errno))) {
      return LastError();
    }
  }
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  if (!IsOpen()) return winerr::kInvalidHandle;
  if (timeouts.ReadIntervalTimeout == kMaxDword &&
      timeouts.ReadTotalTimeoutMultiplier == kMaxDword &&
      timeouts.ReadTotalTimeoutConstant == kMaxDword) {
    return winerr::kInvalidParameter;
  }
  timeouts_ = timeouts;
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::GetCommModemStatus(uint32_t& status) {
  status = 0;
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  int lines = 0;
  if (!hasModemLines_) return winerr::kSuccess;
  if (ioctl(fd, TIOCMGET, &lines) != 0) return NoModemLines(errno) ? 0 : LastError();
  if (lines & TIOCM_CTS) status |= kMsCtsOn;
  if (lines & TIOCM_DSR) status |= kMsDsrOn;
  if (lines & TIOCM_RNG) status |= kMsRingOn;
  if (lines & TIOCM_CAR) status |= kMsRlsdOn;
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::EscapeCommFunction(uint32_t function) {
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  int bits = 0;
  unsigned long request = 0;
  switch (function) {
    case kSetRts:
    case kClrRts:
      bits = TIOCM_RTS;
      request = function == kSetRts ? TIOCMBIS : TIOCMBIC;
      break;
    case kSetDtr:
    case kClrDtr:
      bits = TIOCM_DTR;
      request = function == kSetDtr ? TIOCMBIS : TIOCMBIC;
      break;
    case kSetXoff:  // transmit as if XOFF had been received
      return ioctl(fd, TCXONC, TCOOFF) == 0 ? 0 : LastError();
    case kSetXon:
      return ioctl(fd, TCXONC, TCOON) == 0 ? 0 : LastError();
    case kSetBreak:
      return ioctl(fd, TIOCSBRK) == 0 ? 0 : LastError();
    case kClrBreak:
      return ioctl(fd, TIOCCBRK) == 0 ? 0 : LastError();
    default:
      return winerr::kInvalidParameter;
  }
  if (!hasModemLines_) return winerr::kSuccess;
  if (ioctl(fd, request, &bits) != 0 && !NoModemLines(errno)) return LastError();
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::ClearCommError(uint32_t& errors, CommStatus& status) {
  errors = 0;
  status = {};
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  int queued = 0;
  if (ioctl(fd, FIONREAD, &queued) != 0) return LastError();
  status.cbInQue = static_cast<uint32_t>(std::max(queued, 0));
  int outQueued = 0;
  if (ioctl(fd, TIOCOUTQ, &outQueued) == 0) status.cbOutQue = static_cast<uint32_t>(outQueued);

  CommCounters now;
  if (hasCounters_ && ReadCounters(now)) {
    std::lock_guard lock(errorMutex_);
    if (now.frame != errorBase_.frame) errors |= commerr::kFrame;
    if (now.parity != errorBase_.parity) errors |= commerr::kRxParity;
    if (now.overrun != errorBase_.overrun) errors |= commerr::kOverrun;
    if (now.bufferOverrun != errorBase_.bufferOverrun) errors |= commerr::kRxOver;
    if (now.brk != errorBase_.brk) errors |= commerr::kBreak;
    errorBase_ = now;
  }
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::PurgeComm(uint32_t flags) {
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  if (flags & ~(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear)) {
    return winerr::kInvalidParameter;
  }
  // Transfers run to completion inside WriteFile and ReadFile, so there is nothing to abort.
  if ((flags & kPurgeTxClear) && ioctl(fd, TCFLSH, TCOFLUSH) != 0) return LastError();
  if (flags & kPurgeRxClear) {
    std::lock_guard lock(rxMutex_);
    int queued = 0;
    if (ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) consumed_ += queued;
    if (ioctl(fd, TCFLSH, TCIFLUSH) != 0) return LastError();
  }
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::WriteFile(const uint8_t* data, uint32_t length, uint32_t& written) {
  written = 0;
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  const uint64_t multiplier = timeouts_.WriteTotalTimeoutMultiplier;
  const uint64_t constant = timeouts_.WriteTotalTimeoutConstant;
  std::optional<SteadyClock::time_point> deadline;
  if (multiplier != 0 || constant != 0) {
    deadline = SteadyClock::now() + std::chrono::milliseconds(multiplier * length + constant);
  }
  uint32_t error = winerr::kSuccess;
  while (written < length) {
    const ssize_t n = write(fd, data + written, length - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      error = LastError();
      break;
    }
    pollfd entry{fd, POLLOUT, 0};
    const int timeout = RemainingMs(deadline);
    if (timeout == 0) break;
    if (poll(&entry, 1, timeout) < 0 && errno != EINTR) {
      error = LastError();
      break;
    }
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      error = winerr::kGenFailure;
      break;
    }
  }
  // The write is complete when the bytes have left, not when the kernel took them.
  int outQueued = 0;
  while (error == winerr::kSuccess && ioctl(fd, TIOCOUTQ, &outQueued) == 0 && outQueued > 0) {
    if (!deadline) {
      ioctl(fd, TCSBRK, 1);  // drains without a limit
      break;
    }
    if (RemainingMs(deadline) == 0) break;
    poll(nullptr, 0, 1);
  }
  if (written > 0) {
    detector_.MarkWritten();
    Signal(wakeFd_);
  }
  return error;
}

ssize_t LinuxCommDevice::ReadSome(uint8_t* data, uint32_t length) {
  std::lock_guard lock(rxMutex_);
  const ssize_t n = read(fd_.load(), data, length);
  if (n > 0) consumed_ += static_cast<uint64_t>(n);
  return n;
}

uint32_t LinuxCommDevice::ReadFile(uint8_t* data, uint32_t length, uint32_t& read) {
  read = 0;
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  const CommTimeouts timeouts = timeouts_;
  const auto start = SteadyClock::now();
  std::optional<SteadyClock::time_point> lastByte;

  while (read < length) {
    const ssize_t n = ReadSome(data + read, length - read);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return LastError();
    if (n > 0) {
      uint32_t kept = static_cast<uint32_t>(n);
      if (discardNull_) {
        uint8_t* begin = data + read;
        kept = static_cast<uint32_t>(std::remove(begin, begin + n, uint8_t{0}) - begin);
      }
      read += kept;
      if (kept > 0) lastByte = SteadyClock::now();
      continue;
    }
    const auto now = SteadyClock::now();
    const int timeout = ReadWaitMs(timeouts, length, read, now - start,
                                   lastByte ? std::optional(now - *lastByte) : std::nullopt);
    if (timeout == 0) break;
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, timeout) < 0 && errno != EINTR) return LastError();
    if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(entry.revents & POLLIN)) {
      return winerr::kGenFailure;
    }
  }
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::TakeSnapshot(CommSnapshot& snapshot) {
  const int fd = fd_.load();
  {
    std::lock_guard lock(rxMutex_);
    int queued = 0;
    if (ioctl(fd, FIONREAD, &queued) != 0) return LastError();
    snapshot.inQueue = static_cast<uint32_t>(std::max(queued, 0));
    snapshot.received = consumed_ + snapshot.inQueue;
  }
  int outQueued = 0;
  snapshot.outQueueKnown = ioctl(fd, TIOCOUTQ, &outQueued) == 0;
  snapshot.outQueue = snapshot.outQueueKnown ? static_cast<uint32_t>(outQueued) : 0;
  snapshot.countersKnown = hasCounters_ && ReadCounters(snapshot.counters);
  snapshot.linesKnown = false;
  if (hasModemLines_ && !snapshot.countersKnown) {
    snapshot.linesKnown = GetCommModemStatus(snapshot.modemStatus) == winerr::kSuccess;
  }
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::SetCommMask(uint32_t mask) {
  if (!IsOpen()) return winerr::kInvalidHandle;
  CommSnapshot now;
  if (const uint32_t error = TakeSnapshot(now); error != winerr::kSuccess) return error;
  {
    std::lock_guard lock(eventMutex_);
    detector_.Reset(now);
    mask_ = mask;
  }
  ++maskGeneration_;
  Signal(wakeFd_);
  return winerr::kSuccess;
}

uint32_t LinuxCommDevice::WaitCommEvent(CommWaitStop& stop, uint32_t& events) {
  events = 0;
  auto* linuxStop = dynamic_cast<LinuxWaitStop*>(&stop);
  if (!linuxStop || linuxStop->Fd() < 0) return winerr::kInvalidParameter;
  const int fd = fd_.load();
  if (fd < 0) return winerr::kInvalidHandle;
  const uint64_t generation = maskGeneration_.load();
  for (;;) {
    if (stop.IsSet()) return winerr::kOperationAborted;
    if (maskGeneration_.load() != generation) return winerr::kSuccess;
    DrainEventFd(wakeFd_);
    CommSnapshot now;
    if (const uint32_t error = TakeSnapshot(now); error != winerr::kSuccess) return error;
    const uint32_t mask = mask_.load();
    const bool notified = modemWatch_.Notifies();
    bool needsPolling = false;
    {
      std::lock_guard lock(eventMutex_);
      events = detector_.Detect(now, inputSize_.load()) & mask;
      needsPolling = detector_.NeedsPolling(now, mask, notified);
    }
    if (events != 0) return winerr::kSuccess;

    int timeout = -1;
    if (needsPolling) {
      timeout = kPollIntervalMs;
    } else if ((mask & kLineEvents) && notified && now.countersKnown) {
      timeout = kLineSafetyIntervalMs;
    }
    pollfd entries[3] = {{linuxStop->Fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}, {fd, 0, 0}};
    // Only an empty queue can signal new bytes; a hang-up is reported either way.
    if ((mask & kRxEvents) && now.inQueue == 0) entries[2].events = POLLIN;
    if (poll(entries, 3, timeout) < 0 && errno != EINTR) return LastError();
    if (entries[2].revents & (POLLHUP | POLLERR | POLLNVAL)) return winerr::kDeviceNotConnected;
  }
}

}  // namespace

std::unique_ptr<CommDevice> CreateCommDevice() {
  return std::make_unique<LinuxCommDevice>();
}

}  // namespace trellon
