#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "remote/process_control.h"

namespace trellon {

// A top-level window of the desktop; 0 stands for none.
using WindowHandle = uint64_t;

struct TopLevelWindow {
  WindowHandle handle = 0;
  // The window this one belongs to (a dialog's main window); 0 when it has none.
  WindowHandle owner = 0;
};

// The desktop's top-level windows, as the media-centre launcher needs them. Every operation fails
// silently: without a desktop there are no windows.
class WindowList {
 public:
  virtual ~WindowList() = default;

  // Top-level windows in z-order, topmost first, visible or not.
  virtual std::vector<TopLevelWindow> TopLevelWindows() = 0;
  // The process that shows the window; 0 when the handle is no window or gives no process.
  virtual ProcessId WindowProcessId(WindowHandle window) = 0;
  // Asks the window to close, as its close button would, without waiting for it.
  virtual void PostClose(WindowHandle window) = 0;
};

// The backend of this platform's desktop.
std::unique_ptr<WindowList> CreateWindowList();

}  // namespace trellon
