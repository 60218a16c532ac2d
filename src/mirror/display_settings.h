#pragma once

#include <atomic>
#include <cstdint>

namespace trellon {

// The display mirror's settings as fields of the main window. Written by the main thread only;
// the mirror thread reads each as one machine word, so a change shows from its next frame.
struct DisplaySettings {
  std::atomic<bool> DisplayMode{false};
  std::atomic<bool> DisplayHighQuality{false};
  std::atomic<bool> DisplayBufferedCopy{true};
  std::atomic<bool> DisplayTargetDirectAccess{true};
  std::atomic<int32_t> DisplayTimer{50};
  std::atomic<int32_t> DisplayNr{0};
};

}  // namespace trellon
