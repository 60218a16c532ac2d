#pragma once

#include <memory>
#include <vector>

#include "base/shell_services.h"
#include "mirror/frame_device.h"
#include "mirror/mirror_types.h"

namespace trellon {

// The desktop as the main thread sees it: its monitors and synthetic pointer input, through one
// connection of its own, opened on first use.
class DesktopDisplay : public PointerInjector {
 public:
  // The monitors in device pixels in the platform's order; empty without a display.
  virtual std::vector<MonitorRect> Monitors() = 0;
};

// This platform's desktop (main thread).
std::unique_ptr<DesktopDisplay> CreateDesktopDisplay();

// Connections for the mirror thread. Made on the main thread, which also checks the display's
// extensions once and logs what is missing (the capture then takes a slower path).
std::unique_ptr<FrameDeviceFactory> CreateFrameDeviceFactory(LogSink& log);

}  // namespace trellon
