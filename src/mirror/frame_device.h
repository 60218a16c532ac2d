#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mirror/mirror_types.h"

namespace trellon {

// The two offscreen surfaces of the buffered paths.
enum class SurfaceSlot { Source = 0, Target = 1 };

// Where a finished picture goes: the program's own window (drawn under the canvas lock) or the
// whole screen at the client area's position, over the windows there.
struct FrameTarget {
  enum class Kind { Window, Screen };
  Kind kind = Kind::Screen;
  uint64_t window = 0;
};

// The mirror thread's own connection to the display: capture, surfaces, drawing, the pointer.
// Used by one thread at a time (the mirror thread while it runs, the main thread after the join).
// A failed call leaves its part of the frame undrawn; the next frame tries again.
class FrameDevice {
 public:
  virtual ~FrameDevice() = default;

  // False once the connection is gone: the frame loop ends quietly.
  virtual bool Alive() const = 0;
  // The monitors in the platform's order, in device pixels, read anew on each call.
  virtual std::vector<MonitorRect> Monitors() = 0;
  // The pointer's picture, hot spot and position; false when there is none to draw.
  virtual bool TakeCursorSnapshot(CursorImage& cursor) = 0;

  // Pixel memory of width × height 32-bit pixels (0x00RRGGBB, rows top-down, no padding) for the
  // slot, replacing what it held; null when it cannot be made.
  virtual uint32_t* AllocateSurface(SurfaceSlot slot, int32_t width, int32_t height) = 0;
  virtual void FreeSurface(SurfaceSlot slot) = 0;
  // Copies the screen rectangle into the slot's surface at (0, 0).
  virtual void CaptureScreen(SurfaceSlot slot, const MonitorRect& area) = 0;
  // Puts width × height pixels of the slot's surface from (0, 0) to (x, y) of the target.
  virtual void PutSurface(SurfaceSlot slot, const FrameTarget& target, int32_t x, int32_t y,
                          int32_t width, int32_t height) = 0;
  // Stretches the screen rectangle onto (x, y, width × height) of the target in one step;
  // smooth picks the filtering stretch over the nearest pixel.
  virtual void StretchScreen(const MonitorRect& area, const FrameTarget& target, int32_t x,
                             int32_t y, int32_t width, int32_t height, bool smooth) = 0;
  // Blends the picture over the target at (x, y), unscaled.
  virtual void BlendImage(const FrameTarget& target, int32_t x, int32_t y,
                          const ArgbImage& image) = 0;
  // Has the screen rectangle repainted by whatever is on it (after a direct picture).
  virtual void RepaintScreenArea(const MonitorRect& area) = 0;
};

// Makes a connection; null when the display cannot be reached. Called on the mirror thread.
class FrameDeviceFactory {
 public:
  virtual ~FrameDeviceFactory() = default;
  virtual std::unique_ptr<FrameDevice> Open() = 0;
};

// The overlay message drawn into a frame (mirror thread). Draws the message centred in
// left .. left + spanWidth with its top at top into the width × height pixels; transparent
// pixels are premultiplied ARGB with alpha 0, otherwise 0x00RRGGBB. False when there is no
// message (nothing was drawn).
class FrameOverlay {
 public:
  virtual ~FrameOverlay() = default;
  virtual bool Draw(uint32_t* pixels, int32_t width, int32_t height, bool transparent, int32_t left,
                    int32_t spanWidth, int32_t top) = 0;
};

// Synthetic pointer input on the desktop (main thread).
class PointerInjector {
 public:
  virtual ~PointerInjector() = default;
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  // A left-button press and release where the pointer is.
  virtual void LeftClick() = 0;
};

}  // namespace trellon
