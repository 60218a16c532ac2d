#pragma once

#include <X11/Xlib.h>

namespace trellon {

// Protocol errors on the mirror's connections are expected (a window that went away, a monitor
// rectangle outside the screen) and must not end the program as Xlib's default handler does.
// The handler is installed once, from the main thread; errors of other connections go on to the
// handler that was there before.
void InstallQuietErrorHandler();
// Errors of this connection are counted and swallowed from now on, until Forget.
void QuietenDisplay(Display* display);
void ForgetDisplay(Display* display);
// Errors counted on the connection so far.
unsigned long QuietErrorCount(Display* display);

}  // namespace trellon
