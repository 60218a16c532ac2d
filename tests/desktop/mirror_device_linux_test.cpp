// The mirror's X connection on real X servers: shared-memory segments, a server that goes away.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mirror/platform_display.h"
#include "support/child_process.h"
#include "support/scoped_environment.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ChildProcess;

struct Segment {
  int shmid = 0;
  unsigned mode = 0;
};

// The System V segments this process made (creator pid), from /proc/sysvipc/shm.
std::vector<Segment> OwnSegments() {
  std::ifstream table("/proc/sysvipc/shm");
  std::string line;
  std::getline(table, line);  // heading
  std::vector<Segment> own;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    long key = 0, size = 0, cpid = 0;
    Segment segment;
    std::string mode;
    fields >> key >> segment.shmid >> mode >> size >> cpid;
    segment.mode = static_cast<unsigned>(std::stoul(mode, nullptr, 8));
    if (cpid == ::getpid()) own.push_back(segment);
  }
  return own;
}

constexpr unsigned kMarkedForRemoval = 01000;  // SHM_DEST

TEST(MirrorDeviceTest, SegmentsAreMarkedForRemovalOnceAttachedAndNoneOutlivesItsSurface) {
  const std::unique_ptr<FrameDeviceFactory> devices = CreateFrameDeviceFactory();
  const size_t before = OwnSegments().size();
  for (int cycle = 0; cycle < 500; ++cycle) {
    std::unique_ptr<FrameDevice> device = devices->Open();
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->AllocateSurface(SurfaceSlot::Source, 64, 48));
    ASSERT_TRUE(device->AllocateSurface(SurfaceSlot::Target, 32, 24));
    if (cycle == 0) {
      // A killed program would leave nothing: both segments already go with their last user.
      const std::vector<Segment> live = OwnSegments();
      ASSERT_EQ(live.size(), before + 2);
      for (const Segment& segment : live) EXPECT_TRUE(segment.mode & kMarkedForRemoval);
    }
    device->CaptureScreen(SurfaceSlot::Source, {0, 0, 64, 48});
    // Every second cycle the surfaces go with the device, the others are freed first.
    if (cycle % 2) device->FreeSurface(SurfaceSlot::Source);
  }
  EXPECT_EQ(OwnSegments().size(), before);
}

TEST(MirrorDeviceTest, AServerThatGoesAwayEndsTheConnectionQuietly) {
  ChildProcess::Options options({"Xvfb", "-displayfd", "1", "-nolisten", "tcp"});
  options.captureOutput = true;
  options.errorFile = "/dev/null";
  ChildProcess server(options);
  ASSERT_TRUE(server.WaitForOutput([](const auto& lines) { return !lines.empty(); },
                                   test_support::kPatienceMs));
  const test_support::ScopedEnvironment display("DISPLAY", ":" + server.Lines().front());
  const std::unique_ptr<FrameDeviceFactory> devices = CreateFrameDeviceFactory();
  std::unique_ptr<FrameDevice> device = devices->Open();
  ASSERT_TRUE(device);
  ASSERT_FALSE(device->Monitors().empty());
  ASSERT_TRUE(device->AllocateSurface(SurfaceSlot::Source, 64, 48));

  server.Signal(SIGKILL);
  server.WaitExit();
  for (int frame = 0; frame < 3 && device->Alive(); ++frame) {
    device->CaptureScreen(SurfaceSlot::Source, {0, 0, 64, 48});
    device->PutSurface(SurfaceSlot::Source, {}, 0, 0, 64, 48);
  }
  EXPECT_FALSE(device->Alive());
  EXPECT_TRUE(device->Monitors().empty());
  device.reset();  // and the program is still here
  EXPECT_FALSE(devices->Open());
}

}  // namespace
}  // namespace trellon
