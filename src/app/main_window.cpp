#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "app/command_line.h"
#include "app/control_binding.h"
#include "app/monitors.h"
#include "app/overlay_painter.h"
#include "app/page_control_ex.h"
#include "app/paint_box.h"
#include "app/television_style.h"
#include "crash/exception_report.h"

namespace trellon {
namespace {

// X11 keeps window positions in 16 bits.
constexpr int32_t kPositionLimit = 30000;

}  // namespace

TVX710MainWindow::TVX710MainWindow(Options options)
    : QWidget(nullptr),
      options_(std::move(options)),
      clock_(options_.clock),
      fileWriter_(mainThread_, errorBox_),
      eventLog_(clock_, fileWriter_, options_.logPath, LogTimeFormat(options_.logLocale.c_str()),
                options_.logEcho),
      errorBox_(eventLog_, options_.boxes, kApplicationTitle),
      overlay_(clock_),
      settings_(options_.settingsPath, fileWriter_, controls_, display_, *this, errorBox_),
      comm(options_.commDevice ? std::move(options_.commDevice) : CreateCommDevice(), mainThread_,
           errorBox_),
      link(comm, linkActions_, clock_, eventLog_),
      regulation(fans, MakeFanControls(), options_.speedFanView, fanChannel_, statusLabels_),
      knob(comm, controls_.edVolumeControlStretch, linkActions_),
      keyServer(eventLog_, options_.keyServerPort),
      processControl_(options_.processControl ? std::move(options_.processControl)
                                              : CreateProcessControl()),
      windowList_(options_.windowList ? std::move(options_.windowList) : CreateWindowList()),
      ownPowerSystem_(options_.powerSystem ? nullptr : CreatePowerSystem(eventLog_, errorBox_)),
      powerSystem_(options_.powerSystem ? *options_.powerSystem : *ownPowerSystem_),
      launcher({controls_.cbHomeStart, controls_.cbHomeClose, controls_.edHomeClose,
                controls_.cbHomeKill, controls_.edHomeKill, controls_.edHomeMediaPortal},
               *processControl_, *windowList_, overlay_),
      keyDispatch(clock_, controls_.edRepeatDead, controls_.edRepeatFirst, controls_.edRepeatNext,
                  launcher, keyServer, powerOffAction_),
      power(clock_, controls_.cbPowerOffStopHome, controls_.rbPowerOffDo, keyDispatch, keyDispatch,
            powerSystem_, linkControl_, overlay_, eventLog_),
      keyOutputs(keyDispatch, eventLog_) {
  // The program's one window brings its look to the whole application (its message boxes too).
  if (!qobject_cast<TelevisionStyle*>(QApplication::style())) ApplyTelevisionLook();
  crashHandler.OnNativeException = [this](TclExceptWatcher& sender, const TclExceptionObject* e,
                                          const TclExceptionInformation& ei,
                                          TclStackTracer& tracer) {
    crashHandlerNativeException(sender, e, ei, tracer);
  };
  crashHandler.OnSystemException =
      [this](TclExceptWatcher& sender, const TclExceptionInformation& ei, TclStackTracer& tracer) {
        crashHandlerSystemException(sender, ei, tracer);
      };
  setObjectName(QStringLiteral("VX710MainWindow"));
  setWindowTitle(QString::fromLatin1(kCaption));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(kFontPixels);
  setFont(font);
  setPalette(TelevisionStyle::Palette());
  setAutoFillBackground(true);
  resize(kClientWidth, kClientHeight);

  BuildPages();
  logView_ = std::make_unique<QtLogView>(*log);
  eventLog_.SetView(logView_.get());
  overlay_.SetRepaint([this] { PaintBox1->update(); });

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kTimer1Interval);
  // The link's handshake steps are timed against this tick.
  Timer1->setTimerType(Qt::PreciseTimer);
  // And against this one, set to each step's due time: the hellos keep their spacing from the
  // frame before, however late a tick comes and however long opening the port took.
  linkStepTimer = new QTimer(this);
  linkStepTimer->setObjectName(QStringLiteral("linkStepTimer"));
  linkStepTimer->setSingleShot(true);
  linkStepTimer->setTimerType(Qt::PreciseTimer);
  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(kTimer2Interval);
  WireHandlers();
  ConfigureComm();
  WireSubsystems();

  // Serial events and other worker calls reach the main thread through the Qt loop.
  mainThread_.SetWakeUp([this] {
    QMetaObject::invokeMethod(
        this, [this] { RunPendingCalls(); }, Qt::QueuedConnection);
  });

  CreateMirror();
  Handle([this] { FormCreate(); });
}

TVX710MainWindow::~TVX710MainWindow() {
  // The mirror thread draws into this window and reads its fields: it goes first.
  RemoveClickHook();
  clicks_.reset();
  mirror_.reset();
  // The subsystems go before the window's services and widgets; an open port is closed first, while
  // everything its close notifications reach still exists.
  UnwireSubsystems();
  crashHandler.SetActive(false);
  // The port's last lines are in the log now.
  FlushFiles();
  mainThread_.SetWakeUp(nullptr);
  eventLog_.SetView(nullptr);
  overlay_.SetRepaint(nullptr);
  // The widgets (pc, the first member to go) must not run handlers during their destruction.
  for (ControlModel* control : controls_.SharedChangeControls()) control->SetOnChange(nullptr);
  for (const auto& [control, handler] : OwnHandlers()) control->SetOnChange(nullptr);
}

std::array<std::pair<ControlModel*, void (TVX710MainWindow::*)()>, 6>
TVX710MainWindow::OwnHandlers() {
  return {{{&controls_.cbWindowBorder, &TVX710MainWindow::cbWindowBorderClick},
           {&controls_.cbDisplayHighQuality, &TVX710MainWindow::cbDisplayHighQualityClick},
           {&controls_.cbDisplayBufferedCopy, &TVX710MainWindow::cbDisplayBufferedCopyClick},
           {&controls_.cbDisplayTargetDirectAccess,
            &TVX710MainWindow::cbDisplayTargetDirectAccessClick},
           {&controls_.edDisplayTimer, &TVX710MainWindow::edDisplayTimerChange},
           {&controls_.edDisplayNr, &TVX710MainWindow::edDisplayNrChange}}};
}

void TVX710MainWindow::WireHandlers() {
  for (ControlModel* control : controls_.SharedChangeControls()) {
    control->SetOnChange([this] { OnChange(); });
  }
  for (const auto& [control, handler] : OwnHandlers()) {
    control->SetOnChange([this, handler = handler] { (this->*handler)(); });
  }

  connect(pc.get(), &QTabWidget::currentChanged, this, [this] { Handle([this] { pcChange(); }); });
  connect(Timer1, &QTimer::timeout, this, [this] {
    Handle([this] { Timer1Timer(); });
    ArmLinkStep();
  });
  connect(linkStepTimer, &QTimer::timeout, this, [this] {
    Handle([this] { link.RunDueStep(); });
    ArmLinkStep();
  });
  connect(Timer2, &QTimer::timeout, this, [this] { Handle([this] { Timer2Timer(); }); });
}

void TVX710MainWindow::ArmLinkStep() {
  const std::optional<uint32_t> due = link.NextStepDue();
  if (!due || closed_) {
    linkStepTimer->stop();
    return;
  }
  const uint32_t now = clock_.TickCount();
  linkStepTimer->start(TickReached(now, *due) ? 0 : static_cast<int>(*due - now));
}

void TVX710MainWindow::FormCreate() {
  eventLog_.Load();
  WriteLog(std::string(60, '-'));
  WriteLog("Creating...");
  LogMonitors();
  if (desktop_) {
    for (const std::string& note : CheckMirrorDisplay()) WriteLog(note);
  }
  // The click hook, unless the first argument is exactly "-noclick".
  if (!HasNoClickArgument(options_.arguments)) InstallClickHook();
  overlay_.SetOverlayFont({font().family().toStdString(), font().pixelSize()});
  const int32_t activePageIndex = settings_.ReadSettings();
  settings_.FinishLoading();
  if (options_.keyOutputs) {
    // Read on their own: the settings store never writes these keys, so the file keeps them.
    IniFile ini(options_.settingsPath);
    ini.Load(fileWriter_);
    keyOutputs.Start(
        ReadKeyOutputSettings(ini, SettingsStore::kSection, options_.defaultLircSocket));
  }
  // The temperatures shown (-1), the fans (nothing sent, duty 0), the knob (no phase yet), the
  // key server's clients and the delayed-key queue (none) start that way when they are built.
  // Power notifications from now on: the log is loaded, and the link they act on exists.
  if (ownPowerSystem_) {
    ownPowerSystem_->Start([this](uint32_t eventCode) { power.PowerBroadcast(eventCode); });
  }
  // The first link tick opens the port.
  link.SetLinkState(LinkState::Opening);
  Timer1->start();
  Timer2->start();
  {
    const QSignalBlocker quiet(pc.get());
    pc->setCurrentIndex(activePageIndex);
  }
  // A failing page change (a settings file that cannot be written) is reported and start-up
  // goes on.
  Handle([this] { pcChange(); });
  WriteLog("Created...");
}

void TVX710MainWindow::LogMonitors() {
  const std::vector<MonitorRect> monitors = Monitors();
  for (size_t n = 0; n < monitors.size(); ++n) WriteLog(MonitorLogLine(n, monitors[n]));
  controls_.edDisplayNr.SetMaxValue(
      std::max<int32_t>(0, static_cast<int32_t>(monitors.size()) - 1));
}

void TVX710MainWindow::FormClose() {
  WriteLog("Closing...");
  RemoveClickHook();
  UpdateDisplayThread(false);
  // A failed detach (the device is gone) is reported, and the shutdown goes on.
  if (comm.Connected()) Handle([this] { link.DetachController(); });
  Timer1->stop();
  linkStepTimer->stop();
  Timer2->stop();
  hide();
  keyDispatch.ClearDelayedKeys();
  if (keyServer.ClientCount() > 0) {
    options_.boxes.ShowMessageBox(kApplicationTitle, kClientsWarning);
  }
  FlushFiles();
}

void TVX710MainWindow::SaveSettings() {
  settings_.SaveSettings();
}

void TVX710MainWindow::FlushFiles() {
  fileWriter_.Flush();
}

void TVX710MainWindow::ShowOverlayMessage(const std::string& text, int32_t seconds) {
  overlay_.ShowOverlayMessage(text, seconds);
}

void TVX710MainWindow::ExpireOverlayMessage() {
  overlay_.ExpireOverlayMessage();
}

void TVX710MainWindow::DrawOverlayMessage(QPainter& painter, int left, int width, int top) const {
  trellon::DrawOverlayMessage(painter, overlay_, left, width, top);
}

void TVX710MainWindow::PaintBox1Paint(QPainter& painter) {
  DrawOverlayMessage(painter, 0, PaintBox1->width(), 20);
}

void TVX710MainWindow::pcChange() {
  // The Display page is bare: the tabs go and the black client area is the mirror's.
  const bool displayPage = pc->currentWidget() == tsDisplay;
  if (displayPage) pc->hide();
  UpdateDisplayThread(display_.DisplayMode && displayPage);
  SaveSettings();
}

void TVX710MainWindow::FormResize() {
  SaveSettings();
  UpdateDisplayThread(display_.DisplayMode);
}

void TVX710MainWindow::cbWindowBorderClick() {
  ApplyBorderStyle(controls_.cbWindowBorder.Checked() ? 2 : 0);
  SaveSettings();
}

void TVX710MainWindow::OnChange() {
  SaveSettings();
}

void TVX710MainWindow::Timer1Timer() {
  link.Timer1Timer();
  if (!link.IsAttached()) DisarmControllerSafeState();
}

void TVX710MainWindow::Timer2Timer() {
  ExpireOverlayMessage();
  regulation.Timer2Timer();
}

void TVX710MainWindow::commRxChar(int32_t count) {
  link.commRxChar(count);
}

void TVX710MainWindow::commCTSDSRChange() {
  knob.commCTSDSRChange();
}

void TVX710MainWindow::crashHandlerNativeException(TclExceptWatcher&, const TclExceptionObject* E,
                                                   const TclExceptionInformation& EI,
                                                   TclStackTracer& StackTracer) {
  WriteExceptionReport(E, EI, StackTracer);
}

void TVX710MainWindow::crashHandlerSystemException(TclExceptWatcher&,
                                                   const TclExceptionInformation& EI,
                                                   TclStackTracer& StackTracer) {
  WriteExceptionReport(nullptr, EI, StackTracer);
}

void TVX710MainWindow::WriteExceptionReport(const TclExceptionObject* E,
                                            const TclExceptionInformation& EI,
                                            TclStackTracer& StackTracer) {
  ExceptionReportInput report;
  report.object = E;
  report.information = &EI;
  report.frames = &StackTracer.GetStackFrames(EI);
  eventLog_.WriteLogLines(FormatExceptionReport(report));
  if (EI.Unhandled) FlushFiles();
}

void TVX710MainWindow::ArmControllerSafeState() {
  if (options_.faultReporting) options_.faultReporting->SetControllerPort(comm.NativeHandle());
}

void TVX710MainWindow::DisarmControllerSafeState() {
  if (options_.faultReporting) options_.faultReporting->SetControllerPort(-1);
}

void TVX710MainWindow::ApplicationEvents1Minimize() {
  FormResize();
}

void TVX710MainWindow::ApplicationEvents1Restore() {
  FormResize();
}

void TVX710MainWindow::StartMinimized() {
  setWindowState(windowState() | Qt::WindowMinimized);
}

void TVX710MainWindow::cbDisplayHighQualityClick() {
  display_.DisplayHighQuality = controls_.cbDisplayHighQuality.Checked();
  SaveSettings();
}

void TVX710MainWindow::cbDisplayBufferedCopyClick() {
  display_.DisplayBufferedCopy = controls_.cbDisplayBufferedCopy.Checked();
  SaveSettings();
}

void TVX710MainWindow::cbDisplayTargetDirectAccessClick() {
  display_.DisplayTargetDirectAccess = controls_.cbDisplayTargetDirectAccess.Checked();
  SaveSettings();
}

void TVX710MainWindow::edDisplayTimerChange() {
  display_.DisplayTimer = controls_.edDisplayTimer.Value();
  SaveSettings();
}

void TVX710MainWindow::edDisplayNrChange() {
  display_.DisplayNr = settings_.DisplayNrInRange(controls_.edDisplayNr.Value());
  SaveSettings();
}

void TVX710MainWindow::RunPendingCalls() {
  // A failing call is reported; the calls queued behind it still run.
  bool done = false;
  while (!done) {
    Handle([&] {
      mainThread_.RunPending();
      done = true;
    });
  }
}

// --- Window events ---

void TVX710MainWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    Handle([this] { FormClose(); });
  }
  event->accept();
}

void TVX710MainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (!closed_) Handle([this] { FormResize(); });
}

void TVX710MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!closed_) Handle([this] { FormResize(); });
}

void TVX710MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || closed_) return;
  // Against the state last seen here, not the event's old state: when the window manager
  // answers a minimise that came before the window was first mapped, the event's old state
  // already says minimised, and that minimise would go unsaved.
  const bool minimized = isMinimized();
  if (minimized == minimizedSeen_) return;
  minimizedSeen_ = minimized;
  if (minimized) {
    Handle([this] { ApplicationEvents1Minimize(); });
  } else {
    Handle([this] { ApplicationEvents1Restore(); });
  }
}

bool TVX710MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The overlay strip spans the Status page's width; the link status line sits at its foot.
  if (watched == tsStatus && event->type() == QEvent::Resize) {
    PaintBox1->setGeometry(0, 0, tsStatus->width(), 100);
    lbLinkStatus->setGeometry(8, tsStatus->height() - 36, tsStatus->width() - 16, 30);
  }
  return QWidget::eventFilter(watched, event);
}

// --- SettingsWindow ---

WindowPlacement TVX710MainWindow::Placement() const {
  WindowPlacement placement;
  placement.left = x();
  placement.top = y();
  placement.width = width();
  placement.height = height();
  placement.iconic = isMinimized();
  // The state the window shows when not minimised; minimising is the application's.
  placement.windowState = isMaximized() ? 2 : 0;
  placement.visible = isVisible();
  placement.borderStyle = windowFlags().testFlag(Qt::FramelessWindowHint) ? 0 : 2;
  placement.activePageIndex = pc->currentIndex();
  return placement;
}

void TVX710MainWindow::ApplyBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  // Like the desktop's own window manager, no window grows beyond the desktop.
  QSize limit(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    limit = limit.expandedTo(screen->virtualSize());
  }
  move(std::clamp(left, -kPositionLimit, kPositionLimit),
       std::clamp(top, -kPositionLimit, kPositionLimit));
  resize(std::clamp(width, 1, limit.width()), std::clamp(height, 1, limit.height()));
}

void TVX710MainWindow::ApplyWindowState(int32_t windowState) {
  Qt::WindowStates state = this->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (windowState == 1) state |= Qt::WindowMinimized;
  if (windowState == 2) state |= Qt::WindowMaximized;
  setWindowState(state);
}

void TVX710MainWindow::PostStartMinimized() {
  QMetaObject::invokeMethod(
      this, [this] { Handle([this] { StartMinimized(); }); }, Qt::QueuedConnection);
}

void TVX710MainWindow::ApplyBorderStyle(int32_t borderStyle) {
  const bool frameless = borderStyle == 0;
  if (windowFlags().testFlag(Qt::FramelessWindowHint) == frameless) return;
  // Changing the flags re-creates the native window, which hides it.
  const bool wasVisible = isVisible();
  setWindowFlag(Qt::FramelessWindowHint, frameless);
  if (wasVisible) show();
}

void TVX710MainWindow::ShowSpeedFanName(size_t sensor, const std::string& name) {
  const QString text = QString::fromStdString(name);
  tempNameLabels[2 + sensor]->setText(text);
  rearNameLabels[sensor]->setText(text);
  frontNameLabels[sensor]->setText(text);
}

}  // namespace trellon
