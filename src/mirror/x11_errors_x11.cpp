#include "mirror/x11_errors_x11.h"

#include <map>
#include <mutex>

namespace trellon {
namespace {

std::mutex displaysMutex;
std::map<Display*, unsigned long>& QuietDisplays() {
  static std::map<Display*, unsigned long> displays;
  return displays;
}
XErrorHandler previousHandler = nullptr;
XIOErrorHandler previousIoHandler = nullptr;

bool IsQuiet(Display* display) {
  const std::lock_guard<std::mutex> lock(displaysMutex);
  return QuietDisplays().count(display) > 0;
}

// A broken connection of ours returns to Xlib, which then runs the connection's own exit
// handler (it marks the connection dead); the handler before ours (Xlib's, or the toolkit's)
// would end the process.
int QuietIoHandler(Display* display) {
  if (IsQuiet(display)) return 0;
  return previousIoHandler ? previousIoHandler(display) : 0;
}

int QuietHandler(Display* display, XErrorEvent* error) {
  {
    const std::lock_guard<std::mutex> lock(displaysMutex);
    auto found = QuietDisplays().find(display);
    if (found != QuietDisplays().end()) {
      ++found->second;
      return 0;
    }
  }
  return previousHandler ? previousHandler(display, error) : 0;
}

}  // namespace

void InstallQuietErrorHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    previousHandler = XSetErrorHandler(QuietHandler);
    previousIoHandler = XSetIOErrorHandler(QuietIoHandler);
  });
}

void QuietenDisplay(Display* display) {
  const std::lock_guard<std::mutex> lock(displaysMutex);
  QuietDisplays()[display] = 0;
}

void ForgetDisplay(Display* display) {
  const std::lock_guard<std::mutex> lock(displaysMutex);
  QuietDisplays().erase(display);
}

unsigned long QuietErrorCount(Display* display) {
  const std::lock_guard<std::mutex> lock(displaysMutex);
  auto found = QuietDisplays().find(display);
  return found == QuietDisplays().end() ? 0 : found->second;
}

}  // namespace trellon
