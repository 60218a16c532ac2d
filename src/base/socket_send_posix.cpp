#include <sys/socket.h>

#include <cerrno>

#include "base/socket_send.h"

namespace trellon {

SendOutcome SendWithoutWaiting(intptr_t socketDescriptor, const uint8_t* data, size_t size,
                               size_t& sent) {
  sent = 0;
  if (socketDescriptor < 0) return SendOutcome::kFailed;
  for (;;) {
    const ssize_t n =
        ::send(static_cast<int>(socketDescriptor), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent = static_cast<size_t>(n);
      return SendOutcome::kDone;
    }
    if (n == 0) return SendOutcome::kWouldBlock;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
      return SendOutcome::kWouldBlock;
    }
    return SendOutcome::kFailed;
  }
}

}  // namespace trellon
