#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mirror/frame_device.h"

namespace trellon::fakes {

// A display in memory that records every drawing call as one line, with "[locked]" when the
// canvas lock was held during it. Surfaces are plain vectors.
class FakeFrameDevice final : public FrameDevice {
 public:
  explicit FakeFrameDevice(const CanvasLock* canvas = nullptr) : canvas_(canvas) {}

  bool Alive() const override { return alive; }
  std::vector<MonitorRect> Monitors() override { return monitors; }
  bool TakeCursorSnapshot(CursorImage& image) override {
    if (!cursor) return false;
    image = *cursor;
    return true;
  }
  uint32_t* AllocateSurface(SurfaceSlot slot, int32_t width, int32_t height) override {
    Record("allocate " + Name(slot) + " " + Size(width, height));
    auto& memory = surfaces[static_cast<int>(slot)];
    memory.assign(static_cast<size_t>(width) * height, 0);
    return failAllocation ? nullptr : memory.data();
  }
  void FreeSurface(SurfaceSlot slot) override {
    Record("free " + Name(slot));
    surfaces[static_cast<int>(slot)].clear();
  }
  void CaptureScreen(SurfaceSlot slot, const MonitorRect& area) override {
    Record("capture " + Name(slot) + " " + Rect(area.left, area.top, area.width, area.height));
    if (onCapture) onCapture();
    auto& memory = surfaces[static_cast<int>(slot)];
    for (size_t i = 0; i < memory.size(); ++i) memory[i] = screenPixel;
  }
  void PutSurface(SurfaceSlot slot, const FrameTarget& target, int32_t x, int32_t y, int32_t width,
                  int32_t height) override {
    Record("put " + Name(slot) + " " + Name(target) + " " + Rect(x, y, width, height));
    put = surfaces[static_cast<int>(slot)];
  }
  void StretchScreen(const MonitorRect& area, const FrameTarget& target, int32_t x, int32_t y,
                     int32_t width, int32_t height, bool smooth) override {
    Record("stretch " + Rect(area.left, area.top, area.width, area.height) + " " + Name(target) +
           " " + Rect(x, y, width, height) + (smooth ? " smooth" : " nearest"));
  }
  void BlendImage(const FrameTarget& target, int32_t x, int32_t y,
                  const ArgbImage& image) override {
    Record("blend " + Name(target) + " " + Rect(x, y, image.width, image.height));
  }
  void RepaintScreenArea(const MonitorRect& area) override {
    Record("repaint " + Rect(area.left, area.top, area.width, area.height));
  }

  bool alive = true;
  bool failAllocation = false;
  uint32_t screenPixel = 0x00336699;
  std::vector<MonitorRect> monitors{{0, 0, 1920, 1080}};
  std::optional<CursorImage> cursor;
  std::function<void()> onCapture;  // runs in every capture (a clock that moves, a check)
  std::vector<std::string> calls;
  std::vector<uint32_t> surfaces[2];
  std::vector<uint32_t> put;  // the last surface put to a target

 private:
  void Record(std::string line) {
    if (canvas_ && canvas_->Held()) line += " [locked]";
    calls.push_back(std::move(line));
  }
  static std::string Name(SurfaceSlot slot) {
    return slot == SurfaceSlot::Source ? "source" : "target";
  }
  static std::string Name(const FrameTarget& target) {
    return target.kind == FrameTarget::Kind::Screen ? "screen"
                                                    : "window#" + std::to_string(target.window);
  }
  static std::string Size(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
  }
  static std::string Rect(int32_t x, int32_t y, int32_t width, int32_t height) {
    return std::to_string(x) + "," + std::to_string(y) + " " + Size(width, height);
  }
  const CanvasLock* canvas_;
};

// Hands out one prepared device (or none, for a display that cannot be reached).
class FakeFrameDeviceFactory final : public FrameDeviceFactory {
 public:
  std::unique_ptr<FrameDevice> Open() override {
    ++opened;
    return std::move(next);
  }
  std::unique_ptr<FakeFrameDevice> next;
  int opened = 0;
};

// Draws the overlay as one white pixel at (left, top) when there is a message.
class FakeFrameOverlay final : public FrameOverlay {
 public:
  bool Draw(uint32_t* pixels, int32_t width, int32_t height, bool transparent, int32_t left,
            int32_t spanWidth, int32_t top) override {
    draws.push_back({width, height, transparent, left, spanWidth, top});
    if (message.empty()) return false;
    if (left >= 0 && left < width && top >= 0 && top < height) {
      pixels[static_cast<size_t>(top) * width + left] = transparent ? 0xFFFFFFFF : 0x00FFFFFF;
    }
    return true;
  }
  struct Draw_ {
    int32_t width, height;
    bool transparent;
    int32_t left, spanWidth, top;
  };
  std::string message;
  std::vector<Draw_> draws;
};

// Records the synthetic pointer input.
class FakePointerInjector final : public PointerInjector {
 public:
  void MoveTo(int32_t x, int32_t y) override {
    calls.push_back("move " + std::to_string(x) + "," + std::to_string(y));
  }
  void LeftClick() override { calls.push_back("click"); }
  std::vector<std::string> calls;
};

}  // namespace trellon::fakes
