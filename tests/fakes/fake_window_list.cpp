#include "fakes/fake_window_list.h"

namespace trellon::fakes {

void FakeWindowList::Record(std::string call) {
  if (onCall) onCall(call);
  calls.push_back(std::move(call));
}

std::vector<TopLevelWindow> FakeWindowList::TopLevelWindows() {
  Record("TopLevelWindows");
  return windows;
}

ProcessId FakeWindowList::WindowProcessId(WindowHandle window) {
  Record("WindowProcessId " + std::to_string(window));
  const auto it = processOf.find(window);
  return it == processOf.end() ? 0 : it->second;
}

void FakeWindowList::PostClose(WindowHandle window) {
  Record("PostClose " + std::to_string(window));
  closed.push_back(window);
}

void FakeWindowList::AddWindow(WindowHandle handle, ProcessId pid, WindowHandle owner) {
  windows.push_back({handle, owner});
  processOf[handle] = pid;
}

}  // namespace trellon::fakes
