#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstring>
#include <iostream>
#include <memory>

#include "desktop/desktop_test_support.h"

// The desktop tests run on a private X server with openbox, started here before the one
// QApplication connects to it. Listing the tests needs neither.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  std::unique_ptr<trellon::testing::TestDesktop> desktop;
  try {
    desktop = std::make_unique<trellon::testing::TestDesktop>(true);
  } catch (const std::exception& problem) {
    std::cerr << "no test desktop: " << problem.what() << std::endl;
    return 1;
  }
  setenv("DISPLAY", desktop->DisplayName().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  // No real device for the windows made here.
  setenv("TRELLON_COM3", "/nonexistent/trellon-test-tty", 1);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Trellon"));
  // A text cursor that does not blink looks the same in every screenshot.
  QApplication::setCursorFlashTime(0);
  trellon::testing::DesktopWindowTest::desktop = desktop.get();
  const int result = RUN_ALL_TESTS();
  trellon::testing::DesktopWindowTest::desktop = nullptr;
  return result;
}
