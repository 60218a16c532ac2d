#pragma once

// A client of a Unix stream socket on this machine (the LIRC socket), on a plain blocking socket
// that needs no event loop.

#include <string>

#include "support/wait.h"

namespace trellon::test_support {

class UnixClient {
 public:
  UnixClient() = default;
  ~UnixClient() { Close(); }
  UnixClient(const UnixClient&) = delete;
  UnixClient& operator=(const UnixClient&) = delete;

  // Connects to the socket at `path`. A receive buffer size above 0 is set first.
  bool Connect(const std::string& path, int receiveBuffer = 0);
  int Fd() const { return fd_; }
  // Reads until `count` bytes came, the time-out passed or the server closed; fewer then.
  std::string Receive(size_t count, int timeoutMs = kPatienceMs);
  // Everything that is there now, without waiting.
  std::string ReceiveAvailable();
  // True once a read found that the server closed the connection.
  bool Ended() const { return ended_; }
  void Close();

 private:
  int fd_ = -1;
  bool ended_ = false;
};

}  // namespace trellon::test_support
