#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "support/unix_client.h"
#include "support/wait.h"

namespace trellon::test_support {

bool UnixClient::Connect(const std::string& path, int receiveBuffer) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  if (receiveBuffer > 0) {
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Close();
    return false;
  }
  return true;
}

std::string UnixClient::Receive(size_t count, int timeoutMs) {
  std::string data;
  const Deadline deadline(timeoutMs);
  while (fd_ >= 0 && !ended_ && data.size() < count) {
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, deadline.MillisLeft()) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - data.size()), 0);
    if (n <= 0) {
      ended_ = true;
      break;
    }
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

std::string UnixClient::ReceiveAvailable() {
  std::string data;
  while (fd_ >= 0 && !ended_) {
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) ended_ = true;
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

void UnixClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ended_ = false;
}

}  // namespace trellon::test_support
