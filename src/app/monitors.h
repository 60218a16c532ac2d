#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mirror/mirror_types.h"
#include "mirror/platform_display.h"

namespace trellon {

// The desktop's monitors in the platform's order: the display's own list in device pixels when
// the window is on a real desktop (desktop given), else Qt's screen list (the offscreen platform
// has one). Main thread only.
std::vector<MonitorRect> DesktopMonitors(DesktopDisplay* desktop);

// "Monitor #0 @ 0, 0, 1920, 1080"
std::string MonitorLogLine(size_t index, const MonitorRect& monitor);

}  // namespace trellon
