#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trellon {

// One monitor of the desktop in virtual-screen pixels.
struct MonitorRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The desktop's monitors in the platform's order (Qt's screen list; the offscreen platform has
// one). Main thread only.
std::vector<MonitorRect> DesktopMonitors();

// "Monitor #0 @ 0, 0, 1920, 1080"
std::string MonitorLogLine(size_t index, const MonitorRect& monitor);

}  // namespace trellon
