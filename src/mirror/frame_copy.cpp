#include "mirror/frame_copy.h"

#include <algorithm>

namespace trellon {

FrameCopy::FrameCopy(const Clock& clock, const DisplaySettings& settings, const ClientArea& client,
                     FrameOverlay& overlay, CanvasLock& canvasLock)
    : clock_(clock),
      settings_(settings),
      client_(client),
      overlay_(overlay),
      canvasLock_(canvasLock) {}

std::optional<MonitorRect> FrameCopy::SourceMonitor(const std::vector<MonitorRect>& monitors,
                                                    int32_t displayNr) {
  if (monitors.empty()) return std::nullopt;
  const int32_t last = static_cast<int32_t>(monitors.size()) - 1;
  // Monitors may come and go while the mirror runs: the number is clamped to today's list.
  return monitors[static_cast<size_t>(std::clamp(displayNr, 0, last))];
}

void FrameCopy::PrepareSurface(FrameDevice& device, SurfaceSlot slot, int32_t width,
                               int32_t height) {
  TOffscreenSurface& surface = surfaces_[static_cast<int>(slot)];
  if (surface.Prepared && surface.Width == width && surface.Height == height) return;
  ReleaseSurface(device, slot);
  surface.Width = width;
  surface.Height = height;
  surface.Bits = device.AllocateSurface(slot, width, height);
  surface.Prepared = true;
}

void FrameCopy::ReleaseSurface(FrameDevice& device, SurfaceSlot slot) {
  TOffscreenSurface& surface = surfaces_[static_cast<int>(slot)];
  if (!surface.Prepared) return;
  device.FreeSurface(slot);
  surface.Bits = nullptr;
  surface.Prepared = false;
}

std::optional<MonitorRect> FrameCopy::TakeDirectArea() {
  std::optional<MonitorRect> area = directArea_;
  directArea_.reset();
  return area;
}

void FrameCopy::NoteDirectArea(const MonitorRect& area) {
  if (!directArea_) {
    directArea_ = area;
    return;
  }
  // The union of every rectangle drawn on since the last stop.
  MonitorRect& all = *directArea_;
  const int32_t right = std::max(all.left + all.width, area.left + area.width);
  const int32_t bottom = std::max(all.top + all.height, area.top + area.height);
  all.left = std::min(all.left, area.left);
  all.top = std::min(all.top, area.top);
  all.width = right - all.left;
  all.height = bottom - all.top;
}

uint32_t FrameCopy::CopyDisplayFrame(FrameDevice& device) {
  const std::optional<MonitorRect> monitor =
      SourceMonitor(device.Monitors(), settings_.DisplayNr.load());
  const int32_t clientWidth = client_.width.load();
  const int32_t clientHeight = client_.height.load();
  if (!monitor || monitor->width <= 0 || monitor->height <= 0 || clientWidth <= 0 ||
      clientHeight <= 0) {
    return 0;
  }
  const CursorImage* cursor = device.TakeCursorSnapshot(cursor_) ? &cursor_ : nullptr;
  FrameTarget target;
  if (settings_.DisplayTargetDirectAccess.load()) {
    target.kind = FrameTarget::Kind::Screen;
  } else {
    target.kind = FrameTarget::Kind::Window;
    target.window = client_.window.load();
  }
  if (settings_.DisplayBufferedCopy.load()) {
    return CopyBuffered(device, *monitor, cursor, clientWidth, clientHeight, target);
  }
  return CopyUnbuffered(device, *monitor, cursor, clientWidth, clientHeight, target);
}

uint32_t FrameCopy::CopyBuffered(FrameDevice& device, const MonitorRect& monitor,
                                 const CursorImage* cursor, int32_t clientWidth,
                                 int32_t clientHeight, const FrameTarget& target) {
  PrepareSurface(device, SurfaceSlot::Source, monitor.width, monitor.height);
  PrepareSurface(device, SurfaceSlot::Target, clientWidth, clientHeight);
  const TOffscreenSurface& source = Surface(SurfaceSlot::Source);
  const TOffscreenSurface& scaled = Surface(SurfaceSlot::Target);
  const uint32_t t = clock_.TickCount();
  device.CaptureScreen(SurfaceSlot::Source, monitor);
  if (source.Bits && scaled.Bits) {
    if (cursor) {
      // Drawn at its natural size into the source: it is scaled with the picture.
      BlendOver(source.Bits, source.Width, source.Height,
                cursor->x - monitor.left - static_cast<int32_t>(cursor->hotX),
                cursor->y - monitor.top - static_cast<int32_t>(cursor->hotY),
                cursor->picture.pixels.data(), cursor->picture.width, cursor->picture.height);
    }
    if (settings_.DisplayHighQuality.load()) {
      area_.Scale(source.Bits, source.Width, source.Height, scaled.Bits, scaled.Width,
                  scaled.Height);
    } else {
      nearest_.Scale(source.Bits, source.Width, source.Height, scaled.Bits, scaled.Width,
                     scaled.Height);
    }
    overlay_.Draw(scaled.Bits, scaled.Width, scaled.Height, false, 0, scaled.Width, kOverlayTop);
  }
  if (target.kind == FrameTarget::Kind::Screen) {
    const int32_t left = client_.screenLeft.load();
    const int32_t top = client_.screenTop.load();
    device.PutSurface(SurfaceSlot::Target, target, left, top, clientWidth, clientHeight);
    NoteDirectArea({left, top, clientWidth, clientHeight});
  } else {
    const std::lock_guard<CanvasLock> canvas(canvasLock_);
    device.PutSurface(SurfaceSlot::Target, target, 0, 0, clientWidth, clientHeight);
  }
  return clock_.TickCount() - t;
}

uint32_t FrameCopy::CopyUnbuffered(FrameDevice& device, const MonitorRect& monitor,
                                   const CursorImage* cursor, int32_t clientWidth,
                                   int32_t clientHeight, const FrameTarget& target) {
  ReleaseSurface(device, SurfaceSlot::Source);
  ReleaseSurface(device, SurfaceSlot::Target);
  int32_t cx = 0;
  int32_t cy = 0;
  if (cursor) {
    cx = static_cast<int32_t>((static_cast<int64_t>(cursor->x) - monitor.left - cursor->hotX) *
                              clientWidth / monitor.width);
    cy = static_cast<int32_t>((static_cast<int64_t>(cursor->y) - monitor.top - cursor->hotY) *
                              clientHeight / monitor.height);
  }
  const bool smooth = settings_.DisplayHighQuality.load();
  const uint32_t t = clock_.TickCount();
  // The overlay strip is drawn before the lock is taken; only the device calls need it.
  overlayStrip_.width = clientWidth;
  overlayStrip_.height = std::min(kOverlayStripHeight, clientHeight);
  overlayStrip_.pixels.assign(static_cast<size_t>(overlayStrip_.width) * overlayStrip_.height, 0);
  const bool hasOverlay = overlay_.Draw(overlayStrip_.pixels.data(), overlayStrip_.width,
                                        overlayStrip_.height, true, 0, clientWidth, kOverlayTop);
  const auto draw = [&](int32_t left, int32_t top) {
    device.StretchScreen(monitor, target, left, top, clientWidth, clientHeight, smooth);
    if (hasOverlay) device.BlendImage(target, left, top, overlayStrip_);
    if (cursor) device.BlendImage(target, left + cx, top + cy, cursor->picture);
  };
  if (target.kind == FrameTarget::Kind::Screen) {
    const int32_t left = client_.screenLeft.load();
    const int32_t top = client_.screenTop.load();
    draw(left, top);
    NoteDirectArea({left, top, clientWidth, clientHeight});
  } else {
    const std::lock_guard<CanvasLock> canvas(canvasLock_);
    draw(0, 0);
  }
  return clock_.TickCount() - t;
}

}  // namespace trellon
