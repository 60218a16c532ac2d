#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "base/clock.h"
#include "mirror/display_settings.h"
#include "mirror/frame_device.h"
#include "mirror/mirror_types.h"
#include "mirror/scaling.h"

namespace trellon {

// One offscreen surface of the buffered paths; its pixel memory belongs to the device.
struct TOffscreenSurface {
  int32_t Width = 0;
  int32_t Height = 0;
  uint32_t* Bits = nullptr;
  // The surface was made (for this size), even when its memory could not be had.
  bool Prepared = false;
};

// The copy of one mirrored frame (CopyDisplayFrame) on the mirror thread: the source monitor,
// stretched onto the whole client area, with the pointer and the overlay message, by one of four
// paths (buffered or not, into the window or onto the screen). Keeps the two surfaces and the
// scaling tables from frame to frame; they outlive a run of the mirror.
class FrameCopy {
 public:
  static constexpr int32_t kOverlayTop = 20;
  // Rows of the overlay strip that the unbuffered paths blend over the picture.
  static constexpr int32_t kOverlayStripHeight = 100;

  FrameCopy(const Clock& clock, const DisplaySettings& settings, const ClientArea& client,
            FrameOverlay& overlay, CanvasLock& canvasLock);

  // Copies one frame; returns the copy time in ms (drawing only).
  uint32_t CopyDisplayFrame(FrameDevice& device);

  void PrepareSurface(FrameDevice& device, SurfaceSlot slot, int32_t width, int32_t height);
  void ReleaseSurface(FrameDevice& device, SurfaceSlot slot);
  const TOffscreenSurface& Surface(SurfaceSlot slot) const {
    return surfaces_[static_cast<int>(slot)];
  }
  // The screen rectangle that the direct paths drew on since the last call (main thread, after
  // the mirror thread was joined).
  std::optional<MonitorRect> TakeDirectArea();

  // The monitor that DisplayNr names, clamped to the list; none when the list is empty.
  static std::optional<MonitorRect> SourceMonitor(const std::vector<MonitorRect>& monitors,
                                                  int32_t displayNr);

 private:
  uint32_t CopyBuffered(FrameDevice& device, const MonitorRect& monitor, const CursorImage* cursor,
                        int32_t clientWidth, int32_t clientHeight, const FrameTarget& target);
  uint32_t CopyUnbuffered(FrameDevice& device, const MonitorRect& monitor,
                          const CursorImage* cursor, int32_t clientWidth, int32_t clientHeight,
                          const FrameTarget& target);
  void NoteDirectArea(const MonitorRect& area);

  const Clock& clock_;
  const DisplaySettings& settings_;
  const ClientArea& client_;
  FrameOverlay& overlay_;
  CanvasLock& canvasLock_;
  TOffscreenSurface surfaces_[2];
  NearestScaler nearest_;
  AreaScaler area_;
  CursorImage cursor_;
  ArgbImage overlayStrip_;
  std::optional<MonitorRect> directArea_;
};

}  // namespace trellon
