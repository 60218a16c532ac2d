#pragma once

#include <functional>
#include <memory>

#include "crash/exception_information.h"
#include "crash/stack_tracer.h"

namespace trellon {

// Observes every exception on the thread it is active on at the moment a handler examines it:
// a frame with catch clauses (also one whose clauses do not take the exception), a frame with a
// throw(...) list of allowed exceptions, and the terminate path for an exception that no frame
// takes; in the search that comes before any frame is left, before that handler acts, without
// changing what happens next. Each observation captures the exception's state and raises an event:
// a C++ exception raises OnNativeException (with the exception object on its first throw, none when
// it is thrown again), an exception of another runtime OnSystemException.
//
// Faults (SIGSEGV and the like) are not observed here: a process that faults cannot safely run
// these handlers, so FaultReporting hands them to the crash helper, which reports them with the
// same report lines.
//
// This platform has no safecall boundaries (methods that turn an escaping exception into a
// result code), so there are no safecall events.
class TclExceptWatcher {
 public:
  using TclNativeExceptionEvent =
      std::function<void(TclExceptWatcher& Sender, const TclExceptionObject* E,
                         const TclExceptionInformation& EI, TclStackTracer& StackTracer)>;
  using TclSystemExceptionEvent = std::function<void(
      TclExceptWatcher& Sender, const TclExceptionInformation& EI, TclStackTracer& StackTracer)>;
  using StackTracerFactory = std::function<std::unique_ptr<TclStackTracer>()>;

  // Active from the start, on the constructing thread. The tracer is made when the first event
  // that has a handler is raised, and kept.
  explicit TclExceptWatcher(StackTracerFactory makeTracer = CreateStackTracer);
  // Inactive; frees the last information and the tracer.
  ~TclExceptWatcher();
  TclExceptWatcher(const TclExceptWatcher&) = delete;
  TclExceptWatcher& operator=(const TclExceptWatcher&) = delete;

  bool Active() const { return active_; }
  // True makes this the calling thread's active watcher; false (from true) empties that slot.
  // Setting the current value does nothing.
  void SetActive(bool active);

  // The events; the arguments are the watcher's own objects, valid during the call only.
  TclNativeExceptionEvent OnNativeException;
  TclSystemExceptionEvent OnSystemException;

  // The calling thread's active watcher, or null.
  static TclExceptWatcher* ActiveWatcher();

  // The interception's call on the thread that dispatches an exception: captures the state and
  // raises the event on that thread's active watcher. Nothing for the unwinding calls (flags 2,
  // 4), without an active watcher, or inside a notification (an exception that a handler or the
  // report raises and handles is not reported again). `object` is the exception object's
  // description; it is handed on only with code kNativeException. True when a handler ran.
  static bool NotifyWatcher(const TclProcessorContext& context, const TclExceptionRecord& record,
                            const TclExceptionObject* object, bool unhandled);

  // The information of the last notification, or null.
  const TclExceptionInformation* LastInformation() const { return information_.get(); }

 private:
  bool Notify(const TclProcessorContext& context, const TclExceptionRecord& record,
              const TclExceptionObject* object, bool unhandled);
  TclStackTracer& Tracer();

  StackTracerFactory makeTracer_;
  bool active_ = false;
  std::unique_ptr<TclExceptionInformation> information_;
  std::unique_ptr<TclStackTracer> tracer_;
};

// Installs the interception of C++ exceptions for the whole process, once; later calls do
// nothing. The watcher's constructor calls it.
void InstallExceptionInterception();

}  // namespace trellon
