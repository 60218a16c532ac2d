#include "crash/except_watcher.h"

namespace trellon {
namespace {

thread_local TclExceptWatcher* activeWatcher = nullptr;
// Set while a notification runs on this thread.
thread_local bool notifying = false;

}  // namespace

TclExceptWatcher::TclExceptWatcher(StackTracerFactory makeTracer)
    : makeTracer_(std::move(makeTracer)) {
  InstallExceptionInterception();
  SetActive(true);
}

TclExceptWatcher::~TclExceptWatcher() {
  SetActive(false);
}

void TclExceptWatcher::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active) {
    activeWatcher = this;
  } else if (activeWatcher == this) {
    activeWatcher = nullptr;
  }
}

TclExceptWatcher* TclExceptWatcher::ActiveWatcher() {
  return activeWatcher;
}

bool TclExceptWatcher::NotifyWatcher(const TclProcessorContext& context,
                                     const TclExceptionRecord& record,
                                     const TclExceptionObject* object, bool unhandled) {
  // Only the first, searching pass of a dispatch is observed.
  if (record.ExceptionFlags & (kUnwinding | kExitUnwind)) return false;
  TclExceptWatcher* watcher = activeWatcher;
  if (watcher == nullptr || notifying) return false;
  notifying = true;
  struct Done {
    ~Done() { notifying = false; }
  } done;
  return watcher->Notify(context, record, object, unhandled);
}

bool TclExceptWatcher::Notify(const TclProcessorContext& context, const TclExceptionRecord& record,
                              const TclExceptionObject* object, bool unhandled) {
  information_ = std::make_unique<TclExceptionInformation>(
      TclExceptionInformation{context, record, unhandled});
  const TclExceptionInformation& information = *information_;
  if (record.ExceptionCode == kNativeException || record.ExceptionCode == kNativeReRaise) {
    if (!OnNativeException) return false;
    const bool withObject = record.ExceptionCode == kNativeException && record.NumberParameters > 1;
    OnNativeException(*this, withObject ? object : nullptr, information, Tracer());
    return true;
  }
  if (!OnSystemException) return false;
  OnSystemException(*this, information, Tracer());
  return true;
}

TclStackTracer& TclExceptWatcher::Tracer() {
  if (!tracer_) tracer_ = makeTracer_();
  return *tracer_;
}

}  // namespace trellon
