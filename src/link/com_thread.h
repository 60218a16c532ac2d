#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "base/main_thread.h"
#include "base/shell_services.h"
#include "link/com_types.h"
#include "link/comm_device.h"

namespace trellon {

class TCustomComPort;

// The device's event bits for a set of port events, and back.
uint32_t EventMask(TComEvents events);
TComEvents EventsFromMask(uint32_t mask);

// The order in which one wake-up's events reach their handlers.
inline constexpr TComEvent kDeliveryOrder[] = {
    TComEvent::evError, TComEvent::evRxChar,   TComEvent::evTxEmpty, TComEvent::evBreak,
    TComEvent::evRing,  TComEvent::evCTS,      TComEvent::evDSR,     TComEvent::evRxFlag,
    TComEvent::evRLSD,  TComEvent::evRx80Full,
};

// Where smWindowSync steps go: the port while it is open. Close clears open, so that a step
// that was handed over before the port closed is skipped. Main thread only.
struct ComWindowTarget {
  explicit ComWindowTarget(TCustomComPort* target) : port(target) {}
  void Deliver(TComEvent event, ErrorReporter& errorReporter);

  TCustomComPort* port;
  bool open = true;
};

// The event thread of an open port: waits for device events and hands each wake-up to the port
// in the way the port's SyncMethod says.
//
// smThreadSync: the wake-up runs on the main thread (MainThread::Invoke) while this thread waits.
// smWindowSync: one hand-over per event; the main thread queues the event's step and releases
// this thread before the step runs. smNone: the handlers run on this thread.
// An exception from a handler goes to the error reporter on the main thread, after the
// hand-over; delivery carries on.
class TComThread {
 public:
  TComThread(TCustomComPort& port, CommDevice& device, MainThread& mainThread,
             ErrorReporter& errorReporter, TComEvents events, TSyncMethod syncMethod,
             std::shared_ptr<ComWindowTarget> windowTarget);
  // Stops the thread; one that cannot be waited for here is left to end by itself.
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // Sets the device's event mask and starts the thread.
  void Start();
  // Ends the thread and waits for it; on the main thread, pending hand-overs keep running
  // meanwhile. Returns true once the thread is gone. Called from inside one of this thread's
  // deliveries (a handler that closes the port) it cannot wait and returns false: the thread
  // then ends by itself once the delivery has returned, without touching the device again, and
  // a later Stop from outside the delivery collects it.
  bool Stop();

 private:
  struct State;
  static void Execute(const std::shared_ptr<State>& state);
  static void Deliver(State& state, TComEvents events);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace trellon
