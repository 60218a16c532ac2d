#include "app/mirror_wiring.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "app/main_window.h"
#include "app/overlay_message.h"
#include "app/overlay_painter.h"
#include "app/page_control_ex.h"

namespace trellon {

// --- WindowMirrorAdapter ---

MirrorWindow::View WindowMirrorAdapter::CurrentView() const {
  View view;
  view.visible = window_.isVisible();
  view.minimized = window_.isMinimized();
  // The program's one window is its task-bar entry.
  view.applicationIconic = window_.isMinimized();
  view.displayPageActive = window_.pc->currentWidget() == window_.tsDisplay;
  return view;
}

void WindowMirrorAdapter::ShowStatistics(const std::string& copyTime,
                                         const std::string& frameRate) {
  window_.lbAverageDisplayCopyTime->setText(QString::fromStdString(copyTime));
  window_.lbAverageDisplayFrameRate->setText(QString::fromStdString(frameRate));
}

void WindowMirrorAdapter::RepaintWindow() {
  window_.update();
}

void WindowMirrorAdapter::SaveSettings() {
  window_.SaveSettings();
}

// --- WindowClickAdapter ---

bool WindowClickAdapter::MainWindowAt(Point screen) const {
  const QWidget* control = QApplication::widgetAt(QPoint(screen.x, screen.y));
  return control == &window_ && control->isEnabled();
}

ClickWindow::Point WindowClickAdapter::ScreenToClient(Point screen) const {
  const QPoint client = window_.mapFromGlobal(QPoint(screen.x, screen.y));
  return {client.x(), client.y()};
}

int32_t WindowClickAdapter::ClientWidth() const {
  return window_.width();
}

int32_t WindowClickAdapter::ClientHeight() const {
  return window_.height();
}

void WindowClickAdapter::PostMirrorClick(int32_t x, int32_t y) {
  QCoreApplication::postEvent(&window_, new MirrorClickEvent(x, y));
}

void WindowClickAdapter::ShowStatusPage() {
  window_.pc->show();
  {
    const QSignalBlocker quiet(window_.pc.get());
    window_.pc->setCurrentWidget(window_.tsStatus);
  }
  window_.pcChange();
}

bool WindowClickAdapter::SetDisplayMode(bool on) {
  return window_.SetDisplayMode(on);
}

// --- QtFrameOverlay ---

bool QtFrameOverlay::Draw(uint32_t* pixels, int32_t width, int32_t height, bool transparent,
                          int32_t left, int32_t spanWidth, int32_t top) {
  if (overlay_.OverlayMessageText().empty()) return false;
  QImage image(reinterpret_cast<uchar*>(pixels), width, height, width * 4,
               transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  QPainter painter(&image);
  DrawOverlayMessage(painter, overlay_, left, spanWidth, top);
  return true;
}

// --- MirrorClickEvent, MirrorClickFilter ---

QEvent::Type MirrorClickEvent::EventType() {
  // WM_USER + 3 in the window's own numbering.
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::User + 3);
  return type;
}

bool MirrorClickFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched->isWidgetType() &&
      (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
       type == QEvent::MouseButtonRelease)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    ClickForwarding::MouseMessage message = ClickForwarding::MouseMessage::Other;
    if (mouse->button() == Qt::LeftButton) {
      message = type == QEvent::MouseButtonRelease ? ClickForwarding::MouseMessage::LeftButtonUp
                                                   : ClickForwarding::MouseMessage::LeftButtonDown;
    }
    const QPoint screen = mouse->globalPosition().toPoint();
    if (clicks_.FilterMirrorMouse(message, {screen.x(), screen.y()}) != 0) return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace trellon
