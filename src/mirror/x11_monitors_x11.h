#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "mirror/mirror_types.h"

namespace trellon {

// The monitors of the connection's screen from RandR, in device pixels and RandR's order; the
// whole screen as one monitor when RandR has none.
std::vector<MonitorRect> ListMonitors(Display* display);

}  // namespace trellon
