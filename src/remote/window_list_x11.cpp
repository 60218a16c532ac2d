#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>

#include "remote/window_list.h"

namespace trellon {
namespace {

// Windows vanish between listing and asking about them. Errors on our connection are expected
// and ignored; errors of any other connection in the program go to whatever handler was there.
std::mutex errorHandlerMutex;
std::atomic<Display*> quietDisplay{nullptr};
XErrorHandler previousErrorHandler = nullptr;

int QuietErrorHandler(Display* display, XErrorEvent* error) {
  if (display == quietDisplay.load()) return 0;
  return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

// While alive, errors of the display's requests are swallowed; the end waits until every
// request was answered so that no error arrives later.
class QuietErrors {
 public:
  explicit QuietErrors(Display* display) : display_(display), lock_(errorHandlerMutex) {
    quietDisplay.store(display);
    previousErrorHandler = XSetErrorHandler(QuietErrorHandler);
  }
  ~QuietErrors() {
    XSync(display_, False);
    XSetErrorHandler(previousErrorHandler);
    quietDisplay.store(nullptr);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  Display* display_;
  std::lock_guard<std::mutex> lock_;
};

// A 32-bit property of one type; Xlib hands such items over as longs.
std::vector<unsigned long> LongProperty(Display* display, Window window, Atom property, Atom type,
                                        long maxItems) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, window, property, 0, maxItems, False, type,
                                        &actualType, &actualFormat, &count, &remaining, &data);
  std::vector<unsigned long> items;
  if (status == Success && data && actualType == type && actualFormat == 32) {
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    items.assign(values, values + count);
  }
  if (data) XFree(data);
  return items;
}

class X11WindowList final : public WindowList {
 public:
  ~X11WindowList() override {
    if (display_) XCloseDisplay(display_);
  }

  std::vector<TopLevelWindow> TopLevelWindows() override {
    Display* display = Connection();
    if (!display) return {};
    QuietErrors quiet(display);
    std::vector<unsigned long> windows = StackingOrder(display);
    // Both sources list the bottom window first.
    std::reverse(windows.begin(), windows.end());
    std::vector<TopLevelWindow> result;
    result.reserve(windows.size());
    for (const unsigned long window : windows) {
      Window owner = None;
      if (!XGetTransientForHint(display, window, &owner)) owner = None;
      result.push_back({window, owner});
    }
    return result;
  }

  ProcessId WindowProcessId(WindowHandle window) override {
    Display* display = Connection();
    if (!display || window == 0) return 0;
    QuietErrors quiet(display);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return 0;
    const std::vector<unsigned long> pid = LongProperty(display, window, pidAtom, XA_CARDINAL, 1);
    if (pid.empty() || pid[0] > UINT32_MAX) return 0;
    return static_cast<ProcessId>(pid[0]);
  }

  void PostClose(WindowHandle window) override {
    Display* display = Connection();
    if (!display || window == 0) return;
    QuietErrors quiet(display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
  }

 private:
  // Opened on first use from DISPLAY; without one there is nothing to find, and a later call
  // tries again.
  Display* Connection() {
    if (!display_) display_ = XOpenDisplay(nullptr);
    return display_;
  }

  // The window manager's list of client windows when there is one; else the root's children.
  static std::vector<unsigned long> StackingOrder(Display* display) {
    const Window root = DefaultRootWindow(display);
    const Atom stacking = XInternAtom(display, "_NET_CLIENT_LIST_STACKING", True);
    if (stacking != None) {
      std::vector<unsigned long> clients =
          LongProperty(display, root, stacking, XA_WINDOW, LONG_MAX / 4);
      if (!clients.empty()) return clients;
    }
    Window rootReturn = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<unsigned long> windows;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) && children) {
      windows.assign(children, children + count);
    }
    if (children) XFree(children);
    return windows;
  }

  Display* display_ = nullptr;
};

}  // namespace

std::unique_ptr<WindowList> CreateWindowList() {
  return std::make_unique<X11WindowList>();
}

}  // namespace trellon
