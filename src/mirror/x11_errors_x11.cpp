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
  std::call_once(installed, [] { previousHandler = XSetErrorHandler(QuietHandler); });
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
