#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/crash_reporting.h"
#include "app/main_window.h"
#include "app/qt_message_box_presenter.h"
#include "app/stop_signals.h"
#include "base/clock.h"
#include "fans/speedfan_view.h"
#include "remote/lirc_server.h"

int main(int argc, char** argv) {
  // The program started as its own crash helper (below) does only that.
  if (const auto helperExit = trellon::RunCrashHelperIfAsked(argc, argv)) return *helperExit;
  trellon::IgnoreBrokenPipes();
  // The log's time stamps follow the user's regional date and time formats.
  std::setlocale(LC_TIME, "");
  // Only the first argument counts, as given: Qt removes the options it knows from argv.
  const std::vector<std::string> arguments(argv, argv + argc);
  // Answered without a display or a window.
  if (const std::optional<std::string> answer = trellon::CommandLineAnswer(arguments)) {
    std::cout << *answer << std::flush;
    return 0;
  }
  const std::string logPath = "Trellon.log";
  // Before Qt and before any thread: a fault anywhere from now on is reported in the log.
  const std::unique_ptr<trellon::FaultReporting> faultReporting =
      trellon::StartCrashReporting(logPath);

  QApplication application(argc, argv);
  QApplication::setApplicationName(
      QString::fromLatin1(trellon::TVX710MainWindow::kApplicationTitle));

  trellon::TVX710MainWindow* window = nullptr;
  bool stopRequested = false;
  // SIGTERM, SIGINT and SIGHUP close the window in order, like the user closing it. Every event
  // loop is told to end first, so an open message box ends too, and a box that the close itself
  // shows (the key server's clients warning) returns at once instead of waiting for nobody.
  trellon::StopSignals stopSignals([&window, &stopRequested] {
    stopRequested = true;
    QCoreApplication::exit(0);
    if (window) window->close();
  });

  std::string portProblem;
  const uint16_t keyServerPort =
      trellon::KeyServerPortSetting(std::getenv(trellon::kKeyServerPortVariable), portProblem);
  if (!portProblem.empty()) std::cerr << "Trellon: " << portProblem << std::endl;

  // SpeedFan's block is opened before the window exists and closed after it is gone.
  trellon::SharedMemorySpeedFanView speedFanView;
  if (!speedFanView.IsOpen()) {
    std::cerr << "Trellon: no SpeedFan temperatures (" << speedFanView.Error() << ")" << std::endl;
  }

  // Log lines echo to standard error. Once its reader is gone, a write fails and leaves the
  // stream failed, so the echo stops there; the log file goes on.
  trellon::SystemClock clock;
  trellon::QtMessageBoxPresenter boxes;
  auto mainWindow = std::make_unique<trellon::TVX710MainWindow>(
      trellon::TVX710MainWindow::Options{.clock = clock,
                                         .boxes = boxes,
                                         .speedFanView = speedFanView,
                                         .arguments = arguments,
                                         .settingsPath = "Trellon.ini",
                                         .logPath = logPath,
                                         .logEcho = &std::cerr,
                                         .logLocale = "",
                                         .keyServerPort = keyServerPort,
                                         .keyOutputs = true,
                                         .defaultLircSocket = trellon::DefaultLircSocketPath(),
                                         .faultReporting = faultReporting.get()});
  window = mainWindow.get();
  // A stop that came while start-up ran an event loop of its own must not be lost.
  if (stopRequested) {
    window->close();
    window = nullptr;
    return 0;
  }
  window->show();
  const int result = QApplication::exec();
  window = nullptr;
  mainWindow.reset();
  return result;
}
