#include "app/monitors.h"

#include <QGuiApplication>
#include <QScreen>

namespace trellon {

std::vector<MonitorRect> DesktopMonitors(DesktopDisplay* desktop) {
  std::vector<MonitorRect> monitors;
  if (desktop) monitors = desktop->Monitors();
  if (!monitors.empty()) return monitors;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect geometry = screen->geometry();
    monitors.push_back({geometry.x(), geometry.y(), geometry.width(), geometry.height()});
  }
  return monitors;
}

std::string MonitorLogLine(size_t index, const MonitorRect& monitor) {
  return "Monitor #" + std::to_string(index) + " @ " + std::to_string(monitor.left) + ", " +
         std::to_string(monitor.top) + ", " + std::to_string(monitor.width) + ", " +
         std::to_string(monitor.height);
}

}  // namespace trellon
