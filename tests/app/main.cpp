#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

// One QApplication for every test of the shell, on the offscreen platform.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The controller's port of every window made here is a path to nothing, so that no test ever
  // opens a real device; tests that need an open port give the window a fake device.
  setenv("TRELLON_COM3", "/nonexistent/trellon-test-tty", 1);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Trellon"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
