#pragma once

// A client of a TCP server on this machine (the key server), on a plain blocking socket that
// needs no event loop.

#include <cstdint>
#include <string>
#include <vector>

#include "support/wait.h"

namespace trellon::test_support {

class TcpClient {
 public:
  TcpClient() = default;
  ~TcpClient() { Close(); }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Connects to 127.0.0.1, trying again until the time-out passes (the server may still be
  // starting). A receive buffer size above 0 is set first.
  bool Connect(uint16_t port, int timeoutMs = 0, int receiveBuffer = 0);
  uint16_t LocalPort() const;
  // The socket, for waiting on many clients at once; -1 when not connected.
  int Fd() const { return fd_; }
  void Send(const std::string& data);
  // True when something can be read (or the server closed) within `waitMs`.
  bool HasInput(int waitMs);
  // Reads until `count` bytes came, the time-out passed or the server closed; fewer then.
  std::vector<uint8_t> Receive(size_t count, int timeoutMs = kPatienceMs);
  // Everything that is there now, without waiting.
  std::vector<uint8_t> ReceiveAvailable();
  // True once a read found that the server closed the connection.
  bool Ended() const { return ended_; }
  // Vanishes with a reset, as a crashed client does.
  void Reset();
  void Close();

 private:
  int fd_ = -1;
  bool ended_ = false;
};

// A TCP port that nothing listens on right now (bound once to port 0 and released).
uint16_t FreeTcpPort();

}  // namespace trellon::test_support
