#pragma once

#include <cstddef>
#include <cstdint>

namespace trellon {

enum class SendOutcome { kDone, kWouldBlock, kFailed };

// Hands bytes to a connected stream socket without waiting: kDone with `sent` > 0 when the
// socket took some or all of them, kWouldBlock when it takes nothing now, kFailed when the
// connection is broken. A peer that has gone never raises a signal.
SendOutcome SendWithoutWaiting(intptr_t socketDescriptor, const uint8_t* data, size_t size,
                               size_t& sent);

}  // namespace trellon
