#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "base/socket_accept.h"

namespace trellon {

AcceptOutcome AcceptWithoutWaiting(intptr_t listeningDescriptor, intptr_t& accepted) {
  accepted = -1;
  for (;;) {
    const int fd = ::accept4(static_cast<int>(listeningDescriptor), nullptr, nullptr,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      accepted = fd;
      return AcceptOutcome::kAccepted;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return AcceptOutcome::kNoneWaiting;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      return AcceptOutcome::kOutOfDescriptors;
    }
    return AcceptOutcome::kFailed;
  }
}

void CloseAcceptedSocket(intptr_t descriptor) {
  if (descriptor >= 0) ::close(static_cast<int>(descriptor));
}

}  // namespace trellon
