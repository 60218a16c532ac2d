#pragma once

#include <X11/Xlib.h>

namespace trellon {

// Protocol errors on the mirror's connections are expected (a window that went away, a monitor
// rectangle outside the screen) and must not end the program as Xlib's default handler does.
// The handlers (protocol and I/O errors) are installed once, from the main thread, after the
// toolkit has set its own; errors of other connections go on to the handlers that were there
// before.
void InstallQuietErrorHandler();
// Errors of this connection are counted and swallowed from now on, until Forget.
void QuietenDisplay(Display* display);
void ForgetDisplay(Display* display);
// Errors counted on the connection so far.
unsigned long QuietErrorCount(Display* display);

}  // namespace trellon
