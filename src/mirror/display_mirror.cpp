#include "mirror/display_mirror.h"

#include <clocale>
#include <cstdio>

namespace trellon {
namespace {

char LocaleDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  return conventions && conventions->decimal_point && conventions->decimal_point[0]
             ? conventions->decimal_point[0]
             : '.';
}

}  // namespace

DisplayMirror::DisplayMirror(Parts parts, EventWait wait)
    : clock_(parts.clock),
      settings_(parts.settings),
      window_(parts.window),
      log_(parts.log),
      devices_(parts.devices),
      wait_(wait ? std::move(wait) : EventWait([](const ManualResetEvent& event, uint32_t ms) {
        return event.Wait(ms);
      })),
      copy_(parts.clock, parts.settings, parts.client, parts.overlay, canvasLock_) {}

DisplayMirror::~DisplayMirror() {
  if (thread_.joinable()) StopThread();
  device_.reset();
}

bool DisplayMirror::SetDisplayMode(bool on) {
  const bool previous = settings_.DisplayMode.load();
  if (on == previous) return previous;
  settings_.DisplayMode = on;
  UpdateDisplayThread(on);
  window_.SaveSettings();
  return previous;
}

bool DisplayMirror::CanShowDisplay() const {
  const MirrorWindow::View view = window_.CurrentView();
  return view.visible && !view.minimized && !view.applicationIconic && view.displayPageActive;
}

void DisplayMirror::StopThread() {
  displayStopEvent_.Set();
  // The loop ends after the frame in hand; the join below has no limit.
  wait_(displayDoneEvent_, kStopWaitMs);
  thread_.join();
  displayStopEvent_.Reset();
  displayDoneEvent_.Reset();
}

void DisplayMirror::UpdateDisplayThread(bool run) {
  if (thread_.joinable()) {
    log_.WriteLog("Stopping display thread");
    StopThread();
    log_.WriteLog("Stopped display thread");
    // A picture drawn straight onto the screen is painted over by what lies there.
    const std::optional<MonitorRect> drawn = copy_.TakeDirectArea();
    if (drawn && device_ && device_->Alive()) device_->RepaintScreenArea(*drawn);
    window_.RepaintWindow();
    window_.ShowStatistics(CopyTimeCaption(averageCopyTime_.load()),
                           FrameRateCaption(averageFrameTime_.load(), LocaleDecimalSeparator()));
  }
  if (run && CanShowDisplay()) {
    log_.WriteLog("Start display thread");
    thread_ = std::thread([this] { DisplayLoop(); });
  }
}

void DisplayMirror::DisplayLoop() {
  // A display that went away is opened again by the next run.
  if (!device_ || !device_->Alive()) {
    device_.reset();
    device_ = devices_.Open();
  }
  bool stop = false;
  while (!stop && device_ && device_->Alive()) {
    const uint32_t t0 = clock_.TickCount();
    const uint32_t copyTime = copy_.CopyDisplayFrame(*device_);
    averageCopyTime_ = Average(averageCopyTime_.load(), static_cast<int32_t>(copyTime), 4);
    const uint32_t elapsed = clock_.TickCount() - t0;
    averageFrameTime_ = Average(averageFrameTime_.load(), static_cast<int32_t>(elapsed), 10);
    const int32_t wait = settings_.DisplayTimer.load();
    stop = wait_(displayStopEvent_, static_cast<uint32_t>(wait < 1 ? 1 : wait));
  }
  displayDoneEvent_.Set();
}

int32_t DisplayMirror::Average(int32_t average, int32_t sample, int32_t weight) {
  if (average == 0) return sample;
  // Signed 32-bit like the field, truncating toward zero.
  return static_cast<int32_t>((static_cast<uint32_t>(average) * static_cast<uint32_t>(weight - 1) +
                               static_cast<uint32_t>(sample))) /
         weight;
}

std::string DisplayMirror::CopyTimeCaption(int32_t averageCopyTime) {
  return std::to_string(averageCopyTime) + " ms";
}

std::string DisplayMirror::FrameRateCaption(int32_t averageFrameTime, char decimalSeparator) {
  if (averageFrameTime == 0) return "0 Hz";
  // Hundredths, rounded half away from zero, formatted without the C locale's separator.
  const double rate = 1000.0 / averageFrameTime;
  const long long hundredths = static_cast<long long>(rate * 100.0 + (rate < 0 ? -0.5 : 0.5));
  const long long whole = hundredths / 100;
  const long long fraction = hundredths % 100 < 0 ? -(hundredths % 100) : hundredths % 100;
  char text[48];
  std::snprintf(text, sizeof text, "%s%lld%c%02lld Hz", hundredths < 0 && whole == 0 ? "-" : "",
                whole, decimalSeparator, fraction);
  return text;
}

}  // namespace trellon
