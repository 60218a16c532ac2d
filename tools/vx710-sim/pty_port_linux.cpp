#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "pty_port.h"

namespace trellon::sim {
namespace {

std::string Reason(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PtyPort::~PtyPort() {
  RemoveLink();
  if (master_ >= 0) close(master_);
}

bool PtyPort::Create(std::string& error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) {
    error = Reason("cannot create a pseudo-terminal");
    return false;
  }
  char name[PATH_MAX];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name)) {
    error = Reason("cannot unlock the pseudo-terminal");
    return false;
  }
  deviceName_ = name;

  // Raw from the start, so that nothing is echoed or translated even before the program sets
  // its own line settings; the settings stay with the device when it is closed and reopened.
  const int device = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (device < 0) {
    error = Reason("cannot open the new pseudo-terminal");
    return false;
  }
  termios tio{};
  bool ok = tcgetattr(device, &tio) == 0;
  if (ok) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    ok = tcsetattr(device, TCSANOW, &tio) == 0;
  }
  if (!ok) error = Reason("cannot set the pseudo-terminal to raw mode");
  close(device);
  return ok;
}

bool PtyPort::MakeLink(const std::string& path, std::string& error) {
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    error = path + " exists and is not a symbolic link; not replacing it";
    return false;
  }
  // Build the link beside the target and rename it over, so the path never dangles.
  const std::string temporary = path + ".vx710-sim." + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(deviceName_.c_str(), temporary.c_str()) != 0) {
    error = Reason(("cannot create the link " + path).c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    error = Reason(("cannot create the link " + path).c_str());
    unlink(temporary.c_str());
    return false;
  }
  linkPath_ = path;
  return true;
}

void PtyPort::RemoveLink() {
  if (linkPath_.empty()) return;
  char target[PATH_MAX];
  const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
  if (length > 0 && std::string(target, static_cast<size_t>(length)) == deviceName_) {
    unlink(linkPath_.c_str());
  }
  linkPath_.clear();
}

std::vector<uint8_t> PtyPort::ReadAvailable() {
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EAGAIN: drained. EIO: the device was closed and everything queued was read.
    break;
  }
  return bytes;
}

void PtyPort::WaitUntilRead(int timeoutMs) {
  if (!IsOpen()) return;
  // The queue toward the program belongs to the device side; look at it through an fd of our
  // own. Written bytes reach that queue a moment later (the kernel moves them in a worker), so
  // it must stay empty for a while. If the program holds the device exclusively, opening fails
  // and a short pause stands in.
  const int device = open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  constexpr int kStepMs = 10;
  constexpr int kEmptyLooks = 5;
  int empty = 0;
  for (int waited = 0; waited < timeoutMs && empty < kEmptyLooks; waited += kStepMs) {
    usleep(kStepMs * 1000);
    int queued = 0;
    if (device < 0 || (ioctl(device, FIONREAD, &queued) == 0 && queued == 0)) {
      ++empty;
    } else {
      empty = 0;
    }
  }
  if (device >= 0) close(device);
}

void PtyPort::DropLine() {
  if (master_ < 0) return;
  droppedLinkPath_ = linkPath_;
  RemoveLink();
  close(master_);
  master_ = -1;
  deviceName_.clear();
}

bool PtyPort::RestoreLine(std::string& text) {
  if (master_ >= 0) {
    text = deviceName_;
    return true;
  }
  if (!Create(text)) {
    if (master_ >= 0) close(master_);
    master_ = -1;
    return false;
  }
  if (!droppedLinkPath_.empty() && !MakeLink(droppedLinkPath_, text)) return false;
  text = deviceName_;
  return true;
}

bool PtyPort::IsOpen() {
  if (master_ < 0) return false;
  pollfd fd{master_, POLLIN, 0};
  if (poll(&fd, 1, 0) < 0) return false;
  return (fd.revents & POLLHUP) == 0;
}

bool PtyPort::Write(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // EAGAIN: the program does not read and the device's queue is full.
      return false;
    }
  }
  return true;
}

}  // namespace trellon::sim
