#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>

#include "base/main_thread.h"
#include "base/manual_reset_event.h"
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
//
// Owned by its port, which joins it before it is gone (see TCustomComPort::thread_); the thread
// never runs without its port.
class TComThread {
 public:
  TComThread(TCustomComPort& port, CommDevice& device, MainThread& mainThread,
             ErrorReporter& errorReporter, TComEvents events, TSyncMethod syncMethod,
             std::shared_ptr<ComWindowTarget> windowTarget);
  // Stops the thread and waits for it. Destroyed from inside its own delivery (a port destroyed
  // by its own handler) it cannot wait and would run on without its port: that ends the program.
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
  // Reports on the main thread once the current hand-over is over.
  void Report(std::exception_ptr error);
  void Execute();
  void Deliver(TComEvents events);

  TCustomComPort& port_;
  CommDevice& device_;
  MainThread& mainThread_;
  ErrorReporter& errorReporter_;
  const TComEvents events_;
  const TSyncMethod syncMethod_;
  const std::shared_ptr<ComWindowTarget> windowTarget_;

  std::unique_ptr<CommWaitStop> stop_;
  ManualResetEvent stopped_;
  // Stopped from inside its own delivery: the rest of that wake-up and the device are left alone.
  std::atomic<bool> abandoned_{false};
  std::atomic<bool> finished_{false};
  // Set on the main thread while it runs one of this thread's smThreadSync hand-overs.
  std::atomic<bool> inHandOver_{false};
  // Last: started once everything above exists, joined before any of it goes.
  std::thread thread_;
};

}  // namespace trellon
