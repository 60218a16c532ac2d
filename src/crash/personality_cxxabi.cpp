// The interception of C++ exceptions: this program's own definition of the C++ personality
// routine, which the unwinder calls for every frame with C++ exception handling on the way of an
// exception. It looks at the frame in the search for a handler, notifies the thread's active
// watcher when the frame examines the exception, and then hands every call to the runtime's own
// routine with the same arguments, so that the outcome stays the runtime's. An exception that no
// frame takes reaches the terminate handler installed here, which notifies once more.
#include <dlfcn.h>
#include <unwind.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

#include "base/expected_exceptions.h"
#include "crash/call_site_table.h"
#include "crash/except_watcher.h"
#include "crash/live_stack_linux.h"
#include "crash/termination_note.h"
#include "crash/thrown_exception_cxxabi.h"

#if defined(__ARM_EABI_UNWINDER__) || defined(__USING_SJLJ_EXCEPTIONS__)
#error "The personality interposition is written for the table-based unwinder of the C++ ABI"
#endif

namespace trellon {
namespace {

using Personality = _Unwind_Reason_Code (*)(int, _Unwind_Action, _Unwind_Exception_Class,
                                            _Unwind_Exception*, _Unwind_Context*);

std::atomic<Personality> runtimePersonality{nullptr};
std::terminate_handler previousTerminate = nullptr;
// The thread is on its way out through the terminate path: what the runtime's own terminate
// handler throws and catches to print the exception is no news.
thread_local bool ending = false;

// The frames looked at to find the throw: the personality's callers up to the thrower.
constexpr size_t kThrowSearchFrames = 32;

Personality RuntimePersonality() {
  Personality personality = runtimePersonality.load(std::memory_order_acquire);
  if (personality == nullptr) {
    personality = reinterpret_cast<Personality>(dlsym(RTLD_NEXT, "__gxx_personality_v0"));
    if (personality == nullptr) {
      std::fputs("Trellon: the C++ runtime's personality routine is missing\n", stderr);
      std::abort();
    }
    runtimePersonality.store(personality, std::memory_order_release);
  }
  return personality;
}

// An ExpectedExceptions scope lies in the frame that holds it, above that frame's stack pointer;
// the frames called inside the scope lie below it, the frames further out above it (the stack
// grows down).
bool ExpectedHere(uintptr_t frameStackPointer) {
  const ExpectedExceptions* scope = ExpectedExceptions::Innermost();
  return scope != nullptr && frameStackPointer < reinterpret_cast<uintptr_t>(scope);
}

// Notifies the active watcher of `thrown`, thrown from the first frame after the runtime's.
bool Notify(const ThrownException& thrown, bool unhandled) {
  LiveFrame frames[kThrowSearchFrames];
  const size_t count = CaptureLiveStack(frames, kThrowSearchFrames);
  const size_t thrower = FindThrowingFrame(frames, count);
  TclProcessorContext context;
  if (thrower < count) {
    context.InstructionPointer = frames[thrower].address;
    context.StackPointer = frames[thrower].stackPointer;
  }
  TclExceptionRecord record;
  record.ExceptionCode = !thrown.cxx       ? kForeignException
                         : thrown.rethrown ? kNativeReRaise
                                           : kNativeException;
  record.ExceptionFlags = kNonContinuable;
  record.ExceptionAddress = context.InstructionPointer;
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = context.InstructionPointer;
  record.ExceptionInformation[1] = reinterpret_cast<uintptr_t>(thrown.object);
  return TclExceptWatcher::NotifyWatcher(context, record,
                                         thrown.cxx ? &thrown.description : nullptr, unhandled);
}

void ReportFailure(const char* what) {
  std::fprintf(stderr, "Trellon: the exception report failed: %s\n", what);
}

// The search for a handler has reached a frame of the watched thread.
void ExamineFrame(_Unwind_Exception* exception, _Unwind_Context* context) noexcept {
  try {
    const auto* table = static_cast<const uint8_t*>(_Unwind_GetLanguageSpecificData(context));
    int beforeInstruction = 0;
    uintptr_t instruction = _Unwind_GetIPInfo(context, &beforeInstruction);
    if (!beforeInstruction) --instruction;
    const FrameHandling handling =
        ClassifyCallSite(table, _Unwind_GetRegionStart(context), instruction);
    if (handling != FrameHandling::Examines && handling != FrameHandling::Terminates) return;
    // The unwinder's frame address while it looks at a frame is where the frame called on: its
    // stack pointer.
    if (ExpectedHere(_Unwind_GetCFA(context))) return;
    const bool unhandled = handling == FrameHandling::Terminates;
    if (Notify(DescribeThrown(exception), unhandled) && unhandled) NoteTerminationReported();
  } catch (const std::exception& error) {
    ReportFailure(error.what());
  } catch (...) {
    ReportFailure("an exception that is no std::exception");
  }
}

// The terminate handler: an exception that no frame took, unless the search already reported it
// at a frame that may not throw.
[[noreturn]] void OnTerminate() {
  try {
    if (!TerminationReported() && TclExceptWatcher::ActiveWatcher() != nullptr) {
      if (const auto thrown = DescribeCurrent()) {
        if (Notify(*thrown, true)) NoteTerminationReported();
      }
    }
  } catch (const std::exception& error) {
    ReportFailure(error.what());
  } catch (...) {
    ReportFailure("an exception that is no std::exception");
  }
  ending = true;
  if (previousTerminate != nullptr) previousTerminate();
  std::abort();
}

}  // namespace

void InstallExceptionInterception() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    RuntimePersonality();
    WarmUpLiveStack();
    previousTerminate = std::set_terminate(&OnTerminate);
  });
}

}  // namespace trellon

extern "C" _Unwind_Reason_Code __gxx_personality_v0(int version, _Unwind_Action actions,
                                                    _Unwind_Exception_Class exceptionClass,
                                                    _Unwind_Exception* exception,
                                                    _Unwind_Context* context) {
  if ((actions & _UA_SEARCH_PHASE) && trellon::TclExceptWatcher::ActiveWatcher() != nullptr &&
      !trellon::ending) {
    trellon::ExamineFrame(exception, context);
  }
  return trellon::RuntimePersonality()(version, actions, exceptionClass, exception, context);
}
