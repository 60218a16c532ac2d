#include "app/error_box.h"

#include <gtest/gtest.h>

#include <stdexcept>

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
  ErrorBox errorBox(shell, boxes, "Trellon");
  // The box's modal loop keeps the timers running; their handlers fail as well.
  boxes.onShow = [&] {
    EXPECT_TRUE(errorBox.BoxOpen());
    RunHandler(errorBox, [] { throw EComPort("second"); });
    RunHandler(errorBox, [] { throw EComPort("third"); });
  };
  RunHandler(errorBox, [] { throw EComPort("first"); });
  EXPECT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{"Exception EComPort: first", "Exception EComPort: second",
                                      "Exception EComPort: third"}));
  boxes.onShow = nullptr;
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

}  // namespace
}  // namespace trellon
