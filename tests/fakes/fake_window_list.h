#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "remote/window_list.h"

namespace trellon::fakes {

// A desktop in memory: windows topmost first, each with its process; records every call in
// order ("TopLevelWindows", "WindowProcessId 5", "PostClose 5").
class FakeWindowList : public WindowList {
 public:
  std::vector<TopLevelWindow> TopLevelWindows() override;
  ProcessId WindowProcessId(WindowHandle window) override;
  void PostClose(WindowHandle window) override;

  // Adds a window below the ones already there.
  void AddWindow(WindowHandle handle, ProcessId pid, WindowHandle owner = 0);

  std::vector<TopLevelWindow> windows;
  std::map<WindowHandle, ProcessId> processOf;
  std::vector<std::string> calls;
  std::vector<WindowHandle> closed;
  // Runs at the start of every call.
  std::function<void(const std::string& call)> onCall;

 private:
  void Record(std::string call);
};

}  // namespace trellon::fakes
