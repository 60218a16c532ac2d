#include "link/com_thread.h"

#include <cstdio>
#include <exception>
#include <iterator>
#include <utility>
#include <vector>

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

TComThread::TComThread(TCustomComPort& port, CommDevice& device, MainThread& mainThread,
                       ErrorReporter& errorReporter, TComEvents events, TSyncMethod syncMethod,
                       std::shared_ptr<ComWindowTarget> windowTarget)
    : port_(port),
      device_(device),
      mainThread_(mainThread),
      errorReporter_(errorReporter),
      events_(events),
      syncMethod_(syncMethod),
      windowTarget_(std::move(windowTarget)) {}

TComThread::~TComThread() {
  if (Stop()) return;
  // The thread waits for the very delivery that destroys it; once that returned, it would run
  // on without its port.
  std::fputs("TComThread: a serial port was destroyed inside its own event delivery\n", stderr);
  std::terminate();
}

void TComThread::Start() {
  if (thread_.joinable()) return;
  stop_ = device_.CreateWaitStop();
  // The result is not examined: with a mask the device refused, its waits report nothing.
  device_.SetCommMask(EventMask(events_));
  thread_ = std::thread([this] { Execute(); });
}

bool TComThread::Stop() {
  if (!thread_.joinable()) return true;
  const bool insideDelivery =
      (mainThread_.IsMainThread() && inHandOver_) || std::this_thread::get_id() == thread_.get_id();
  if (insideDelivery) {
    // The thread waits for the very call we are in: it cannot end before we return. The port
    // may already be closed by then, so the thread must leave the device alone.
    abandoned_ = true;
    stop_->Set();
    stopped_.Set();
    return false;
  }
  stop_->Set();
  stopped_.Set();
  std::this_thread::yield();
  if (mainThread_.IsMainThread() && !abandoned_) {
    // The thread may be blocked in a hand-over that only the main thread can run. One stopped
    // inside its delivery has no further hand-over: waiting for it runs nobody's handlers.
    mainThread_.ServeUntil([this] { return finished_.load(); });
  }
  thread_.join();
  return true;
}

void TComThread::Report(std::exception_ptr error) {
  mainThread_.Post([&reporter = errorReporter_, error] { reporter.HandleException(error); });
}

void TComThread::Execute() {
  while (!stop_->IsSet()) {
    uint32_t mask = 0;
    const uint32_t result = device_.WaitCommEvent(*stop_, mask);
    if (result == winerr::kOperationAborted || stop_->IsSet()) break;
    if (result != winerr::kSuccess) {
      // This wake-up is lost; the device is asked again after a pause.
      if (stopped_.Wait(kRetryDelayMs)) break;
      continue;
    }
    const TComEvents events = EventsFromMask(mask);
    if (!events.Empty()) Deliver(events);
  }
  if (!abandoned_) {
    device_.SetCommMask(0);
    device_.PurgeComm(kPurgeTxClear | kPurgeRxClear);
  }
  finished_ = true;
  mainThread_.Notify();
}

void TComThread::Deliver(TComEvents events) {
  try {
    switch (syncMethod_) {
      case TSyncMethod::smThreadSync:
        mainThread_.Invoke([this, events] {
          inHandOver_ = true;
          std::vector<std::exception_ptr> errors;
          try {
            errors = port_.DeliverEvents(events, abandoned_);
          } catch (...) {
            inHandOver_ = false;
            throw;
          }
          inHandOver_ = false;
          for (const auto& error : errors) Report(error);
        });
        break;
      case TSyncMethod::smWindowSync:
        for (TComEvent event : kDeliveryOrder) {
          if (!events.Contains(event)) continue;
          mainThread_.Invoke([this, event] {
            mainThread_.Post([target = windowTarget_, event, &reporter = errorReporter_] {
              target->Deliver(event, reporter);
            });
          });
        }
        break;
      case TSyncMethod::smNone:
        for (const auto& error : port_.DeliverEvents(events, abandoned_)) Report(error);
        break;
    }
  } catch (...) {
    // Not a handler's failure (those come back as a list): the hand-over itself failed.
    Report(std::current_exception());
  }
}

}  // namespace trellon
