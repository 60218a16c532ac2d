#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <ostream>
#include <stdexcept>

#include "desktop/test_desktop.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon::testing {

using test_support::ChildProcess;
using test_support::WaitFor;

std::ostream& operator<<(std::ostream& out, const ScreenRect& rect) {
  return out << rect.width << "x" << rect.height << "+" << rect.left << "+" << rect.top;
}

TestDesktop::TestDesktop(bool windowManager) {
  // The server picks a free display number and tells it on standard output.
  ChildProcess::Options server({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                                std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24"});
  server.captureOutput = true;
  server.errorFile = "/dev/null";
  server_ = std::make_unique<ChildProcess>(server);
  if (!server_->WaitForOutput([](const auto& lines) { return !lines.empty(); },
                              test_support::kPatienceMs) ||
      server_->Lines().empty()) {
    throw std::runtime_error("Xvfb did not start");
  }
  displayName_ = ":" + server_->Lines().front();
  display_ = XOpenDisplay(displayName_.c_str());
  if (!display_) throw std::runtime_error("cannot connect to Xvfb at " + displayName_);
  if (!windowManager) return;

  // Our own settings, so that the machine's do not matter; no animations, which would keep
  // frames moving after a request.
  test_support::WriteText(configFolder_.File("rc.xml"), R"(<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <theme><name>Clearlooks</name><titleLayout>NLIMC</titleLayout>
    <animateIconify>no</animateIconify></theme>
  <desktops><number>1</number></desktops>
</openbox_config>
)");
  ChildProcess::Options manager(
      {"openbox", "--sm-disable", "--config-file", configFolder_.File("rc.xml")});
  manager.environment = {{"DISPLAY", displayName_}};
  manager.errorFile = "/dev/null";
  windowManager_ = std::make_unique<ChildProcess>(manager);
  const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
  const bool managed = WaitFor([&] {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found =
        XGetWindowProperty(display_, DefaultRootWindow(display_), check, 0, 1, False, XA_WINDOW,
                           &type, &format, &items, &after, &data) == Success &&
        items == 1;
    if (data) XFree(data);
    return found;
  });
  if (!managed) throw std::runtime_error("openbox did not take the screen");
}

TestDesktop::~TestDesktop() {
  if (display_) XCloseDisplay(display_);
  windowManager_.reset();
  server_.reset();
}

void TestDesktop::SendToRoot(Window window, const char* message, const long (&data)[5]) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, message, False);
  event.xclient.format = 32;
  for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
  XSendEvent(display_, DefaultRootWindow(display_), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display_);
}

void TestDesktop::Iconify(Window window) {
  XIconifyWindow(display_, window, DefaultScreen(display_));
  XFlush(display_);
}

void TestDesktop::Activate(Window window) {
  // Source 2: a pager or task bar, which the manager obeys without focus-stealing rules.
  SendToRoot(window, "_NET_ACTIVE_WINDOW", {2, CurrentTime, 0, 0, 0});
}

void TestDesktop::MoveResize(Window window, const ScreenRect& rect) {
  // North-west gravity (1) and x, y, width, height given (bits 8..11); source 2 (bits 12..13).
  const long flags = 1 | (0xF << 8) | (2 << 12);
  SendToRoot(window, "_NET_MOVERESIZE_WINDOW",
             {flags, rect.left, rect.top, rect.width, rect.height});
}

ScreenRect TestDesktop::ClientRect(Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, window, &attributes)) return {};
  int left = 0, top = 0;
  Window child = None;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &left, &top, &child);
  return {left, top, attributes.width, attributes.height};
}

Window TestDesktop::TopLevel(Window window) {
  Window root = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  while (XQueryTree(display_, window, &root, &parent, &children, &count)) {
    if (children) XFree(children);
    if (parent == root || parent == None) return window;
    window = parent;
  }
  return window;
}

ScreenRect TestDesktop::FrameRect(Window window) {
  const Window frame = TopLevel(window);
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, frame, &attributes)) return {};
  // The frame's border width counts to its outside.
  return {attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
          attributes.height + 2 * attributes.border_width};
}

long TestDesktop::WmState(Window window) {
  const Atom wmState = XInternAtom(display_, "WM_STATE", False);
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  long state = 0;
  if (XGetWindowProperty(display_, window, wmState, 0, 2, False, wmState, &type, &format, &items,
                         &after, &data) == Success &&
      data && items >= 1 && format == 32) {
    state = reinterpret_cast<long*>(data)[0];
  }
  if (data) XFree(data);
  return state;
}

bool TestDesktop::Viewable(Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

}  // namespace trellon::testing
