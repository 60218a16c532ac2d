#include "mirror/display_mirror.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_frame_device.h"
#include "fakes/recording_shell.h"

namespace trellon {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class FakeMirrorWindow final : public MirrorWindow {
 public:
  View CurrentView() const override { return view; }
  void ShowStatistics(const std::string& copyTime, const std::string& frameRate) override {
    captions.push_back(copyTime + " / " + frameRate);
  }
  void RepaintWindow() override { ++repaints; }
  void SaveSettings() override { ++saves; }

  View view{true, false, false, true};
  std::vector<std::string> captions;
  int repaints = 0;
  int saves = 0;
};

// The mirror with a fake display whose capture takes 20 ms of a manual clock. The frame loop's
// wait between frames blocks until the stop event is set (one frame per run); every wait's time
// limit is recorded.
class DisplayMirrorTest : public ::testing::Test {
 protected:
  DisplayMirrorTest() {
    client.width = 800;
    client.height = 600;
    auto device = std::make_unique<fakes::FakeFrameDevice>();
    device->onCapture = [this] { clock.Advance(20); };
    fakeDevice = device.get();
    devices.next = std::move(device);
  }

  DisplayMirror::EventWait RecordingWait() {
    return [this](const ManualResetEvent& event, uint32_t ms) {
      {
        const std::lock_guard<std::mutex> hold(waitsMutex);
        waits.push_back(ms);
      }
      event.Wait();
      return true;
    };
  }

  ManualClock clock;
  DisplaySettings settings;
  ClientArea client;
  FakeMirrorWindow window;
  fakes::RecordingShell log;
  fakes::FakeFrameDeviceFactory devices;
  fakes::FakeFrameDevice* fakeDevice = nullptr;
  fakes::FakeFrameOverlay overlay;
  std::mutex waitsMutex;
  std::vector<uint32_t> waits;
  DisplayMirror mirror{{clock, settings, client, window, log, devices, overlay}, RecordingWait()};
};

TEST_F(DisplayMirrorTest, DisplayModeStartsAndStopsTheMirrorAndSavesOnlyAChange) {
  EXPECT_FALSE(mirror.SetDisplayMode(true));
  EXPECT_TRUE(mirror.Running());
  EXPECT_TRUE(mirror.SetDisplayMode(true));
  EXPECT_EQ(window.saves, 1);
  EXPECT_TRUE(mirror.SetDisplayMode(false));
  EXPECT_FALSE(mirror.Running());
  EXPECT_EQ(window.saves, 2);
  EXPECT_THAT(log.logLines, ElementsAre("Start display thread", "Stopping display thread",
                                        "Stopped display thread"));
  // The stop waits at most 1000 ms for the loop's end; the loop waited DisplayTimer after its
  // frame.
  EXPECT_THAT(waits, UnorderedElementsAre(50, 1000));
  // One frame of 20 ms copy time; the captions show the run just ended.
  EXPECT_THAT(window.captions, ElementsAre("20 ms / 50.00 Hz"));
  EXPECT_EQ(window.repaints, 1);
  EXPECT_EQ(devices.opened, 1);
}

TEST_F(DisplayMirrorTest, DirectPicturesArePaintedOverAfterTheStop) {
  mirror.UpdateDisplayThread(true);
  mirror.UpdateDisplayThread(false);
  EXPECT_EQ(fakeDevice->calls.back(), "repaint 0,0 800x600");
}

TEST_F(DisplayMirrorTest, NoThreadStartsWhereTheMirrorCannotBeShown) {
  for (auto hide : {&MirrorWindow::View::visible, &MirrorWindow::View::displayPageActive}) {
    window.view = {true, false, false, true};
    window.view.*hide = false;
    EXPECT_FALSE(mirror.CanShowDisplay());
  }
  window.view = {true, true, false, true};
  EXPECT_FALSE(mirror.CanShowDisplay());
  window.view = {true, false, true, true};
  EXPECT_FALSE(mirror.CanShowDisplay());
  // Stopping with no thread logs nothing and leaves the captions.
  mirror.UpdateDisplayThread(true);
  mirror.UpdateDisplayThread(false);
  EXPECT_TRUE(log.logLines.empty());
  EXPECT_TRUE(window.captions.empty());
  // On another page a running mirror stops and none starts.
  window.view = {true, false, false, true};
  mirror.UpdateDisplayThread(true);
  window.view.displayPageActive = false;
  mirror.UpdateDisplayThread(true);
  EXPECT_FALSE(mirror.Running());
  EXPECT_THAT(log.logLines, ElementsAre("Start display thread", "Stopping display thread",
                                        "Stopped display thread"));
}

TEST_F(DisplayMirrorTest, AveragesCarryOverFromRunToRun) {
  mirror.UpdateDisplayThread(true);
  mirror.UpdateDisplayThread(true);  // a restart: stop, then start
  fakeDevice->onCapture = [this] { clock.Advance(24); };
  mirror.UpdateDisplayThread(false);
  // Copy time 20, then 24: (60 + 24) div 4 = 21. Frame time (180 + 24) div 10 = 20.
  EXPECT_EQ(mirror.AverageCopyTime(), 21);
  EXPECT_EQ(mirror.AverageFrameTime(), 20);
  EXPECT_EQ(window.captions.back(), "21 ms / 50.00 Hz");
  EXPECT_EQ(log.logLines.size(), 6u);
}

TEST_F(DisplayMirrorTest, AGoneDisplayEndsTheLoopQuietlyAndIsOpenedAgain) {
  devices.next.reset();
  mirror.UpdateDisplayThread(true);
  mirror.UpdateDisplayThread(false);
  EXPECT_EQ(window.captions.back(), "0 ms / 0 Hz");
  auto device = std::make_unique<fakes::FakeFrameDevice>();
  device->alive = false;
  devices.next = std::move(device);
  mirror.UpdateDisplayThread(true);
  mirror.UpdateDisplayThread(false);
  EXPECT_EQ(devices.opened, 2);
  EXPECT_EQ(mirror.AverageFrameTime(), 0);
}

TEST(DisplayMirrorFiguresTest, AveragesAndCaptions) {
  EXPECT_EQ(DisplayMirror::Average(0, 20, 4), 20);
  EXPECT_EQ(DisplayMirror::Average(20, 24, 4), 21);
  EXPECT_EQ(DisplayMirror::Average(40, 0, 10), 36);
  EXPECT_EQ(DisplayMirror::CopyTimeCaption(12), "12 ms");
  EXPECT_EQ(DisplayMirror::FrameRateCaption(40, '.'), "25.00 Hz");
  EXPECT_EQ(DisplayMirror::FrameRateCaption(40, ','), "25,00 Hz");
  EXPECT_EQ(DisplayMirror::FrameRateCaption(3, '.'), "333.33 Hz");
  EXPECT_EQ(DisplayMirror::FrameRateCaption(0, '.'), "0 Hz");
}

}  // namespace
}  // namespace trellon
