#pragma once

#include <memory>
#include <string>
#include <vector>

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

// Connections for the mirror thread; made on the main thread.
std::unique_ptr<FrameDeviceFactory> CreateFrameDeviceFactory();

// What the mirror will miss on this display, one log line each (a missing MIT-SHM makes every
// capture a plain image read); nothing when all is there or there is no display. Main thread.
std::vector<std::string> CheckMirrorDisplay();

}  // namespace trellon
