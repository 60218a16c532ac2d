// The main thread's own X connection: monitors for the log and for click forwarding, and the
// synthetic pointer move and click (XTest).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>

#include "mirror/platform_display.h"
#include "mirror/x11_errors_x11.h"
#include "mirror/x11_monitors_x11.h"

namespace trellon {
namespace {

class X11DesktopDisplay final : public DesktopDisplay {
 public:
  ~X11DesktopDisplay() override {
    if (!display_) return;
    ForgetDisplay(display_);
    XCloseDisplay(display_);
  }

  std::vector<MonitorRect> Monitors() override {
    return Connected() ? ListMonitors(display_) : std::vector<MonitorRect>{};
  }

  void MoveTo(int32_t x, int32_t y) override {
    if (!Connected() || !xtest_) return;
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
  }

  void LeftClick() override {
    if (!Connected() || !xtest_) return;
    XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
    XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
    XSync(display_, False);
  }

 private:
  bool Connected() {
    if (display_ && dead_) return false;
    if (display_) return true;
    display_ = XOpenDisplay(nullptr);
    if (!display_) return false;
    InstallQuietErrorHandler();
    QuietenDisplay(display_);
    XSetIOErrorExitHandler(
        display_, [](Display*, void* self) { static_cast<X11DesktopDisplay*>(self)->dead_ = true; },
        this);
    int event = 0, error = 0, major = 0, minor = 0;
    xtest_ = XTestQueryExtension(display_, &event, &error, &major, &minor) == True;
    return true;
  }

  Display* display_ = nullptr;
  std::atomic<bool> dead_{false};
  bool xtest_ = false;
};

}  // namespace

std::unique_ptr<DesktopDisplay> CreateDesktopDisplay() {
  return std::make_unique<X11DesktopDisplay>();
}

}  // namespace trellon
