#include "sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <thread>

namespace trellon::sim::testing {

using test_support::Deadline;

DevicePeer::DevicePeer(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B38400);
  tcsetattr(fd_, TCSANOW, &tio);
}

DevicePeer::~DevicePeer() {
  Close();
}

void DevicePeer::Write(const std::vector<uint8_t>& bytes) {
  if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("cannot write to the device");
  }
}

std::vector<DevicePeer::Byte> DevicePeer::ReadTimed(size_t count, int timeoutMs) {
  std::vector<Byte> bytes;
  const Deadline deadline(timeoutMs);
  while (bytes.size() < count) {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, deadline.MillisLeft()) <= 0) break;
    uint8_t buffer[256];
    const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    const auto now = std::chrono::steady_clock::now();
    for (ssize_t i = 0; i < n; ++i) bytes.push_back({buffer[i], now});
  }
  return bytes;
}

std::vector<uint8_t> DevicePeer::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> values;
  for (const auto& byte : ReadTimed(count, timeoutMs)) values.push_back(byte.value);
  return values;
}

std::vector<uint8_t> DevicePeer::ReadThrough(uint8_t last, int timeoutMs) {
  std::vector<uint8_t> bytes;
  const Deadline deadline(timeoutMs);
  while (bytes.empty() || bytes.back() != last) {
    const auto next = Read(1, deadline.MillisLeft());
    if (next.empty()) break;
    bytes.push_back(next.front());
  }
  return bytes;
}

void DevicePeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void SendHelloBurst(DevicePeer& peer) {
  for (int i = 0; i < 10; ++i) {
    peer.Write({0xAA, 0xAA});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace trellon::sim::testing
