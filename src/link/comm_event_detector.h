#pragma once

#include <atomic>
#include <cstdint>

namespace trellon {

// The driver's interrupt counters: how many times each modem input changed and how many line
// errors were seen since the device was opened. They only grow, so no change is ever missed.
struct CommCounters {
  uint32_t cts = 0;
  uint32_t dsr = 0;
  uint32_t ring = 0;
  uint32_t rlsd = 0;
  uint32_t frame = 0;
  uint32_t overrun = 0;
  uint32_t parity = 0;
  uint32_t brk = 0;
  uint32_t bufferOverrun = 0;
};

// What a device wait sees when it looks at the device.
struct CommSnapshot {
  // Bytes received so far: those read or discarded plus those still queued.
  uint64_t received = 0;
  uint32_t inQueue = 0;
  bool outQueueKnown = false;
  uint32_t outQueue = 0;
  // Counters where the driver keeps them, else the modem levels where it reports them.
  bool countersKnown = false;
  CommCounters counters;
  bool linesKnown = false;
  uint32_t modemStatus = 0;  // MS_* bits
};

// Turns successive looks at a device into comm events (EV_* bits), so that an event that happened
// between two waits still comes with the next one, and nothing is reported twice. Used by the
// event-waiting thread only, except MarkWritten, which the writing thread calls.
class CommEventDetector {
 public:
  // Starts from this state: bytes already queued count as new, everything else as seen.
  void Reset(const CommSnapshot& now);
  // A write finished; the next time the output queue is empty gives EV_TXEMPTY.
  void MarkWritten() { writePending_ = true; }
  // Every event since the last call (or Reset), whether masked or not.
  uint32_t Detect(const CommSnapshot& now, uint32_t inputSize);
  // True when an event of the mask could come that nothing signals (input that stays queued, an
  // output queue still draining, modem lines without a change notification), so the wait must
  // look again after a short while.
  bool NeedsPolling(const CommSnapshot& now, uint32_t mask, bool lineChangeNotified) const;

 private:
  uint64_t announced_ = 0;
  bool rx80Full_ = false;
  std::atomic<bool> writePending_{false};
  CommSnapshot last_;
};

}  // namespace trellon
