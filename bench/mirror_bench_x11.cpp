// trellon-mirror-bench: the mirror's real frame copy against the X server in DISPLAY, for both
// source sizes, both qualities and all four paths. One line per case with the medians of the
// copy time, the whole frame and the process CPU time per frame.
#include <X11/Xlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/clock.h"
#include "mirror/frame_copy.h"
#include "mirror/platform_display.h"

namespace trellon {
namespace {

constexpr int kWarmUpFrames = 5;
constexpr int kFrames = 60;
constexpr int32_t kTargetWidth = 800;
constexpr int32_t kTargetHeight = 600;

// Microseconds in place of the tick count, so that the copy time comes out in microseconds.
class MicrosecondClock final : public Clock {
 public:
  uint32_t TickCount() const override {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  double Now() const override { return 0; }
  void Sleep(uint32_t) override {}
};

// The real device with one monitor: the rectangle of the root window that the case mirrors.
class FixedSourceDevice final : public FrameDevice {
 public:
  FixedSourceDevice(std::unique_ptr<FrameDevice> device, MonitorRect source)
      : device_(std::move(device)), source_(source) {}
  bool Alive() const override { return device_->Alive(); }
  std::vector<MonitorRect> Monitors() override { return {source_}; }
  bool TakeCursorSnapshot(CursorImage& cursor) override {
    return device_->TakeCursorSnapshot(cursor);
  }
  uint32_t* AllocateSurface(SurfaceSlot slot, int32_t width, int32_t height) override {
    return device_->AllocateSurface(slot, width, height);
  }
  void FreeSurface(SurfaceSlot slot) override { device_->FreeSurface(slot); }
  void CaptureScreen(SurfaceSlot slot, const MonitorRect& area) override {
    device_->CaptureScreen(slot, area);
  }
  void PutSurface(SurfaceSlot slot, const FrameTarget& target, int32_t x, int32_t y, int32_t width,
                  int32_t height) override {
    device_->PutSurface(slot, target, x, y, width, height);
  }
  void StretchScreen(const MonitorRect& area, const FrameTarget& target, int32_t x, int32_t y,
                     int32_t width, int32_t height, bool smooth) override {
    device_->StretchScreen(area, target, x, y, width, height, smooth);
  }
  void BlendImage(const FrameTarget& target, int32_t x, int32_t y,
                  const ArgbImage& image) override {
    device_->BlendImage(target, x, y, image);
  }
  void RepaintScreenArea(const MonitorRect& area) override { device_->RepaintScreenArea(area); }

 private:
  std::unique_ptr<FrameDevice> device_;
  MonitorRect source_;
};

class NoOverlay final : public FrameOverlay {
 public:
  bool Draw(uint32_t*, int32_t, int32_t, bool, int32_t, int32_t, int32_t) override { return false; }
};

double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

long ResidentKilobytes() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long kilobytes = -1;
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmRSS: %ld kB", &kilobytes) == 1) break;
  }
  std::fclose(status);
  return kilobytes;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The client area is the target window's.
void SetTargetClient(ClientArea& client, Window window) {
  client.width = kTargetWidth;
  client.height = kTargetHeight;
  client.window = window;
}

// --soak N: N frames of 1080p on the default path (buffered, direct, colour), resident memory
// after the first 100 and at the end, and the load at the default 50 ms wait.
int Soak(FrameDeviceFactory& devices, Window window, int frames) {
  const MicrosecondClock clock;
  FixedSourceDevice device(devices.Open(), {0, 0, 1920, 1080});
  DisplaySettings settings;
  ClientArea client;
  SetTargetClient(client, window);
  NoOverlay overlay;
  CanvasLock canvas;
  FrameCopy copy(clock, settings, client, overlay, canvas);
  long early = 0;
  const double cpuStart = ProcessCpuMs();
  for (int frame = 0; frame < frames; ++frame) {
    copy.CopyDisplayFrame(device);
    if (frame == 99) early = ResidentKilobytes();
  }
  const double cpuPerFrame = (ProcessCpuMs() - cpuStart) / frames;
  std::printf(
      "soak frames=%d rss_kb_after_100=%ld rss_kb_at_end=%ld cpu_ms=%.2f "
      "load_at_50ms_wait=%.2f%%\n",
      frames, early, ResidentKilobytes(), cpuPerFrame,
      100.0 * cpuPerFrame / (cpuPerFrame + settings.DisplayTimer.load()));
  return 0;
}

int Run(int soakFrames) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "trellon-mirror-bench: no X display (set DISPLAY)\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const int32_t screenWidth = DisplayWidth(display, screen);
  const int32_t screenHeight = DisplayHeight(display, screen);
  // The target window of the window paths, at the top-left corner like a window on the source.
  const Window window =
      XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, kTargetWidth, kTargetHeight,
                          0, 0, BlackPixel(display, screen));
  XMapWindow(display, window);
  XSync(display, False);

  for (const std::string& note : CheckMirrorDisplay()) std::fprintf(stderr, "%s\n", note.c_str());
  const std::unique_ptr<FrameDeviceFactory> devices = CreateFrameDeviceFactory();
  if (soakFrames > 0) return Soak(*devices, window, soakFrames);
  const MicrosecondClock clock;
  for (const MonitorRect source : {MonitorRect{0, 0, 1920, 1080}, MonitorRect{0, 0, 3840, 2160}}) {
    if (source.width > screenWidth || source.height > screenHeight) {
      std::printf("source=%dx%d skipped: the screen is %dx%d\n", source.width, source.height,
                  screenWidth, screenHeight);
      continue;
    }
    for (const bool highQuality : {false, true}) {
      for (const bool buffered : {true, false}) {
        for (const bool direct : {true, false}) {
          std::unique_ptr<FrameDevice> real = devices->Open();
          if (!real) {
            std::fprintf(stderr, "trellon-mirror-bench: cannot open the display\n");
            return 1;
          }
          FixedSourceDevice device(std::move(real), source);
          DisplaySettings settings;
          settings.DisplayHighQuality = highQuality;
          settings.DisplayBufferedCopy = buffered;
          settings.DisplayTargetDirectAccess = direct;
          ClientArea client;
          SetTargetClient(client, window);
          NoOverlay overlay;
          CanvasLock canvas;
          FrameCopy copy(clock, settings, client, overlay, canvas);
          std::vector<double> copyMs, frameMs, cpuMs;
          for (int frame = 0; frame < kWarmUpFrames + kFrames; ++frame) {
            const double cpu = ProcessCpuMs();
            const auto start = std::chrono::steady_clock::now();
            const uint32_t copyUs = copy.CopyDisplayFrame(device);
            const std::chrono::duration<double, std::milli> elapsed =
                std::chrono::steady_clock::now() - start;
            if (frame < kWarmUpFrames) continue;
            copyMs.push_back(copyUs / 1000.0);
            frameMs.push_back(elapsed.count());
            cpuMs.push_back(ProcessCpuMs() - cpu);
          }
          std::printf(
              "source=%dx%d target=%dx%d buffered=%d direct=%d quality=%s copy_ms=%.2f "
              "frame_ms=%.2f cpu_ms=%.2f\n",
              source.width, source.height, kTargetWidth, kTargetHeight, buffered ? 1 : 0,
              direct ? 1 : 0, highQuality ? "halftone" : "colour", Median(copyMs), Median(frameMs),
              Median(cpuMs));
          std::fflush(stdout);
          // The picture drawn onto the screen is painted over again.
          if (direct) device.RepaintScreenArea({0, 0, kTargetWidth, kTargetHeight});
        }
      }
    }
  }
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return 0;
}

}  // namespace
}  // namespace trellon

int main(int argc, char** argv) {
  const std::string soak = "--soak";
  const int soakFrames = argc == 3 && argv[1] == soak ? std::atoi(argv[2]) : 0;
  return trellon::Run(soakFrames);
}
