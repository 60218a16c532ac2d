#include "mirror/click_forwarding.h"

#include <string>

#include "mirror/frame_copy.h"

namespace trellon {

ClickForwarding::ClickForwarding(const Clock& clock, const DisplaySettings& settings,
                                 ClickWindow& window, LogSink& log, PointerInjector& injector,
                                 std::function<std::vector<MonitorRect>()> monitors)
    : clock_(clock),
      settings_(settings),
      window_(window),
      log_(log),
      injector_(injector),
      monitors_(std::move(monitors)) {}

bool ClickForwarding::InjectingClick() const {
  return injectingClick_ || (echoUntil_ && !TickReached(clock_.TickCount(), *echoUntil_));
}

int ClickForwarding::FilterMirrorMouse(MouseMessage message, ClickWindow::Point screen) {
  if (InjectingClick()) {
    // The injected release is the last event of a forwarded click.
    if (!injectingClick_ && message == MouseMessage::LeftButtonUp) echoUntil_.reset();
    return 0;
  }
  echoUntil_.reset();
  if (!window_.MainWindowAt(screen)) return 0;
  const ClickWindow::Point client = window_.ScreenToClient(screen);
  if (client.x < 0 || client.y < 0 || client.x >= window_.ClientWidth() ||
      client.y >= window_.ClientHeight()) {
    return 0;
  }
  if (message == MouseMessage::LeftButtonDown) return 1;
  if (message == MouseMessage::LeftButtonUp) {
    window_.PostMirrorClick(client.x, client.y);
    return 1;
  }
  return 0;
}

void ClickForwarding::HandleMirrorClick(int32_t x, int32_t y) {
  if (!window_.SetDisplayMode(true)) return;
  log_.WriteLog("Click @ " + std::to_string(x) + ", " + std::to_string(y));
  injectingClick_ = true;
  struct ClearInjecting {
    bool& flag;
    ~ClearInjecting() { flag = false; }
  } clear{injectingClick_};
  const int32_t clientWidth = window_.ClientWidth();
  const int32_t clientHeight = window_.ClientHeight();
  if (y >= clientHeight - kCornerSize && x < kCornerSize) {
    window_.SetDisplayMode(false);
    return;
  }
  if (y >= clientHeight - kCornerSize && x >= clientWidth - kCornerSize) {
    window_.ShowStatusPage();
    return;
  }
  const std::optional<MonitorRect> monitor =
      FrameCopy::SourceMonitor(monitors_(), settings_.DisplayNr.load());
  if (!monitor || clientWidth <= 0 || clientHeight <= 0) return;
  const long double fy = static_cast<long double>(y) / clientHeight;
  const long double fx = static_cast<long double>(x) / clientWidth;
  const auto mappedY = static_cast<int32_t>(monitor->height * fy);
  const auto mappedX = static_cast<int32_t>(monitor->width * fx);
  // The synthetic events reach the filter only after this returns: they pass until they did.
  echoUntil_ = clock_.TickCount() + kInjectionEchoMs;
  injector_.MoveTo(monitor->left + mappedX, monitor->top + mappedY);
  injector_.LeftClick();
}

}  // namespace trellon
