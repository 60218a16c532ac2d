#include <QApplication>
#include <clocale>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/qt_message_box_presenter.h"
#include "app/stop_signals.h"
#include "base/clock.h"

int main(int argc, char** argv) {
  // The log's time stamps follow the user's regional date and time formats.
  std::setlocale(LC_TIME, "");
  // Only the first argument counts, as given: Qt removes the options it knows from argv.
  const std::vector<std::string> arguments(argv, argv + argc);

  QApplication application(argc, argv);
  QApplication::setApplicationName(
      QString::fromLatin1(trellon::TVX710MainWindow::kApplicationTitle));

  trellon::TVX710MainWindow* window = nullptr;
  bool stopRequested = false;
  // SIGTERM and SIGINT close the window in order, like the user closing it. quit() also ends
  // the modal loop of a message box that may be open.
  trellon::StopSignals stopSignals([&window, &stopRequested] {
    stopRequested = true;
    if (window) window->close();
    QCoreApplication::quit();
  });

  trellon::SystemClock clock;
  trellon::QtMessageBoxPresenter boxes;
  auto mainWindow = std::make_unique<trellon::TVX710MainWindow>(
      trellon::TVX710MainWindow::Options{.clock = clock,
                                         .boxes = boxes,
                                         .arguments = arguments,
                                         .settingsPath = "Trellon.ini",
                                         .logPath = "Trellon.log",
                                         .logEcho = &std::cerr,
                                         .logLocale = ""});
  window = mainWindow.get();
  // A stop that came while start-up showed an error box must not be lost.
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
