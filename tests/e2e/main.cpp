#include <gtest/gtest.h>

#include <QApplication>

// One QApplication on the offscreen platform, for the test that runs the main window in-process;
// the others start the program as a process of its own.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Trellon"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
