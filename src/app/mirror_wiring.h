#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <string>

#include "mirror/click_forwarding.h"
#include "mirror/display_mirror.h"
#include "mirror/frame_device.h"

namespace trellon {

class OverlayMessage;
class TVX710MainWindow;

// The display mirror's and click forwarding's view of the main window (main thread only).
class WindowMirrorAdapter final : public MirrorWindow {
 public:
  explicit WindowMirrorAdapter(TVX710MainWindow& window) : window_(window) {}

  View CurrentView() const override;
  void ShowStatistics(const std::string& copyTime, const std::string& frameRate) override;
  void RepaintWindow() override;
  void SaveSettings() override;

 private:
  TVX710MainWindow& window_;
};

class WindowClickAdapter final : public ClickWindow {
 public:
  explicit WindowClickAdapter(TVX710MainWindow& window) : window_(window) {}

  bool MainWindowAt(Point screen) const override;
  Point ScreenToClient(Point screen) const override;
  int32_t ClientWidth() const override;
  int32_t ClientHeight() const override;
  void PostMirrorClick(int32_t x, int32_t y) override;
  void ShowStatusPage() override;
  bool SetDisplayMode(bool on) override;

 private:
  TVX710MainWindow& window_;
};

// The overlay message drawn into a mirrored frame with Qt's painter on an image that wraps the
// frame's pixels (mirror thread).
class QtFrameOverlay final : public FrameOverlay {
 public:
  explicit QtFrameOverlay(const OverlayMessage& overlay) : overlay_(overlay) {}
  bool Draw(uint32_t* pixels, int32_t width, int32_t height, bool transparent, int32_t left,
            int32_t spanWidth, int32_t top) override;

 private:
  const OverlayMessage& overlay_;
};

// No display to mirror (the offscreen platform): every run of the mirror ends at once.
class NoFrameDevices final : public FrameDeviceFactory {
 public:
  std::unique_ptr<FrameDevice> Open() override { return nullptr; }
};

// No desktop to click on (the offscreen platform).
class NoPointerInjector final : public PointerInjector {
 public:
  void MoveTo(int32_t, int32_t) override {}
  void LeftClick() override {}
};

// WM_MIRROR_CLICK, posted to the main window with the client point of a released click.
class MirrorClickEvent final : public QEvent {
 public:
  static QEvent::Type EventType();
  MirrorClickEvent(int32_t x, int32_t y) : QEvent(EventType()), x(x), y(y) {}
  const int32_t x;
  const int32_t y;
};

// The click hook: an application-wide filter that hands every left press and release to
// FilterMirrorMouse and swallows what it claims (main thread).
class MirrorClickFilter final : public QObject {
 public:
  explicit MirrorClickFilter(ClickForwarding& clicks) : clicks_(clicks) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ClickForwarding& clicks_;
};

}  // namespace trellon
