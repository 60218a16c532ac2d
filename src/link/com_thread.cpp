#include "link/com_thread.h"

#include <atomic>
#include <iterator>
#include <utility>
#include <vector>

#include "base/manual_reset_event.h"
#include "link/com_port.h"

namespace trellon {
namespace {

// Event bits by TComEvent.
constexpr uint32_t kEventBits[] = {
    commev::kRxChar, commev::kTxEmpty, commev::kRxFlag, commev::kRing, commev::kBreak,
    commev::kCts,    commev::kDsr,     commev::kErr,    commev::kRlsd, commev::kRx80Full,
};

// A device whose waits fail (it went away) is asked again after this pause, not in a loop.
constexpr uint32_t kRetryDelayMs = 50;

}  // namespace

uint32_t EventMask(TComEvents events) {
  uint32_t mask = 0;
  for (unsigned i = 0; i < std::size(kEventBits); ++i) {
    if (events.Contains(static_cast<TComEvent>(i))) mask |= kEventBits[i];
  }
  return mask;
}

TComEvents EventsFromMask(uint32_t mask) {
  TComEvents events;
  for (unsigned i = 0; i < std::size(kEventBits); ++i) {
    if (mask & kEventBits[i]) events.Include(static_cast<TComEvent>(i));
  }
  return events;
}

void ComWindowTarget::Deliver(TComEvent event, ErrorReporter& errorReporter) {
  if (!open) return;
  RunHandler(errorReporter, [&] { port->DeliverEvent(event); });
}

struct TComThread::State {
  State(TCustomComPort& p, CommDevice& d, MainThread& m, ErrorReporter& r, TComEvents e,
        TSyncMethod s, std::shared_ptr<ComWindowTarget> w)
      : port(p),
        device(d),
        mainThread(m),
        errorReporter(r),
        events(e),
        syncMethod(s),
        windowTarget(std::move(w)) {}

  // Reports on the main thread once the current hand-over is over.
  void Report(std::exception_ptr error) {
    mainThread.Post([&reporter = errorReporter, error] { reporter.HandleException(error); });
  }

  TCustomComPort& port;
  CommDevice& device;
  MainThread& mainThread;
  ErrorReporter& errorReporter;
  const TComEvents events;
  const TSyncMethod syncMethod;
  const std::shared_ptr<ComWindowTarget> windowTarget;

  std::unique_ptr<CommWaitStop> stop;
  ManualResetEvent stopped;
  // Stopped from inside its own delivery: the rest of that wake-up and the device are left alone.
  std::atomic<bool> abandoned{false};
  std::atomic<bool> finished{false};
  // Set on the main thread while it runs one of this thread's smThreadSync hand-overs.
  std::atomic<bool> inHandOver{false};
};

TComThread::TComThread(TCustomComPort& port, CommDevice& device, MainThread& mainThread,
                       ErrorReporter& errorReporter, TComEvents events, TSyncMethod syncMethod,
                       std::shared_ptr<ComWindowTarget> windowTarget)
    : state_(std::make_shared<State>(port, device, mainThread, errorReporter, events, syncMethod,
                                     std::move(windowTarget))) {}

TComThread::~TComThread() {
  if (!Stop()) thread_.detach();
}

void TComThread::Start() {
  if (thread_.joinable()) return;
  state_->stop = state_->device.CreateWaitStop();
  // The result is not examined: with a mask the device refused, its waits report nothing.
  state_->device.SetCommMask(EventMask(state_->events));
  thread_ = std::thread([state = state_] { Execute(state); });
}

bool TComThread::Stop() {
  if (!thread_.joinable()) return true;
  State& state = *state_;
  const bool insideDelivery = (state.mainThread.IsMainThread() && state.inHandOver) ||
                              std::this_thread::get_id() == thread_.get_id();
  if (insideDelivery) {
    // The thread waits for the very call we are in: it cannot end before we return. The port
    // may already be closed by then, so the thread must leave the device alone.
    state.abandoned = true;
    state.stop->Set();
    state.stopped.Set();
    return false;
  }
  state.stop->Set();
  state.stopped.Set();
  std::this_thread::yield();
  if (state.mainThread.IsMainThread() && !state.abandoned) {
    // The thread may be blocked in a hand-over that only the main thread can run. One stopped
    // inside its delivery has no further hand-over: waiting for it runs nobody's handlers.
    state.mainThread.ServeUntil([&state] { return state.finished.load(); });
  }
  thread_.join();
  return true;
}

void TComThread::Execute(const std::shared_ptr<State>& statePtr) {
  State& state = *statePtr;
  while (!state.stop->IsSet()) {
    uint32_t mask = 0;
    const uint32_t result = state.device.WaitCommEvent(*state.stop, mask);
    if (result == winerr::kOperationAborted || state.stop->IsSet()) break;
    if (result != winerr::kSuccess) {
      // This wake-up is lost; the device is asked again after a pause.
      if (state.stopped.Wait(kRetryDelayMs)) break;
      continue;
    }
    const TComEvents events = EventsFromMask(mask);
    if (!events.Empty()) Deliver(state, events);
  }
  if (!state.abandoned) {
    state.device.SetCommMask(0);
    state.device.PurgeComm(kPurgeTxClear | kPurgeRxClear);
  }
  state.finished = true;
  state.mainThread.Notify();
}

void TComThread::Deliver(State& state, TComEvents events) {
  try {
    switch (state.syncMethod) {
      case TSyncMethod::smThreadSync:
        state.mainThread.Invoke([&state, events] {
          state.inHandOver = true;
          std::vector<std::exception_ptr> errors;
          try {
            errors = state.port.DeliverEvents(events, state.abandoned);
          } catch (...) {
            state.inHandOver = false;
            throw;
          }
          state.inHandOver = false;
          for (const auto& error : errors) state.Report(error);
        });
        break;
      case TSyncMethod::smWindowSync:
        for (TComEvent event : kDeliveryOrder) {
          if (!events.Contains(event)) continue;
          state.mainThread.Invoke([&state, event] {
            state.mainThread.Post(
                [target = state.windowTarget, event, &reporter = state.errorReporter] {
                  target->Deliver(event, reporter);
                });
          });
        }
        break;
      case TSyncMethod::smNone:
        for (const auto& error : state.port.DeliverEvents(events, state.abandoned)) {
          state.Report(error);
        }
        break;
    }
  } catch (...) {
    // Not a handler's failure (those come back as a list): the hand-over itself failed.
    state.Report(std::current_exception());
  }
}

}  // namespace trellon
