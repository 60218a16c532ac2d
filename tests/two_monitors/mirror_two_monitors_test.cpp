#include <QGuiApplication>
#include <algorithm>

#include "app/page_control_ex.h"
#include "app/window_test_support.h"
#include "support/qt_events.h"
#include "support/temporary_directory.h"
#include "support/wait.h"
#include "two_monitors/two_monitor_desktop.h"
// After Qt, whose headers do not stand Xlib's macros.
#include "support/x_pattern.h"

namespace trellon::testing {
namespace {

using namespace test_support;
// The window's 800 × 600 client area on monitor 1, without a border.
constexpr int kClientLeft = 2100;
constexpr int kClientTop = 100;

// Monitor 0 (1920 × 1080) shows four coloured quadrants; the window on monitor 1 mirrors it.
class TwoMonitorMirrorTest : public WindowTest {
 protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
      GTEST_SKIP() << "no two-monitor desktop (Xorg's dummy video driver is not installed)";
    }
    x_ = XOpenDisplay(nullptr);
    ASSERT_TRUE(x_);
    pattern_ = ShowQuadrantPattern(x_, 1920, 1080, ButtonPressMask);
  }
  void TearDown() override {
    if (!x_) return;
    XDestroyWindow(x_, pattern_);
    XCloseDisplay(x_);
  }

  std::unique_ptr<TVX710MainWindow> StartMirror(const std::string& options) {
    WriteText("Trellon.ini", "[X]\nLeft=" + std::to_string(kClientLeft) +
                                 "\nTop=" + std::to_string(kClientTop) +
                                 "\nWidth=800\nHeight=600\nBorderStyle=0\nActivePageIndex=4\n"
                                 "DisplayTimer=10\nDisplayMode=1\n" +
                                 options);
    auto window = Create();
    window->show();
    WaitUntil([&] { return window->mirror().Running(); });
    return window;
  }

  static bool WaitUntil(const std::function<bool()>& condition) {
    return test_support::WaitFor(condition, test_support::kPatienceMs,
                                 test_support::ProcessQtEvents);
  }

  unsigned long ScreenPixel(int x, int y) { return RootPixel(x_, kClientLeft + x, kClientTop + y); }

  bool ShowsThePattern() {
    return WaitUntil([&] { return ShowsQuadrants(x_, kClientLeft, kClientTop, 800, 600); });
  }

  void ClickAt(int x, int y) { ClickOnScreen(x_, kClientLeft + x, kClientTop + y); }

  Display* x_ = nullptr;
  Window pattern_ = None;
};

TEST_F(TwoMonitorMirrorTest, MonitorsAreLoggedInDevicePixelsAndBoundTheSourceNumber) {
  auto window = Create();
  const std::vector<std::string> log = Messages(*window);
  EXPECT_NE(std::find(log.begin(), log.end(), "Monitor #0 @ 0, 0, 1920, 1080"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Monitor #1 @ 1920, 0, 1280, 1024"), log.end());
  EXPECT_EQ(window->controls().edDisplayNr.MaxValue(), 1);
}

TEST_F(TwoMonitorMirrorTest, MonitorZeroAppearsScaledInTheWindowOnMonitorOneOnEveryPath) {
  for (const char* buffered : {"1", "0"}) {
    for (const char* direct : {"1", "0"}) {
      const std::string options = std::string("DisplayBufferedCopy=") + buffered +
                                  "\nDisplayTargetDirectAccess=" + direct + "\n";
      auto window = StartMirror(options);
      EXPECT_TRUE(ShowsThePattern())
          << options << std::hex << ScreenPixel(200, 150) << " " << ScreenPixel(600, 150) << " "
          << ScreenPixel(200, 450) << " " << ScreenPixel(600, 450);
    }
  }
}

TEST_F(TwoMonitorMirrorTest, AClickAtTheMirrorsCentreLandsAtTheSourceMonitorsCentre) {
  auto window = StartMirror("");
  ASSERT_TRUE(ShowsThePattern());
  ClickAt(400, 300);
  XEvent event{};
  EXPECT_TRUE(WaitUntil([&] {
    while (XCheckWindowEvent(x_, pattern_, ButtonPressMask, &event)) {
      if (event.xbutton.x_root == 960 && event.xbutton.y_root == 540) return true;
    }
    return false;
  }));
  const std::vector<std::string> log = Messages(*window);
  EXPECT_NE(std::find(log.begin(), log.end(), "Click @ 400, 300"), log.end());
}

}  // namespace
}  // namespace trellon::testing
