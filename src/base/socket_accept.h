#pragma once

#include <cstdint>

namespace trellon {

enum class AcceptOutcome { kAccepted, kNoneWaiting, kOutOfDescriptors, kFailed };

// Takes one waiting connection from a listening stream socket without waiting: kAccepted with
// the new connection's descriptor in `accepted`; kNoneWaiting when no connection waits;
// kOutOfDescriptors when the process or the system has no descriptor (or memory) for it now, and
// the connection stays queued; kFailed for anything else (a connection that broke before it was
// taken).
AcceptOutcome AcceptWithoutWaiting(intptr_t listeningDescriptor, intptr_t& accepted);

// Closes a connection taken by AcceptWithoutWaiting that nothing else owns.
void CloseAcceptedSocket(intptr_t descriptor);

}  // namespace trellon
