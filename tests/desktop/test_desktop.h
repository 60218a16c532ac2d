#pragma once

// A desktop of the tests' own: a private X server (Xvfb) and, on request, the openbox window
// manager on it, so that window behaviour is tried under a real window manager without
// disturbing the display that other tests share. Plus the requests a task bar or pager sends to
// the window manager, and what the X server says about a window.

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

#include "support/child_process.h"
#include "support/temporary_directory.h"

namespace trellon::testing {

// A rectangle on the screen, in root-window pixels.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenRect&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ScreenRect& rect);

class TestDesktop {
 public:
  static constexpr int kWidth = 1280;
  static constexpr int kHeight = 1024;

  // Starts the X server; with a window manager, also openbox, and waits until it manages the
  // screen. Throws when either does not come up.
  explicit TestDesktop(bool windowManager);
  ~TestDesktop();
  TestDesktop(const TestDesktop&) = delete;
  TestDesktop& operator=(const TestDesktop&) = delete;

  // ":N", for DISPLAY.
  const std::string& DisplayName() const { return displayName_; }
  Display* Connection() const { return display_; }

  // --- What a task bar or pager asks of the window manager ---
  void Iconify(Window window);
  // _NET_ACTIVE_WINDOW: bring the window up (restores a minimised one).
  void Activate(Window window);
  // _NET_MOVERESIZE_WINDOW: the frame's top-left corner to left, top; the client to width, height.
  void MoveResize(Window window, const ScreenRect& rect);

  // --- What the X server says ---
  // The client area on the screen.
  ScreenRect ClientRect(Window window);
  // The window with the manager's frame around it (the client area when it has none).
  ScreenRect FrameRect(Window window);
  // WM_STATE: 1 normal, 3 iconic, 0 withdrawn or not set.
  long WmState(Window window);
  bool Viewable(Window window);

 private:
  // The window that is a direct child of the root and holds `window` (the manager's frame).
  Window TopLevel(Window window);
  void SendToRoot(Window window, const char* message, const long (&data)[5]);

  test_support::TemporaryDirectory configFolder_;
  std::unique_ptr<test_support::ChildProcess> server_;
  std::unique_ptr<test_support::ChildProcess> windowManager_;
  std::string displayName_;
  Display* display_ = nullptr;
};

}  // namespace trellon::testing
