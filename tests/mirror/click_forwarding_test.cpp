#include "mirror/click_forwarding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_frame_device.h"
#include "fakes/recording_shell.h"

namespace trellon {
namespace {

using ::testing::ElementsAre;
using Message = ClickForwarding::MouseMessage;
using Point = ClickWindow::Point;

// The main window at screen (1000, 0) with an 800 × 600 client area; another window covers the
// screen right of x 1700.
class FakeClickWindow final : public ClickWindow {
 public:
  bool MainWindowAt(Point screen) const override { return screen.x < 1700; }
  Point ScreenToClient(Point screen) const override { return {screen.x - 1000, screen.y}; }
  int32_t ClientWidth() const override { return 800; }
  int32_t ClientHeight() const override { return 600; }
  void PostMirrorClick(int32_t x, int32_t y) override { posted.push_back({x, y}); }
  void ShowStatusPage() override { calls.push_back("status page"); }
  bool SetDisplayMode(bool on) override {
    calls.push_back(on ? "mode on" : "mode off");
    const bool was = mode;
    mode = on;
    return was;
  }
  bool mode = true;
  std::vector<Point> posted;
  std::vector<std::string> calls;
};

class ClickForwardingTest : public ::testing::Test {
 protected:
  ManualClock clock;
  DisplaySettings settings;
  FakeClickWindow window;
  fakes::RecordingShell log;
  fakes::FakePointerInjector injector;
  std::vector<MonitorRect> monitors{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  ClickForwarding clicks{clock, settings, window, log, injector, [this] { return monitors; }};
};

TEST_F(ClickForwardingTest, LeftPressAndReleaseOnTheMirrorAreSwallowedAndTheReleasePosted) {
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonDown, {1400, 300}), 1);
  EXPECT_TRUE(window.posted.empty());
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonUp, {1400, 300}), 1);
  ASSERT_EQ(window.posted.size(), 1u);
  EXPECT_EQ(window.posted[0].x, 400);
  EXPECT_EQ(window.posted[0].y, 300);
  // Moves, other buttons, points outside the client area or under another window pass.
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::Other, {1400, 300}), 0);
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonUp, {999, 300}), 0);
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonUp, {1400, 600}), 0);
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonDown, {1750, 10}), 0);
  EXPECT_EQ(window.posted.size(), 1u);
}

TEST_F(ClickForwardingTest, AClickIsMappedOntoTheSourceMonitorAndInjected) {
  clicks.HandleMirrorClick(400, 300);
  clicks.HandleMirrorClick(799, 500);
  settings.DisplayNr = 1;
  clicks.HandleMirrorClick(400, 300);
  settings.DisplayNr = 9;  // clamped to the last monitor
  clicks.HandleMirrorClick(795, 10);
  EXPECT_THAT(injector.calls, ElementsAre("move 960,540", "click", "move 1917,900", "click",
                                          "move 2560,512", "click", "move 3192,17", "click"));
  EXPECT_EQ(log.logLines[0], "Click @ 400, 300");
}

TEST_F(ClickForwardingTest, CornerZonesSwitchDisplayModeOffOrBringThePagesBack) {
  clicks.HandleMirrorClick(10, 590);
  EXPECT_THAT(window.calls, ElementsAre("mode on", "mode off"));
  window.mode = true;
  window.calls.clear();
  clicks.HandleMirrorClick(795, 595);
  EXPECT_THAT(window.calls, ElementsAre("mode on", "status page"));
  EXPECT_TRUE(injector.calls.empty());
  EXPECT_THAT(log.logLines, ElementsAre("Click @ 10, 590", "Click @ 795, 595"));
  EXPECT_FALSE(clicks.InjectingClick());
}

TEST_F(ClickForwardingTest, AClickWhileDisplayModeIsOffOnlySwitchesItOn) {
  window.mode = false;
  clicks.HandleMirrorClick(400, 300);
  EXPECT_THAT(window.calls, ElementsAre("mode on"));
  EXPECT_TRUE(log.logLines.empty());
  EXPECT_TRUE(injector.calls.empty());
}

TEST_F(ClickForwardingTest, TheInjectedClickPassesWhenItComesBackAfterTheHandling) {
  clicks.HandleMirrorClick(400, 300);
  EXPECT_TRUE(clicks.InjectingClick());
  // The synthetic press and release land on the mirror itself: not caught again.
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonDown, {1400, 300}), 0);
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonUp, {1400, 300}), 0);
  EXPECT_FALSE(clicks.InjectingClick());
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonDown, {1400, 300}), 1);
  // When the injected click lands elsewhere, the next real click is caught after the echo time.
  clicks.HandleMirrorClick(400, 300);
  clock.Advance(ClickForwarding::kInjectionEchoMs);
  EXPECT_FALSE(clicks.InjectingClick());
  EXPECT_EQ(clicks.FilterMirrorMouse(Message::LeftButtonDown, {1400, 300}), 1);
}

}  // namespace
}  // namespace trellon
