#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/tcp_client.h"
#include "support/wait.h"

namespace trellon::test_support {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

bool TcpClient::Connect(uint16_t port, int timeoutMs, int receiveBuffer) {
  return WaitFor(
      [&] {
        Close();
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        if (receiveBuffer > 0) {
          setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        const sockaddr_in address = Loopback(port);
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
          return true;
        }
        Close();
        return false;
      },
      timeoutMs);
}

uint16_t TcpClient::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

void TcpClient::Send(const std::string& data) {
  send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
}

bool TcpClient::HasInput(int waitMs) {
  pollfd ready{fd_, POLLIN, 0};
  return fd_ >= 0 && poll(&ready, 1, waitMs) > 0;
}

std::vector<uint8_t> TcpClient::Receive(size_t count, int timeoutMs) {
  std::vector<uint8_t> data;
  const Deadline deadline(timeoutMs);
  while (data.size() < count && !ended_ && HasInput(deadline.MillisLeft())) {
    uint8_t chunk[4096];
    const ssize_t got = recv(fd_, chunk, std::min(sizeof chunk, count - data.size()), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ended_ = true;
      break;
    }
    data.insert(data.end(), chunk, chunk + got);
  }
  return data;
}

std::vector<uint8_t> TcpClient::ReceiveAvailable() {
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  ssize_t got = -1;
  while (fd_ >= 0 && (got = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0) {
    data.insert(data.end(), chunk, chunk + got);
  }
  if (fd_ >= 0 && got == 0) ended_ = true;
  return data;
}

void TcpClient::Reset() {
  linger hard{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  Close();
}

void TcpClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

uint16_t FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  const bool bound = fd >= 0 &&
                     bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  const std::string error = std::strerror(errno);
  if (fd >= 0) close(fd);
  if (!bound) throw std::runtime_error("no free TCP port: " + error);
  return ntohs(address.sin_port);
}

}  // namespace trellon::test_support
