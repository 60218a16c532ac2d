#include "link/comm_event_detector.h"

#include "link/comm_device.h"

namespace trellon {
namespace {

bool Rx80Full(uint32_t inQueue, uint32_t inputSize) {
  return inputSize > 0 && uint64_t{inQueue} * 10 >= uint64_t{inputSize} * 8;
}

}  // namespace

void CommEventDetector::Reset(const CommSnapshot& now) {
  // Input that waits already when the mask is set is announced by the first wait; otherwise it
  // would sit unannounced until another byte arrives.
  announced_ = now.received - now.inQueue;
  rx80Full_ = false;
  writePending_ = false;
  last_ = now;
}

uint32_t CommEventDetector::Detect(const CommSnapshot& now, uint32_t inputSize) {
  uint32_t events = 0;
  if (now.received > announced_) events |= commev::kRxChar;
  announced_ = now.received;

  const bool full = Rx80Full(now.inQueue, inputSize);
  if (full && !rx80Full_) events |= commev::kRx80Full;
  rx80Full_ = full;

  // Taken in one step: a write that finishes meanwhile is not lost.
  if ((!now.outQueueKnown || now.outQueue == 0) && writePending_.exchange(false)) {
    events |= commev::kTxEmpty;
  }

  if (now.countersKnown && last_.countersKnown) {
    const CommCounters& c = now.counters;
    const CommCounters& l = last_.counters;
    if (c.cts != l.cts) events |= commev::kCts;
    if (c.dsr != l.dsr) events |= commev::kDsr;
    if (c.ring != l.ring) events |= commev::kRing;
    if (c.rlsd != l.rlsd) events |= commev::kRlsd;
    if (c.brk != l.brk) events |= commev::kBreak;
    if (c.frame != l.frame || c.overrun != l.overrun || c.parity != l.parity ||
        c.bufferOverrun != l.bufferOverrun) {
      events |= commev::kErr;
    }
  } else if (now.linesKnown && last_.linesKnown) {
    // Levels only: a line that went and came back between two looks is not seen.
    const uint32_t changed = now.modemStatus ^ last_.modemStatus;
    if (changed & kMsCtsOn) events |= commev::kCts;
    if (changed & kMsDsrOn) events |= commev::kDsr;
    if (changed & kMsRingOn) events |= commev::kRing;
    if (changed & kMsRlsdOn) events |= commev::kRlsd;
  }
  last_ = now;
  return events;
}

bool CommEventDetector::NeedsPolling(const CommSnapshot& now, uint32_t mask,
                                     bool lineChangeNotified) const {
  // A readable descriptor stays readable while bytes wait, so it cannot signal new ones.
  if ((mask & (commev::kRxChar | commev::kRx80Full)) && now.inQueue > 0) return true;
  if ((mask & commev::kTxEmpty) && writePending_ && now.outQueueKnown && now.outQueue > 0) {
    return true;
  }
  // Breaks and line errors come with a received character, which wakes the wait by itself.
  constexpr uint32_t kLineEvents = commev::kCts | commev::kDsr | commev::kRing | commev::kRlsd;
  return (mask & kLineEvents) && !lineChangeNotified && (now.countersKnown || now.linesKnown);
}

}  // namespace trellon
