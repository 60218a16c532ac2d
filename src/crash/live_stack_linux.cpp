// The calling thread's stack through the unwinder of the C++ ABI, and the exception runtime's
// modules found through the dynamic loader.
#include "crash/live_stack_linux.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <unwind.h>

#include <array>
#include <exception>

namespace trellon {
namespace {

struct Capture {
  LiveFrame* frames;
  size_t capacity;
  size_t count;
  bool skippedOwn;
};

_Unwind_Reason_Code CaptureFrame(_Unwind_Context* context, void* argument) {
  auto& capture = *static_cast<Capture*>(argument);
  if (!capture.skippedOwn) {  // CaptureLiveStack's own frame
    capture.skippedOwn = true;
    return _URC_NO_REASON;
  }
  int beforeInstruction = 0;
  const uintptr_t address = _Unwind_GetIPInfo(context, &beforeInstruction);
  if (address == 0 || address == ~uintptr_t{0}) return _URC_END_OF_STACK;
  // Before the unwinder steps past a frame, its frame address is the one of the frame called
  // from there: the frame's own stack pointer.
  capture.frames[capture.count++] = {address, _Unwind_GetCFA(context), beforeInstruction == 0};
  return capture.count < capture.capacity ? _URC_NO_REASON : _URC_END_OF_STACK;
}

const void* ModuleBase(const void* address) {
  Dl_info info{};
  return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

// The modules of the unwinder, the C++ runtime and (in a sanitizer build) the sanitizer runtime
// that intercepts the throw (_Unwind_RaiseException and __cxa_throw then name its interceptors);
// the program itself never counts, should the runtime be linked in.
class RuntimeModules {
 public:
  RuntimeModules() {
    const void* program = ModuleBase(reinterpret_cast<const void*>(&FindThrowingFrame));
    const std::array<const void*, 6> functions = {
        reinterpret_cast<const void*>(&_Unwind_Backtrace),
        reinterpret_cast<const void*>(&_Unwind_RaiseException),
        reinterpret_cast<const void*>(&__cxxabiv1::__cxa_throw),
        reinterpret_cast<const void*>(&__cxxabiv1::__cxa_rethrow),
        reinterpret_cast<const void*>(&std::rethrow_exception),
        reinterpret_cast<const void*>(&std::terminate)};
    for (const void* function : functions) {
      const void* base = ModuleBase(function);
      if (base != nullptr && base != program) bases_[count_++] = base;
    }
  }

  bool Contains(uintptr_t address) const {
    const void* base = ModuleBase(reinterpret_cast<const void*>(address));
    for (size_t i = 0; i < count_; ++i) {
      if (bases_[i] == base) return true;
    }
    return false;
  }

 private:
  std::array<const void*, 6> bases_{};
  size_t count_ = 0;
};

}  // namespace

size_t CaptureLiveStack(LiveFrame* frames, size_t capacity) {
  if (capacity == 0) return 0;
  Capture capture{frames, capacity, 0, false};
  _Unwind_Backtrace(&CaptureFrame, &capture);
  return capture.count;
}

void WarmUpLiveStack() {
  std::array<LiveFrame, 4> frames;
  CaptureLiveStack(frames.data(), frames.size());
}

size_t FindThrowingFrame(const LiveFrame* frames, size_t count) {
  static const RuntimeModules runtime;
  size_t i = 0;
  while (i < count && !runtime.Contains(frames[i].address)) ++i;
  while (i < count && runtime.Contains(frames[i].address)) ++i;
  return i;
}

}  // namespace trellon
