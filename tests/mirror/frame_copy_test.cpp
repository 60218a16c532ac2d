#include "mirror/frame_copy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_frame_device.h"

namespace trellon {
namespace {

using ::testing::ElementsAre;

// A frame copy on a fake display: one 1920 × 1080 monitor, client area 800 × 600 at (100, 50)
// of the screen in window 77. Each device call takes 3 ms of the manual clock.
class FrameCopyTest : public ::testing::Test {
 protected:
  FrameCopyTest() {
    client.width = 800;
    client.height = 600;
    client.screenLeft = 100;
    client.screenTop = 50;
    client.window = 77;
  }

  uint32_t Copy() { return copy.CopyDisplayFrame(device); }

  ManualClock clock;
  DisplaySettings settings;
  ClientArea client;
  CanvasLock canvas;
  fakes::FakeFrameOverlay overlay;
  fakes::FakeFrameDevice device{&canvas};
  FrameCopy copy{clock, settings, client, overlay, canvas};
};

TEST_F(FrameCopyTest, BufferedDirectCapturesScalesAndPutsOntoTheScreenWithoutTheLock) {
  overlay.message = "Power Off";
  Copy();
  EXPECT_THAT(device.calls,
              ElementsAre("allocate source 1920x1080", "allocate target 800x600",
                          "capture source 0,0 1920x1080", "put target screen 100,50 800x600"));
  // The captured colour arrives scaled, with the overlay drawn on the target surface.
  ASSERT_EQ(device.put.size(), 800u * 600u);
  EXPECT_EQ(device.put[599 * 800 + 799], 0x00336699u);
  EXPECT_EQ(device.put[20 * 800 + 0], 0x00FFFFFFu);
  ASSERT_EQ(overlay.draws.size(), 1u);
  EXPECT_EQ(overlay.draws[0].spanWidth, 800);
  EXPECT_EQ(overlay.draws[0].top, 20);
  EXPECT_FALSE(overlay.draws[0].transparent);
}

TEST_F(FrameCopyTest, BufferedWindowPutsIntoTheWindowUnderTheCanvasLock) {
  settings.DisplayTargetDirectAccess = false;
  Copy();
  EXPECT_EQ(device.calls.back(), "put target window#77 0,0 800x600 [locked]");
  EXPECT_FALSE(copy.TakeDirectArea());
}

TEST_F(FrameCopyTest, SurfacesAreRebuiltOnlyWhenASizeChanges) {
  Copy();
  Copy();
  EXPECT_EQ(std::count_if(device.calls.begin(), device.calls.end(),
                          [](const std::string& c) { return c.rfind("allocate", 0) == 0; }),
            2);
  client.width = 640;
  device.calls.clear();
  Copy();
  EXPECT_THAT(device.calls,
              ElementsAre("free target", "allocate target 640x600", "capture source 0,0 1920x1080",
                          "put target screen 100,50 640x600"));
}

TEST_F(FrameCopyTest, UnbufferedFreesTheSurfacesAndStretchesOnTheServer) {
  Copy();
  settings.DisplayBufferedCopy = false;
  settings.DisplayHighQuality = true;
  device.cursor = CursorImage{960, 540, 0, 0, {2, 2, {0xFF000000, 0, 0, 0xFF000000}}};
  device.calls.clear();
  Copy();
  // Pointer at monitor (960, 540), hot spot (0, 0): drawn at (400, 300) of the client area.
  EXPECT_THAT(device.calls, ElementsAre("free source", "free target",
                                        "stretch 0,0 1920x1080 screen 100,50 800x600 smooth",
                                        "blend screen 500,350 2x2"));
  EXPECT_TRUE(overlay.draws.back().transparent);
  settings.DisplayTargetDirectAccess = false;
  overlay.message = "Power Off";
  device.calls.clear();
  Copy();
  EXPECT_THAT(device.calls, ElementsAre("stretch 0,0 1920x1080 window#77 0,0 800x600 smooth "
                                        "[locked]",
                                        "blend window#77 0,0 800x100 [locked]",
                                        "blend window#77 400,300 2x2 [locked]"));
}

TEST_F(FrameCopyTest, TheSourceMonitorIsFoundByNumberAndClampedToTheList) {
  device.monitors = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  settings.DisplayNr = 1;
  settings.DisplayBufferedCopy = false;
  // Pointer at screen (2000, 100) with hot spot (0, 0): 80 pixels from the left, 100 from the top.
  device.cursor = CursorImage{2000, 100, 0, 0, {1, 1, {0xFF000000}}};
  Copy();
  // 80 × 800/1280 and 100 × 600/1024 in the client area.
  EXPECT_THAT(device.calls, ElementsAre("stretch 1920,0 1280x1024 screen 100,50 800x600 nearest",
                                        "blend screen 150,108 1x1"));
  // A monitor that went away: the last one there is mirrored.
  device.monitors.pop_back();
  settings.DisplayNr = 5;
  device.calls.clear();
  Copy();
  ASSERT_FALSE(device.calls.empty());
  EXPECT_EQ(device.calls[0], "stretch 0,0 1920x1080 screen 100,50 800x600 nearest");
  device.monitors.clear();
  device.calls.clear();
  EXPECT_EQ(Copy(), 0u);
  EXPECT_TRUE(device.calls.empty());
}

TEST_F(FrameCopyTest, DirectAreaIsTheUnionOfWhatWasDrawnOnTheScreen) {
  Copy();
  client.screenLeft = 300;
  Copy();
  const std::optional<MonitorRect> area = copy.TakeDirectArea();
  ASSERT_TRUE(area);
  EXPECT_EQ(*area, (MonitorRect{100, 50, 1000, 600}));
  EXPECT_FALSE(copy.TakeDirectArea());
}

TEST_F(FrameCopyTest, ASurfaceWithoutMemoryDrawsNothingAndIsRebuiltOnTheNextSize) {
  device.failAllocation = true;
  Copy();
  EXPECT_TRUE(overlay.draws.empty());
  device.failAllocation = false;
  Copy();
  EXPECT_FALSE(copy.Surface(SurfaceSlot::Source).Bits);
  client.height = 500;
  Copy();
  EXPECT_TRUE(copy.Surface(SurfaceSlot::Target).Bits);
}

}  // namespace
}  // namespace trellon
