#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/clock.h"
#include "base/manual_reset_event.h"
#include "base/shell_services.h"
#include "mirror/display_settings.h"
#include "mirror/frame_copy.h"
#include "mirror/frame_device.h"

namespace trellon {

// What the mirror needs of the main window (main thread only).
class MirrorWindow {
 public:
  virtual ~MirrorWindow() = default;
  struct View {
    bool visible = false;
    bool minimized = false;
    bool applicationIconic = false;
    bool displayPageActive = false;
  };
  virtual View CurrentView() const = 0;
  // The two statistics captions of the Display settings page.
  virtual void ShowStatistics(const std::string& copyTime, const std::string& frameRate) = 0;
  // The window's own client area is painted anew (a stopped mirror leaves it black).
  virtual void RepaintWindow() = 0;
  virtual void SaveSettings() = 0;
};

// The display mirror: display mode, the mirror thread (TDisplayThread) with its frame loop and
// stop handshake, and the statistics of the copy. Every operation runs on the main thread except
// DisplayLoop, which is the mirror thread's body; that thread never waits for the main thread.
class DisplayMirror {
 public:
  static constexpr uint32_t kStopWaitMs = 1000;
  // Waits until the event is set or the time is up; true when set. Tests replace the real wait.
  using EventWait = std::function<bool(const ManualResetEvent&, uint32_t)>;

  struct Parts {
    const Clock& clock;
    DisplaySettings& settings;
    const ClientArea& client;
    MirrorWindow& window;
    LogSink& log;
    FrameDeviceFactory& devices;
    FrameOverlay& overlay;
  };
  explicit DisplayMirror(Parts parts, EventWait wait = nullptr);
  // Stops a running mirror (without logging) and closes the device.
  ~DisplayMirror();
  DisplayMirror(const DisplayMirror&) = delete;
  DisplayMirror& operator=(const DisplayMirror&) = delete;

  // Returns the previous DisplayMode; a change starts or stops the mirror and is saved.
  bool SetDisplayMode(bool on);
  // Stops a running mirror thread, then starts a new one when run is set and the mirror can be
  // shown.
  void UpdateDisplayThread(bool run);
  bool CanShowDisplay() const;
  bool Running() const { return thread_.joinable(); }

  // The lock around every use of the window by the mirror; the window's own painting of the bare
  // Display page takes it too.
  CanvasLock& Canvas() { return canvasLock_; }

  int32_t AverageCopyTime() const { return averageCopyTime_.load(); }
  int32_t AverageFrameTime() const { return averageFrameTime_.load(); }
  // "12 ms"; "25.00 Hz" (with the decimal separator given) or "0 Hz" without a sample.
  static std::string CopyTimeCaption(int32_t averageCopyTime);
  static std::string FrameRateCaption(int32_t averageFrameTime, char decimalSeparator);
  // The new running average: the first sample as it is, then (old × (weight − 1) + sample) div
  // weight.
  static int32_t Average(int32_t average, int32_t sample, int32_t weight);

  // The mirror thread's body (public for tests that run it on their own thread).
  void DisplayLoop();
  FrameCopy& Copy() { return copy_; }

 private:
  void StopThread();

  const Clock& clock_;
  DisplaySettings& settings_;
  MirrorWindow& window_;
  LogSink& log_;
  FrameDeviceFactory& devices_;
  EventWait wait_;
  CanvasLock canvasLock_;
  ManualResetEvent displayStopEvent_;
  ManualResetEvent displayDoneEvent_;
  std::thread thread_;
  // Opened by the first mirror thread and kept for the next (the surfaces live in it); used by
  // one thread at a time.
  std::unique_ptr<FrameDevice> device_;
  FrameCopy copy_;
  // Written by the mirror thread, read by the main thread after the join.
  std::atomic<int32_t> averageCopyTime_{0};
  std::atomic<int32_t> averageFrameTime_{0};
};

}  // namespace trellon
