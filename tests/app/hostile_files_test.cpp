#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

#include "app/main_window.h"
#include "app/page_control_ex.h"
#include "support/temporary_directory.h"
#include "window_test_support.h"

namespace trellon {
namespace {

namespace fs = std::filesystem;
using test_support::ReadText;
using test_support::WriteText;

// Start-up against settings and log files that are not what the program wrote.
class HostileFilesTest : public testing::WindowTest {
 protected:
  static size_t LinesWith(TVX710MainWindow& window, const std::string& text) {
    const std::vector<std::string> messages = Messages(window);
    return std::count_if(messages.begin(), messages.end(),
                         [&](const std::string& m) { return m.find(text) != std::string::npos; });
  }
  const std::string kRefusedSave =
      "Exception IniWriteError: Cannot write the settings file, as it cannot be read: "
      "Trellon.ini: ";
};

TEST_F(HostileFilesTest, AnOversizedSettingsFileIsSetAsideAndANewOneStarted) {
  const std::string tooLarge = "[X]\nLeft=5\n;" + std::string(2 * 1024 * 1024, '-') + "\n";
  const std::string longValue = "[X]\nLeft=5\nsfname0=" + std::string(200000, 'a') + "\n";
  for (const std::string& content : {tooLarge, longValue}) {
    WriteText("Trellon.ini", content);
    boxes.boxes.clear();
    auto window = Create();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("Cannot use the settings file Trellon.ini: ", 0), 0u);
    EXPECT_NE(
        boxes.boxes[0].text.find("; it is kept as Trellon.ini.bad, and the defaults are used"),
        std::string::npos);
    EXPECT_EQ(window->controls().sfNameEdits[0]->Text(), "0");
    window->FlushFiles();
    EXPECT_EQ(ReadText("Trellon.ini.bad"), content);
    EXPECT_EQ(ReadText("Trellon.ini").rfind("[X]\nLeft=0\nTop=0\n", 0), 0u);
  }
}

TEST_F(HostileFilesTest, AnUnreadableSettingsFileIsReportedOnceAndKeptUntilItCanBeRead) {
  // A FIFO nobody writes to, a link to an endless device, a file without read permission (for
  // root too); the log a FIFO each time.
  const std::string content = "[X]\nLeft=5\nMinr0=40\nCustom=keep me\n";
  const std::vector<std::tuple<std::function<int()>, std::string, fs::file_type>> files = {
      {[] { return mkfifo("Trellon.ini", 0600); }, "not a regular file", fs::file_type::fifo},
      {[] { return symlink("/dev/zero", "Trellon.ini"); }, "not a regular file",
       fs::file_type::symlink},
      {[&] {
         WriteText("Trellon.ini", content);
         return chmod("Trellon.ini", 0200);
       },
       "Permission denied", fs::file_type::regular}};
  std::unique_ptr<TVX710MainWindow> window;
  for (const auto& [make, reason, type] : files) {
    window.reset();
    boxes.boxes.clear();
    fs::remove("Trellon.ini");
    fs::remove("Trellon.log");
    ASSERT_EQ(make(), 0);
    ASSERT_EQ(mkfifo("Trellon.log", 0600), 0);
    window = Create();
    ASSERT_FALSE(boxes.boxes.empty());
    EXPECT_EQ(boxes.boxes[0].text, "Cannot read the settings file Trellon.ini: " + reason +
                                       "; the defaults are used, and the file is left as it is");
    EXPECT_EQ(Messages(*window)[0],
              "Cannot read the log file Trellon.log: not a regular file; the log starts empty");
    EXPECT_EQ(window->controls().minRear[0]->Value(), 35);
    // Every save fails, as for a file that cannot be written: start-up's and this one.
    window->pc->setCurrentIndex(TVX710MainWindow::kLogPage);
    window->FlushFiles();
    EXPECT_EQ(LinesWith(*window, kRefusedSave + reason), 2u);
    EXPECT_EQ(LinesWith(*window, "Cannot read the settings file"), 1u);
    EXPECT_EQ(fs::symlink_status("Trellon.ini").type(), type);
  }
  EXPECT_EQ(ReadText("Trellon.ini"), content);

  // Readable again: the next save keeps what the file holds beside the program's keys.
  ASSERT_EQ(chmod("Trellon.ini", 0600), 0);
  window->pc->setCurrentIndex(TVX710MainWindow::kSettingsPage);
  window->FlushFiles();
  const std::string saved = ReadText("Trellon.ini");
  EXPECT_EQ(saved.rfind("[X]\nLeft=5\nMinr0=35\nCustom=keep me\nTop=0\n", 0), 0u) << saved;
  EXPECT_NE(saved.find("\nActivePageIndex=3\n"), std::string::npos);
}

}  // namespace
}  // namespace trellon
