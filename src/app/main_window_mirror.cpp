// The window's display mirror and click forwarding: making them, the window events that start
// and stop the mirror, the click hook and WM_MIRROR_CLICK. Forwarding only; the logic is in the
// mirror subsystem.
#include <QApplication>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QShowEvent>
#include <mutex>

#include "app/main_window.h"
#include "app/monitors.h"
#include "app/page_control_ex.h"

namespace trellon {
namespace {

// The X display is ours to mirror and draw into only when the window is on it.
bool OnX11Desktop() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

}  // namespace

void TVX710MainWindow::CreateMirror() {
  FrameDeviceFactory* devices = options_.frameDevices;
  if (!devices) {
    ownFrameDevices_ = OnX11Desktop() ? CreateFrameDeviceFactory()
                                      : std::unique_ptr<FrameDeviceFactory>(new NoFrameDevices);
    devices = ownFrameDevices_.get();
  }
  desktop_ = options_.desktopDisplay ? std::move(options_.desktopDisplay)
                                     : (OnX11Desktop() ? CreateDesktopDisplay() : nullptr);
  mirror_ = std::make_unique<DisplayMirror>(DisplayMirror::Parts{
      clock_, display_, client_, mirrorWindow_, eventLog_, *devices, frameOverlay_});
  // The injector does nothing without a desktop.
  static class NoPointer final : public PointerInjector {
    void MoveTo(int32_t, int32_t) override {}
    void LeftClick() override {}
  } noPointer;
  clicks_ = std::make_unique<ClickForwarding>(
      clock_, display_, clickWindow_, eventLog_,
      desktop_ ? static_cast<PointerInjector&>(*desktop_) : noPointer,
      [this] { return Monitors(); });
  UpdateClientArea();
}

std::vector<MonitorRect> TVX710MainWindow::Monitors() {
  return DesktopMonitors(desktop_.get());
}

bool TVX710MainWindow::SetDisplayMode(bool on) {
  UpdateClientArea();
  return mirror_->SetDisplayMode(on);
}

void TVX710MainWindow::UpdateDisplayThread(bool run) {
  // Window events that come before the mirror exists have nothing to stop or start.
  if (!mirror_) return;
  UpdateClientArea();
  mirror_->UpdateDisplayThread(run);
}

bool TVX710MainWindow::CanShowDisplay() const {
  return mirror_->CanShowDisplay();
}

void TVX710MainWindow::UpdateClientArea() {
  // The mirror works in device pixels.
  const qreal ratio = devicePixelRatioF();
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  client_.width = static_cast<int32_t>(width() * ratio);
  client_.height = static_cast<int32_t>(height() * ratio);
  client_.screenLeft = static_cast<int32_t>(origin.x() * ratio);
  client_.screenTop = static_cast<int32_t>(origin.y() * ratio);
  if (OnX11Desktop() && testAttribute(Qt::WA_WState_Created)) {
    client_.window = static_cast<uint64_t>(winId());
  }
}

void TVX710MainWindow::FormShow() {
  if (display_.DisplayMode) UpdateDisplayThread(true);
}

void TVX710MainWindow::InstallClickHook() {
  if (clickHook_) return;
  clickHook_ = std::make_unique<MirrorClickFilter>(*clicks_);
  qApp->installEventFilter(clickHook_.get());
}

void TVX710MainWindow::RemoveClickHook() {
  if (!clickHook_) return;
  qApp->removeEventFilter(clickHook_.get());
  clickHook_.reset();
}

void TVX710MainWindow::HandleMirrorClick(int32_t x, int32_t y) {
  clicks_->HandleMirrorClick(x, y);
}

void TVX710MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && !closed_) Handle([this] { FormShow(); });
}

void TVX710MainWindow::paintEvent(QPaintEvent* event) {
  // The mirror thread draws into this window between our paints, never during one.
  if (!mirror_) return QWidget::paintEvent(event);
  const std::lock_guard<CanvasLock> canvas(mirror_->Canvas());
  QWidget::paintEvent(event);
}

bool TVX710MainWindow::event(QEvent* event) {
  if (event->type() == MirrorClickEvent::EventType()) {
    const auto* click = static_cast<MirrorClickEvent*>(event);
    Handle([this, click] { HandleMirrorClick(click->x, click->y); });
  }
  return QWidget::event(event);
}

}  // namespace trellon
