#include "app/error_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "app/qt_message_box_presenter.h"
#include "base/ini_file.h"
#include "fakes/app/fake_message_box.h"
#include "fakes/recording_shell.h"

namespace trellon {
namespace {

class EComPort : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

TEST(ErrorBoxTest, LogsTheReportThenShowsTheMessage) {
  fakes::RecordingShell shell;
  fakes::RecordingMessageBoxes boxes;
  ErrorBox errorBox(shell, boxes, "Trellon");
  RunHandler(errorBox, [] { throw EComPort("Could not open port COM3"); });
  ASSERT_EQ(shell.logLines.size(), 1u);
  EXPECT_EQ(shell.logLines[0], "Exception EComPort: Could not open port COM3");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].error);
  EXPECT_EQ(boxes.boxes[0].caption, "Trellon");
  EXPECT_EQ(boxes.boxes[0].text, "Could not open port COM3");
  EXPECT_FALSE(errorBox.BoxOpen());

  // The program runs on: the next error gets its own box.
  RunHandler(errorBox, [] { throw IniWriteError("Cannot write the settings file"); });
  EXPECT_EQ(shell.logLines.back(), "Exception IniWriteError: Cannot write the settings file");
  EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST(ErrorBoxTest, ErrorsWhileTheBoxIsOpenAreOnlyLogged) {
  fakes::RecordingShell shell;
  fakes::RecordingMessageBoxes boxes;
  boxes.keepErrorBoxesOpen = true;
  ErrorBox errorBox(shell, boxes, "Trellon");
  RunHandler(errorBox, [] { throw EComPort("first"); });
  EXPECT_TRUE(errorBox.BoxOpen());
  // Timers and handlers run on while the box is open; their failures are only logged.
  RunHandler(errorBox, [] { throw EComPort("second"); });
  RunHandler(errorBox, [] { throw EComPort("third"); });
  EXPECT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{"Exception EComPort: first", "Exception EComPort: second",
                                      "Exception EComPort: third"}));
  boxes.DismissErrorBox();
  EXPECT_FALSE(errorBox.BoxOpen());
  RunHandler(errorBox, [] { throw EComPort("after"); });
  EXPECT_EQ(boxes.boxes.size(), 2u) << "once the box is closed the next one is shown";
}

TEST(ErrorBoxTest, AnExceptionWithoutMessageShowsItsClass) {
  fakes::RecordingShell shell;
  fakes::RecordingMessageBoxes boxes;
  ErrorBox errorBox(shell, boxes, "Trellon");
  RunHandler(errorBox, [] { throw EComPort(""); });
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "EComPort");
  RunHandler(errorBox, [] { throw 42; });
  EXPECT_EQ(shell.logLines.back(), "Exception int: Unknown exception");
}

std::vector<QMessageBox*> VisibleBoxes() {
  std::vector<QMessageBox*> boxes;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box && box->isVisible()) boxes.push_back(box);
  }
  return boxes;
}

void PumpUntil(const std::function<bool()>& done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 5000) QApplication::processEvents();
}

// Qt never runs a timer's handler again while it runs: a box that waited inside the handler
// would stop that timer (the link tick) until the user came.
TEST(QtErrorBoxTest, ABoxRaisedInATimerHandlerHoldsUpNoTimer) {
  fakes::RecordingShell shell;
  QtMessageBoxPresenter presenter;
  ErrorBox errorBox(shell, presenter, "Trellon");
  int ticks = 0;
  bool returnedWithTheBoxOpen = false;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    if (ticks == 1 || ticks == 3) {
      RunHandler(errorBox, [&] { throw EComPort("tick " + std::to_string(ticks)); });
    }
    if (ticks == 1) returnedWithTheBoxOpen = VisibleBoxes().size() == 1;
  });
  // A box that waits in the handler is closed after a while, so that this fails, not hangs.
  QTimer rescue;
  rescue.setInterval(5000);
  QObject::connect(&rescue, &QTimer::timeout, [] {
    for (QMessageBox* box : VisibleBoxes()) box->close();
  });
  rescue.start();
  timer.start();
  PumpUntil([&] { return ticks >= 10; });
  timer.stop();

  EXPECT_TRUE(returnedWithTheBoxOpen);
  EXPECT_GE(ticks, 10);
  std::vector<QMessageBox*> boxes = VisibleBoxes();
  ASSERT_EQ(boxes.size(), 1u) << "the error of tick 3 is only logged";
  EXPECT_EQ(boxes[0]->text(), "tick 1");
  EXPECT_EQ(boxes[0]->windowTitle(), "Trellon");
  EXPECT_EQ(boxes[0]->icon(), QMessageBox::Critical);
  EXPECT_EQ(boxes[0]->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{"Exception EComPort: tick 1", "Exception EComPort: tick 3"}));

  // Dismissed, it makes room for the next error's box.
  boxes[0]->button(QMessageBox::Ok)->click();
  PumpUntil([] { return VisibleBoxes().empty(); });
  EXPECT_FALSE(errorBox.BoxOpen());
  RunHandler(errorBox, [] { throw EComPort("later"); });
  boxes = VisibleBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]->text(), "later");
  rescue.stop();
}

}  // namespace
}  // namespace trellon
