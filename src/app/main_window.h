#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/display_settings.h"
#include "app/error_box.h"
#include "app/event_log.h"
#include "app/overlay_message.h"
#include "app/settings_store.h"
#include "app/shell_controls.h"
#include "base/clock.h"
#include "base/main_thread.h"

class QLabel;
class QPainter;
class QPlainTextEdit;
class QTimer;

namespace trellon {

class QtLogView;
class TPageControlEx;
class TPaintBox;

// The one main window: the composition root of the program and its Qt window. It creates the
// shell's services (log, overlay, error handling, settings, main-thread hand-over) and every
// control, runs start-up (FormCreate) and shutdown (FormClose), owns the two timers and forwards
// window events to the handlers, each through the error handling. It holds no protocol logic.
// Everything here runs on the main thread.
class TVX710MainWindow : public QWidget, private SettingsWindow {
  Q_OBJECT

 public:
  static constexpr const char* kApplicationTitle = "Trellon";
  static constexpr const char* kCaption = "Trellon V1.1";
  static constexpr int kClientWidth = 800;
  static constexpr int kClientHeight = 600;
  static constexpr int kFontPixels = 36;
  static constexpr int kTimer1Interval = 100;
  static constexpr int kTimer2Interval = 1000;
  // Page indexes of pc, as "ActivePageIndex" stores them.
  enum Page { kStatusPage = 0, kParametersPage, kLogPage, kSettingsPage, kDisplayPage };

  struct Options {
    Clock& clock;
    MessageBoxPresenter& boxes;
    // The command line with the program name first.
    std::vector<std::string> arguments;
    std::string settingsPath = "Trellon.ini";
    std::string logPath = "Trellon.log";
    // Every log line also goes here (standard error in the program).
    std::ostream* logEcho = nullptr;
    // LC_TIME locale of the log's time stamps; "" is the environment's.
    std::string logLocale = "";
  };

  explicit TVX710MainWindow(Options options);
  ~TVX710MainWindow() override;

  // --- Services for the Parts (main thread) ---
  EventLog& eventLog() { return eventLog_; }
  OverlayMessage& overlay() { return overlay_; }
  ErrorReporter& errors() { return errorBox_; }
  MainThread& mainThread() { return mainThread_; }
  ShellControls& controls() { return controls_; }
  DisplaySettings& display() { return display_; }
  Clock& clock() { return clock_; }
  bool loadingSettings() const { return settings_.LoadingSettings(); }

  void WriteLog(const std::string& message) { eventLog_.WriteLog(message); }
  void ShowOverlayMessage(const std::string& text, int32_t seconds);
  void ExpireOverlayMessage();
  // Any thread, any paint target: the overlay centred in left .. left + width, its top at top.
  void DrawOverlayMessage(QPainter& painter, int left, int width, int top) const;
  // Throws IniWriteError when the file cannot be written.
  void SaveSettings();

  // --- Handlers; each event runs its handler through the error handling ---
  void FormCreate();
  void FormClose();
  void FormResize();
  void pcChange();
  void cbWindowBorderClick();
  void OnChange();
  void Timer1Timer();
  void Timer2Timer();
  void ApplicationEvents1Minimize();
  void ApplicationEvents1Restore();
  // WM_START_MINIMIZED: minimises the application.
  void StartMinimized();
  void LogMonitors();
  void cbDisplayHighQualityClick();
  void cbDisplayBufferedCopyClick();
  void cbDisplayTargetDirectAccessClick();
  void edDisplayTimerChange();
  void edDisplayNrChange();
  void PaintBox1Paint(QPainter& painter);

  // True when "-noclick" was the first argument: the click hook stays off.
  const bool noClick;
  // Monitors at start-up (LogMonitors).
  size_t monitorCount = 0;

  // --- Widgets, named as their objectName ---
  TPageControlEx* pc = nullptr;
  QWidget* tsStatus = nullptr;
  QWidget* tsParameters = nullptr;
  QWidget* tsLog = nullptr;
  QWidget* tsSettings = nullptr;
  QWidget* tsDisplay = nullptr;
  TPageControlEx* PageControlEx1 = nullptr;  // settings pages
  TPageControlEx* PageControlEx2 = nullptr;  // fan control pages
  TPaintBox* PaintBox1 = nullptr;
  QPlainTextEdit* log = nullptr;
  // By sensor index: tempr, tempf, temp0..temp3 and temprn, tempfn, sf0l..sf3l.
  std::array<QLabel*, ShellControls::kSensors> tempLabels{};
  std::array<QLabel*, ShellControls::kSensors> tempNameLabels{};
  std::array<QLabel*, 2> fanLabels{};  // fan0 rear, fan1 front
  // SpeedFan names on the Rear and Front fan pages: sf0lr..sf3lr, sf0lf..sf3lf.
  std::array<QLabel*, ShellControls::kSpeedFanSensors> rearNameLabels{};
  std::array<QLabel*, ShellControls::kSpeedFanSensors> frontNameLabels{};
  QLabel* lbAverageDisplayCopyTime = nullptr;
  QLabel* lbAverageDisplayFrameRate = nullptr;
  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // SettingsWindow
  WindowPlacement Placement() const override;
  void ApplyBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void ApplyWindowState(int32_t windowState) override;
  void PostStartMinimized() override;
  void ApplyBorderStyle(int32_t borderStyle) override;
  void ShowSpeedFanName(size_t sensor, const std::string& name) override;

  // main_window_pages.cpp
  void BuildPages();
  QWidget* BuildStatusPage();
  QWidget* BuildFanPage(bool rear);
  QWidget* BuildSpeedFanPage();
  QWidget* BuildSettingsPages();

  void WireHandlers();
  void RunPendingCalls();
  template <typename Handler>
  void Handle(Handler&& handler) {
    RunHandler(errorBox_, std::forward<Handler>(handler));
  }

  Options options_;
  Clock& clock_;
  MainThread mainThread_;
  EventLog eventLog_;
  ErrorBox errorBox_;
  OverlayMessage overlay_;
  ShellControls controls_;
  DisplaySettings display_;
  SettingsStore settings_;
  std::unique_ptr<QtLogView> logView_;
  bool closed_ = false;
};

}  // namespace trellon
