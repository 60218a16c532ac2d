#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/display_settings.h"
#include "app/error_box.h"
#include "app/event_log.h"
#include "app/key_outputs.h"
#include "app/mirror_wiring.h"
#include "app/overlay_message.h"
#include "app/settings_store.h"
#include "app/shell_controls.h"
#include "app/window_adapters.h"
#include "base/clock.h"
#include "base/file_writer.h"
#include "base/main_thread.h"
#include "crash/except_watcher.h"
#include "crash/fault_reporting.h"
#include "fans/fan_regulation.h"
#include "fans/fan_state.h"
#include "fans/fan_status_view.h"
#include "fans/speedfan_view.h"
#include "link/com_port.h"
#include "link/comm_device.h"
#include "link/controller_link.h"
#include "link/volume_knob.h"
#include "mirror/click_forwarding.h"
#include "mirror/display_mirror.h"
#include "mirror/platform_display.h"
#include "remote/key_dispatch.h"
#include "remote/key_server.h"
#include "remote/media_portal_launcher.h"
#include "remote/power_control.h"
#include "remote/power_system.h"
#include "remote/process_control.h"
#include "remote/window_list.h"

class QLabel;
class QPainter;
class QPlainTextEdit;
class QTimer;

namespace trellon {

class QtLogView;
class TPageControlEx;
class TPaintBox;

// The one main window: the composition root of the program and its Qt window. It creates the
// shell's services (log, overlay, error handling, settings, main-thread hand-over), every control
// and the subsystems in start-up order (serial port, controller link, fan regulation, volume knob,
// key server, media-centre launcher, key dispatch, power handling), runs start-up (FormCreate)
// and shutdown (FormClose), owns the two timers and forwards window and port events to the
// handlers, each through the error handling. It holds no protocol logic: the subsystems meet
// through thin adapters (window_adapters.h). Everything here runs on the main thread.
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

  static constexpr const char* kClientsWarning =
      "MediaPortal does not behave well when the IRTrans server is shut down while it's still "
      "running...";
  static constexpr const char* kControllerPort = "COM3";

  struct Options {
    Clock& clock;
    MessageBoxPresenter& boxes;
    // SpeedFan's temperature block, mapped by the program before the window exists.
    const SpeedFanView& speedFanView;
    // The command line with the program name first.
    std::vector<std::string> arguments;
    std::string settingsPath = "Trellon.ini";
    std::string logPath = "Trellon.log";
    // Every log line also goes here (standard error in the program).
    std::ostream* logEcho = nullptr;
    // LC_TIME locale of the log's time stamps; "" is the environment's.
    std::string logLocale = "";
    // TCP port of the key server; 0 picks a free one.
    uint16_t keyServerPort = kKeyServerPort;
    // The virtual keyboard and the LIRC socket, as Trellon.ini sets them up (the program); off
    // in tests that do not ask for them. The LIRC socket's path when the settings name none.
    bool keyOutputs = false;
    std::string defaultLircSocket = "";
    // The program's fault handling, told the controller's port while it is attached (its fans
    // go to full speed when the program crashes); none in tests.
    FaultReporting* faultReporting = nullptr;
    // Platform services; those left empty are this platform's own. The power system given here
    // is used as it is (nothing is watched); without one, the platform's is made and watched.
    std::unique_ptr<CommDevice> commDevice = nullptr;
    std::unique_ptr<ProcessControl> processControl = nullptr;
    std::unique_ptr<WindowList> windowList = nullptr;
    PowerSystem* powerSystem = nullptr;
    // The mirror's display connections and the desktop's monitors and pointer; without them, the
    // X display's on a real desktop and none on the offscreen platform.
    FrameDeviceFactory* frameDevices = nullptr;
    std::unique_ptr<DesktopDisplay> desktopDisplay = nullptr;
  };

  explicit TVX710MainWindow(Options options);
  ~TVX710MainWindow() override;

  // --- Services for the subsystems (main thread) ---
  EventLog& eventLog() { return eventLog_; }
  OverlayMessage& overlay() { return overlay_; }
  ErrorReporter& errors() { return errorBox_; }
  MainThread& mainThread() { return mainThread_; }
  ShellControls& controls() { return controls_; }
  DisplaySettings& display() { return display_; }
  Clock& clock() { return clock_; }
  bool loadingSettings() const { return settings_.LoadingSettings(); }

  // The display-mirror mode: returns the previous value; a new value goes into the DisplayMode
  // field, starts or stops the mirror and is saved; the same value changes nothing.
  bool SetDisplayMode(bool on);
  void UpdateDisplayThread(bool run);
  bool CanShowDisplay() const;
  DisplayMirror& mirror() { return *mirror_; }
  ClickForwarding& clickForwarding() { return *clicks_; }
  // The desktop's monitors in device pixels (Qt's screens on the offscreen platform).
  std::vector<MonitorRect> Monitors();
  // The click hook: installed at creation unless the first argument is "-noclick".
  void InstallClickHook();
  void RemoveClickHook();
  bool ClickHookInstalled() const { return clickHook_ != nullptr; }
  // WM_MIRROR_CLICK.
  void HandleMirrorClick(int32_t x, int32_t y);

  void WriteLog(const std::string& message) { eventLog_.WriteLog(message); }
  void ShowOverlayMessage(const std::string& text, int32_t seconds);
  void ExpireOverlayMessage();
  // Any thread, any paint target: the overlay centred in left .. left + width, its top at top.
  void DrawOverlayMessage(QPainter& painter, int left, int width, int top) const;
  // A file that cannot be written is reported (IniWriteError) when the writer has tried.
  void SaveSettings();
  // Waits until the settings and log files hold what was handed to the writer, and reports
  // failed writes. The program waits for the disk only here, at close.
  void FlushFiles();

  // --- Handlers; each event runs its handler through the error handling ---
  void FormCreate();
  void FormClose();
  void FormResize();
  void FormShow();
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
  // Port events (main thread, delivered by the port's event thread).
  void commRxChar(int32_t count);
  void commCTSDSRChange();
  // crashHandler's events: every exception examined on the main thread goes into the log.
  void crashHandlerNativeException(TclExceptWatcher& Sender, const TclExceptionObject* E,
                                   const TclExceptionInformation& EI, TclStackTracer& StackTracer);
  void crashHandlerSystemException(TclExceptWatcher& Sender, const TclExceptionInformation& EI,
                                   TclStackTracer& StackTracer);
  // The exception report: header, class line (with E), code, flags, address and the stack, all
  // lines in one write of the log. A report of an exception that ends the program is on the
  // disk before it returns.
  void WriteExceptionReport(const TclExceptionObject* E, const TclExceptionInformation& EI,
                            TclStackTracer& StackTracer);
  // The controller is attached: a crash puts its fans to full speed from now on.
  void ArmControllerSafeState();
  // No attached controller (before its port closes): a crash writes to no port.
  void DisarmControllerSafeState();

  // --- Widgets, named as their objectName ---
  // pc, the page control that holds every other widget, is declared last (see below).
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
  // The controller link's state on the Status page ("VX710 attached", "Cannot open ...").
  QLabel* lbLinkStatus = nullptr;
  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
  // Single shot at the link's next timed handshake step (ArmLinkStep).
  QTimer* linkStepTimer = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // SettingsWindow
  WindowPlacement Placement() const override;
  void ApplyBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void ApplyWindowState(int32_t windowState) override;
  void PostStartMinimized() override;
  void ApplyBorderStyle(int32_t borderStyle) override;
  void ShowSpeedFanName(size_t sensor, const std::string& name) override;

  // main_window_wiring.cpp
  void ConfigureComm();
  void WireSubsystems();
  void UnwireSubsystems();
  FanControls MakeFanControls();

  // main_window_pages.cpp
  void BuildPages();
  QWidget* BuildStatusPage();
  QWidget* BuildFanPage(bool rear);
  QWidget* BuildSpeedFanPage();
  QWidget* BuildSettingsPages();
  // The settings pages of PageControlEx1, added in this order.
  void BuildWindowSettingsPage();
  void BuildDisplaySettingsPage();
  void BuildHomeSettingsPage();
  void BuildPowerOffSettingsPage();
  void BuildKeyRepeatSettingsPage();
  void BuildVolumeSettingsPage();

  // The settings controls with a handler of their own (the others run OnChange).
  std::array<std::pair<ControlModel*, void (TVX710MainWindow::*)()>, 6> OwnHandlers();
  void WireHandlers();
  // Sets linkStepTimer to the link's next timed step, or stops it when none is pending.
  void ArmLinkStep();
  void RunPendingCalls();
  // main_window_mirror.cpp
  void CreateMirror();
  // The client area's size, screen position and native window for the mirror thread.
  void UpdateClientArea();
  template <typename Handler>
  void Handle(Handler&& handler) {
    RunHandler(errorBox_, std::forward<Handler>(handler));
  }

  Options options_;
  Clock& clock_;
  MainThread mainThread_;
  FileWriter fileWriter_;
  EventLog eventLog_;
  ErrorBox errorBox_;

 public:
  // The exception watcher, active on the main thread while the window exists; after the log
  // that it reports into.
  TclExceptWatcher crashHandler;

 private:
  OverlayMessage overlay_;
  ShellControls controls_;
  DisplaySettings display_;
  SettingsStore settings_;
  std::unique_ptr<QtLogView> logView_;
  bool closed_ = false;
  // Minimised as the last window state change said (changeEvent).
  bool minimizedSeen_ = false;

  WindowLinkActions linkActions_{*this};
  StatusLabels statusLabels_{*this};
  LinkFanChannel fanChannel_{*this};
  LinkPowerControl linkControl_{*this};
  WindowPowerOffAction powerOffAction_{*this};
  WindowMirrorAdapter mirrorWindow_{*this};
  WindowClickAdapter clickWindow_{*this};

  // --- The subsystems, in start-up order, after the shell's services they use ---
 public:
  TComPort comm;
  FanState fans;
  ControllerLink link;
  FanRegulation regulation;
  VolumeKnob knob;
  KeyServer keyServer;

 private:
  std::unique_ptr<ProcessControl> processControl_;
  std::unique_ptr<WindowList> windowList_;
  // Null when Options gave a power system.
  std::unique_ptr<WatchedPowerSystem> ownPowerSystem_;
  PowerSystem& powerSystem_;

 public:
  MediaPortalLauncher launcher;
  KeyDispatch keyDispatch;
  PowerControl power;
  // Started by FormCreate from the settings.
  KeyOutputs keyOutputs;

 private:
  // The display mirror and click forwarding (stopped and removed first when the window goes).
  ClientArea client_;
  std::unique_ptr<FrameDeviceFactory> ownFrameDevices_;
  std::unique_ptr<DesktopDisplay> desktop_;
  QtFrameOverlay frameOverlay_{overlay_};
  // Clicks go nowhere without a desktop.
  NoPointerInjector noPointer_;
  std::unique_ptr<DisplayMirror> mirror_;
  std::unique_ptr<ClickForwarding> clicks_;
  std::unique_ptr<MirrorClickFilter> clickHook_;

 public:
  // Last, so that the widgets go first, while the control models they are bound to and the
  // subsystems they show still exist.
  std::unique_ptr<TPageControlEx> pc;
};

}  // namespace trellon
