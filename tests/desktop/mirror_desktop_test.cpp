#include <QLabel>
#include <algorithm>

#include "app/page_control_ex.h"
#include "desktop/desktop_test_support.h"
#include "support/temporary_directory.h"
// After Qt, whose headers do not stand Xlib's macros.
#include "support/x_pattern.h"

namespace trellon::testing {
namespace {

using namespace test_support;

// The mirror on the private desktop (one 1280 × 1024 monitor): a pattern of four coloured
// quadrants fills the screen's top-left 640 × 512; the window's 600 × 480 client area sits
// right of and below it, so the pattern appears in the client area's top-left 300 × 240.
class MirrorDesktopTest : public DesktopWindowTest {
 protected:
  void SetUp() override {
    pattern_ =
        ShowQuadrantPattern(desktop->Connection(), 640, 512, ButtonPressMask | ButtonReleaseMask);
  }
  void TearDown() override {
    XDestroyWindow(desktop->Connection(), pattern_);
    XSync(desktop->Connection(), False);
  }

  std::unique_ptr<TVX710MainWindow> StartMirror(const std::string& options,
                                                std::vector<std::string> arguments = {"trellon"}) {
    WriteText("Trellon.ini",
              "[X]\nLeft=660\nTop=480\nWidth=600\nHeight=480\n"
              "ActivePageIndex=4\nDisplayTimer=10\n" +
                  options);
    auto window = Create(std::move(arguments));
    Show(*window);
    client_ = desktop->ClientRect(Id(*window));
    return window;
  }

  unsigned long ScreenPixel(int x, int y) {
    return RootPixel(desktop->Connection(), client_.left + x, client_.top + y);
  }

  bool ShowsThePattern() {
    return WaitUntil(
        [&] { return ShowsQuadrants(desktop->Connection(), client_.left, client_.top, 300, 240); });
  }

  // A real left click at the client point, as the user makes it.
  void ClickAt(int x, int y) {
    ClickOnScreen(desktop->Connection(), client_.left + x, client_.top + y);
  }

  // The next button press that reached the pattern window, in its coordinates.
  bool PatternPressedAt(int x, int y) {
    XEvent event{};
    return WaitUntil([&] {
      while (XCheckWindowEvent(desktop->Connection(), pattern_, ButtonPressMask, &event)) {
        if (event.xbutton.x == x && event.xbutton.y == y) return true;
      }
      return false;
    });
  }

  Window pattern_ = None;
  ScreenRect client_;
};

TEST_F(MirrorDesktopTest, ThePatternAppearsScaledInTheWindowOnEveryPath) {
  for (const char* buffered : {"1", "0"}) {
    for (const char* direct : {"1", "0"}) {
      for (const char* quality : {"0", "1"}) {
        const std::string options = std::string("DisplayBufferedCopy=") + buffered +
                                    "\nDisplayTargetDirectAccess=" + direct +
                                    "\nDisplayHighQuality=" + quality + "\n";
        auto window = StartMirror(options + "DisplayMode=1\n");
        EXPECT_TRUE(window->mirror().Running()) << options;
        EXPECT_TRUE(ShowsThePattern())
            << options << std::hex << ScreenPixel(75, 60) << " " << ScreenPixel(225, 60) << " "
            << ScreenPixel(75, 180) << " " << ScreenPixel(225, 180);
        window->close();
        EXPECT_FALSE(window->mirror().Running());
        EXPECT_TRUE(window->lbAverageDisplayCopyTime->text().endsWith(QStringLiteral(" ms")));
      }
    }
  }
}

TEST_F(MirrorDesktopTest, TheOverlayMessageIsDrawnOverEveryFrameOfBothKinds) {
  for (const char* buffered : {"1", "0"}) {
    auto window = StartMirror(std::string("DisplayMode=1\nDisplayBufferedCopy=") + buffered + "\n");
    ASSERT_TRUE(ShowsThePattern());
    window->ShowOverlayMessage("Power Off", 2);
    // Centred over the 600-pixel span from its top at 20: part of it lies over the mirrored
    // green quadrant, where white text and its black outline are the only other colours.
    const auto overlayPixels = [&] {
      int count = 0;
      for (int y = 20; y < 56; y += 2) {
        for (int x = 230; x < 300; x += 2) {
          const unsigned long pixel = ScreenPixel(x, y);
          count += pixel == kWhite || pixel == 0;
        }
      }
      return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return overlayPixels() > 20; })) << buffered;
  }
}

TEST_F(MirrorDesktopTest, AClickOnTheMirrorLandsOnTheSourceMonitor) {
  auto window = StartMirror("DisplayMode=1\n");
  ASSERT_TRUE(ShowsThePattern());
  // Client (150, 120) of 600 × 480 is (320, 256) of the 1280 × 1024 monitor.
  ClickAt(150, 120);
  EXPECT_TRUE(PatternPressedAt(320, 256));
  const std::vector<std::string> log = Messages(*window);
  EXPECT_NE(std::find(log.begin(), log.end(), "Click @ 150, 120"), log.end());
  EXPECT_TRUE(window->mirror().Running());
}

TEST_F(MirrorDesktopTest, CornerZonesStopTheMirrorOrBringBackThePages) {
  auto window = StartMirror("DisplayMode=1\n");
  ClickAt(10, 470);
  EXPECT_TRUE(WaitUntil([&] { return !window->display().DisplayMode; }));
  EXPECT_FALSE(window->mirror().Running());
  EXPECT_TRUE(window->pc->isHidden());
  // A click on the bare page switches display mode on again; nothing is forwarded.
  ClickAt(300, 200);
  EXPECT_TRUE(WaitUntil([&] { return window->mirror().Running(); }));
  ClickAt(595, 475);
  EXPECT_TRUE(WaitUntil([&] { return window->pc->isVisible(); }));
  EXPECT_EQ(window->pc->currentWidget(), window->tsStatus);
  EXPECT_FALSE(window->mirror().Running());
  EXPECT_TRUE(window->display().DisplayMode);
}

TEST_F(MirrorDesktopTest, EveryResizeAndMoveRestartsTheMirrorAndMinimisingStopsIt) {
  auto window = StartMirror("DisplayMode=1\n");
  const auto count = [&](const std::string& message) {
    const std::vector<std::string> log = Messages(*window);
    return std::count(log.begin(), log.end(), message);
  };
  const auto starts = count("Start display thread");
  desktop->MoveResize(Id(*window), {700, 500, 560, 440});
  EXPECT_TRUE(WaitUntil([&] { return count("Start display thread") > starts; }));
  EXPECT_EQ(count("Stopping display thread"), count("Start display thread") - 1);
  EXPECT_TRUE(window->mirror().Running());
  desktop->Iconify(Id(*window));
  EXPECT_TRUE(WaitUntil([&] { return !window->mirror().Running(); }));
  desktop->Activate(Id(*window));
  EXPECT_TRUE(WaitUntil([&] { return window->mirror().Running(); }));
}

TEST_F(MirrorDesktopTest, WithNoClickTheMirrorTakesNoClicks) {
  auto window = StartMirror("DisplayMode=0\n", {"trellon", "-noclick"});
  EXPECT_FALSE(window->ClickHookInstalled());
  ClickAt(300, 200);
  test_support::WaitFor([] { return false; }, 200, test_support::ProcessQtEvents);
  EXPECT_FALSE(window->display().DisplayMode);
  EXPECT_FALSE(window->mirror().Running());
}

}  // namespace
}  // namespace trellon::testing
