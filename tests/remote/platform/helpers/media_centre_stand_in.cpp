// A stand-in for the media-centre program in the launcher's tests. It runs until it is killed,
// asked to close, or its time is up. When a display is reachable it maps a top-level window that
// takes part in the WM_DELETE_WINDOW protocol and names its process in _NET_WM_PID, and exits
// with 0 when that window is asked to close.
//
//   media_centre_stand_in [--timeout SECONDS] [--transient] [--report]
//
// --transient also maps a dialog owned by the main window (above it); a close request for the
// dialog ends the program with 4, so a test sees that the wrong window was picked. --report
// prints the window ids on stdout as "window <id>" and "transient <id>". Time is up: exit 3.
// With TRELLON_STAND_IN_HANGS in the environment (the launcher passes no options) it plays a hung
// program: close requests are taken and ignored.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr int kTimeUp = 3;
constexpr int kWrongWindowClosed = 4;

Window MakeWindow(Display* display, Atom deleteWindow, Atom pidAtom) {
  const int screen = DefaultScreen(display);
  const Window window =
      XCreateSimpleWindow(display, RootWindow(display, screen), 10, 10, 200, 100, 1,
                          BlackPixel(display, screen), WhitePixel(display, screen));
  XSetWMProtocols(display, window, &deleteWindow, 1);
  const unsigned long pid = static_cast<unsigned long>(getpid());
  XChangeProperty(display, window, pidAtom, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  XStoreName(display, window, "media centre stand-in");
  return window;
}

int RunWindow(Display* display, bool withTransient, bool report,
              std::chrono::steady_clock::time_point end) {
  const bool hung = std::getenv("TRELLON_STAND_IN_HANGS") != nullptr;
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  const Window main = MakeWindow(display, deleteWindow, pidAtom);
  XMapWindow(display, main);
  Window transient = None;
  if (withTransient) {
    transient = MakeWindow(display, deleteWindow, pidAtom);
    XSetTransientForHint(display, transient, main);
    XMapRaised(display, transient);
  }
  XSync(display, False);
  if (report) {
    std::printf("window %lu\n", main);
    if (transient != None) std::printf("transient %lu\n", transient);
    std::fflush(stdout);
  }

  while (std::chrono::steady_clock::now() < end) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != ClientMessage || event.xclient.message_type != protocols ||
          static_cast<Atom>(event.xclient.data.l[0]) != deleteWindow) {
        continue;
      }
      if (hung) continue;
      return event.xclient.window == main ? 0 : kWrongWindowClosed;
    }
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, 100);
  }
  return kTimeUp;
}

}  // namespace

int main(int argc, char** argv) {
  int timeoutSeconds = 60;
  bool withTransient = false;
  bool report = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      timeoutSeconds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--transient") == 0) {
      withTransient = true;
    } else if (std::strcmp(argv[i], "--report") == 0) {
      report = true;
    }
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  if (Display* display = XOpenDisplay(nullptr)) {
    const int status = RunWindow(display, withTransient, report, end);
    XCloseDisplay(display);
    return status;
  }
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return kTimeUp;
}
