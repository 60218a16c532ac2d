#pragma once

// A test pattern on an X screen and what a user does with it: four coloured quadrants in a
// window at the screen's top-left corner, pixels read off the root window, real left clicks.
// Header only, so that the shared test library needs no X libraries.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace trellon::test_support {

constexpr unsigned long kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// Red, green / blue, white; above the window manager's windows, taking the given events.
inline Window ShowQuadrantPattern(Display* x, int width, int height, long eventMask) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.event_mask = eventMask;
  const Window pattern = XCreateWindow(
      x, DefaultRootWindow(x), 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
      CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
  XMapRaised(x, pattern);
  GC gc = XCreateGC(x, pattern, 0, nullptr);
  const unsigned long colours[4] = {kRed, kGreen, kBlue, kWhite};
  for (int q = 0; q < 4; ++q) {
    XSetForeground(x, gc, colours[q]);
    XFillRectangle(x, pattern, gc, (q % 2) * (width / 2), (q / 2) * (height / 2),
                   static_cast<unsigned>(width / 2), static_cast<unsigned>(height / 2));
  }
  XFreeGC(x, gc);
  XSync(x, False);
  return pattern;
}

// The root window's pixel at a screen point, as 0xRRGGBB; 0xDEAD where it cannot be read.
inline unsigned long RootPixel(Display* x, int left, int top) {
  XImage* image = XGetImage(x, DefaultRootWindow(x), left, top, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xDEAD;
  const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

// Whether the quadrants' centres show in their colours in a rectangle of the screen.
inline bool ShowsQuadrants(Display* x, int left, int top, int width, int height) {
  return RootPixel(x, left + width / 4, top + height / 4) == kRed &&
         RootPixel(x, left + 3 * width / 4, top + height / 4) == kGreen &&
         RootPixel(x, left + width / 4, top + 3 * height / 4) == kBlue &&
         RootPixel(x, left + 3 * width / 4, top + 3 * height / 4) == kWhite;
}

// A real left click at a screen point, as the user makes it.
inline void ClickOnScreen(Display* x, int left, int top) {
  XTestFakeMotionEvent(x, -1, left, top, CurrentTime);
  XTestFakeButtonEvent(x, Button1, True, CurrentTime);
  XTestFakeButtonEvent(x, Button1, False, CurrentTime);
  XSync(x, False);
}

}  // namespace trellon::test_support
