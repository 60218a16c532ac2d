#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/clock.h"
#include "base/shell_services.h"
#include "mirror/display_settings.h"
#include "mirror/frame_device.h"
#include "mirror/mirror_types.h"

namespace trellon {

// What click forwarding needs of the main window (main thread only).
class ClickWindow {
 public:
  virtual ~ClickWindow() = default;
  struct Point {
    int32_t x = 0;
    int32_t y = 0;
  };
  // True when the program's enabled control under the screen point is the main window itself
  // (no child control and no other program's window covers it there).
  virtual bool MainWindowAt(Point screen) const = 0;
  virtual Point ScreenToClient(Point screen) const = 0;
  virtual int32_t ClientWidth() const = 0;
  virtual int32_t ClientHeight() const = 0;
  // Posts WM_MIRROR_CLICK with the client point; HandleMirrorClick runs later from the queue.
  virtual void PostMirrorClick(int32_t x, int32_t y) = 0;
  // The page control comes back on the Status page, and the page change runs.
  virtual void ShowStatusPage() = 0;
  // SetDisplayMode of the mirror: returns the previous value.
  virtual bool SetDisplayMode(bool on) = 0;
};

// Click forwarding: left clicks on the mirror become left clicks on the source monitor; the two
// corner zones at the bottom switch display mode off (left) and bring the pages back (right).
// All on the main thread.
class ClickForwarding {
 public:
  static constexpr int32_t kCornerSize = 32;
  // Injected events come back through the filter after HandleMirrorClick returned; they pass
  // until the injected release has been seen, at most this long.
  static constexpr uint32_t kInjectionEchoMs = 500;

  enum class MouseMessage { LeftButtonDown, LeftButtonUp, Other };

  ClickForwarding(const Clock& clock, const DisplaySettings& settings, ClickWindow& window,
                  LogSink& log, PointerInjector& injector,
                  std::function<std::vector<MonitorRect>()> monitors);

  // 1 swallows the event, 0 lets it pass.
  int FilterMirrorMouse(MouseMessage message, ClickWindow::Point screen);
  // WM_MIRROR_CLICK.
  void HandleMirrorClick(int32_t x, int32_t y);
  // Set while a forwarded click is being injected, and until its events came back.
  bool InjectingClick() const;

 private:
  const Clock& clock_;
  const DisplaySettings& settings_;
  ClickWindow& window_;
  LogSink& log_;
  PointerInjector& injector_;
  std::function<std::vector<MonitorRect>()> monitors_;
  bool injectingClick_ = false;
  // Tick count until which the echo of an injected click still passes.
  std::optional<uint32_t> echoUntil_;
};

}  // namespace trellon
