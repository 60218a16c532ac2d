#pragma once

#include <cstddef>
#include <cstdint>

namespace trellon {

// One frame of the calling thread's stack as the unwinder sees it.
struct LiveFrame {
  uintptr_t address = 0;
  // The frame's stack pointer where it called the next frame in.
  uintptr_t stackPointer = 0;
  // False for the frame a signal interrupted: its address is the instruction itself.
  bool returnAddress = true;
};

// The calling thread's frames from the caller of this function outwards, at most `capacity`.
// Takes no lock and allocates nothing once the unwinder has run once (WarmUpLiveStack).
size_t CaptureLiveStack(LiveFrame* frames, size_t capacity);
void WarmUpLiveStack();

// The frame a C++ exception was thrown from, seen from code that the exception runtime called
// (the personality routine, a terminate handler): the first frame after the runtime's own
// (unwinder, C++ runtime, a sanitizer's interceptors) that follow the caller's frames. `count`
// when there is none.
size_t FindThrowingFrame(const LiveFrame* frames, size_t count);

}  // namespace trellon
