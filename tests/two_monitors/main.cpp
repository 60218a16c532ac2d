#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <iostream>
#include <memory>

#include "two_monitors/two_monitor_desktop.h"

// The tests run on a two-monitor X server started here, before the one QApplication connects
// to it. Without the dummy video driver they skip.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  std::unique_ptr<trellon::testing::TwoMonitorDesktop> desktop;
  if (trellon::testing::TwoMonitorDesktop::Available()) {
    try {
      desktop = std::make_unique<trellon::testing::TwoMonitorDesktop>();
    } catch (const std::exception& problem) {
      std::cerr << "no two-monitor desktop: " << problem.what() << std::endl;
      return 1;
    }
    setenv("DISPLAY", desktop->DisplayName().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  setenv("TRELLON_COM3", "/nonexistent/trellon-test-tty", 1);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
