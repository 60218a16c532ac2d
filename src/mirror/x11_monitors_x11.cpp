#include "mirror/x11_monitors_x11.h"

#include <X11/extensions/Xrandr.h>

namespace trellon {

std::vector<MonitorRect> ListMonitors(Display* display) {
  std::vector<MonitorRect> monitors;
  const int screen = DefaultScreen(display);
  int event = 0;
  int error = 0;
  if (XRRQueryExtension(display, &event, &error)) {
    int count = 0;
    XRRMonitorInfo* list = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
    for (int i = 0; list && i < count; ++i) {
      monitors.push_back({list[i].x, list[i].y, list[i].width, list[i].height});
    }
    if (list) XRRFreeMonitors(list);
  }
  if (monitors.empty()) {
    monitors.push_back({0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)});
  }
  return monitors;
}

}  // namespace trellon
