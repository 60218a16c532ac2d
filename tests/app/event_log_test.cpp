#include "app/event_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <algorithm>
#include <sstream>

#include "app/control_binding.h"
#include "base/atomic_file.h"
#include "base/clock.h"
#include "base/file_writer.h"
#include "fakes/recording_shell.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

using test_support::ReadText;
using test_support::TemporaryWorkingDirectory;
using test_support::WriteText;

double At(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
  return EncodeDateTime({year, month, day, hour, minute, second, ms});
}

TEST(LogTimeFormatTest, ShortDateAndLongTimeWithDateOnlyAtMidnight) {
  const LogTimeFormat c("C");
  EXPECT_EQ(c.Format(At(2026, 12, 7, 4, 14, 33)), "12/07/26 04:14:33");
  EXPECT_EQ(c.Format(At(2026, 12, 7, 0, 0, 0)), "12/07/26");
  EXPECT_EQ(c.Format(At(2026, 12, 7, 0, 0, 0, 999)), "12/07/26") << "milliseconds do not count";
  EXPECT_EQ(c.Format(At(2026, 12, 7, 0, 0, 1)), "12/07/26 00:00:01");
  EXPECT_EQ(c.Format(At(2026, 12, 7, 23, 59, 59)), "12/07/26 23:59:59");
  EXPECT_EQ(LogTimeFormat("no_SUCH.locale").Format(At(2026, 1, 2, 3, 4, 5)), "01/02/26 03:04:05")
      << "an unknown locale falls back to C";

  // Where the German locale is installed, it gives the format of the original logs.
  if (locale_t german = newlocale(LC_TIME_MASK, "de_DE.UTF-8", static_cast<locale_t>(0))) {
    freelocale(german);
    EXPECT_EQ(LogTimeFormat("de_DE.UTF-8").Format(At(2026, 12, 7, 4, 14, 33)),
              "07.12.2026 04:14:33");
  }
}

class EventLogTest : public ::testing::Test {
 protected:
  TemporaryWorkingDirectory folder;
  ManualClock clock{0, At(2026, 12, 7, 4, 14, 33)};
  std::ostringstream echo;
  MainThread mainThread;
  fakes::RecordingShell shell;
  FileWriter writer{mainThread, shell};
  EventLog log{clock, writer, "Trellon.log", LogTimeFormat("C"), &echo};
};

TEST_F(EventLogTest, WritesStampedLinesToFileAndStandardError) {
  log.WriteLog("Comm: Opening port");
  clock.SetNow(At(2026, 12, 8, 0, 0, 0));
  log.WriteLog("");
  ASSERT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[0], "12/07/26 04:14:33: Comm: Opening port");
  EXPECT_EQ(log.Lines()[1], "12/08/26: ") << "an empty message ends with \": \"";
  writer.Flush();
  EXPECT_EQ(ReadText("Trellon.log"), "12/07/26 04:14:33: Comm: Opening port\r\n12/08/26: \r\n");
  EXPECT_EQ(echo.str(), "12/07/26 04:14:33: Comm: Opening port\n12/08/26: \n");
  EXPECT_TRUE(log.SaveError().empty());
}

TEST_F(EventLogTest, RestartLoadsTheOldLinesAndAppends) {
  // Hand-edited files may have bare line feeds and lack the last line end.
  WriteText("Trellon.log", "old 1\r\nold 2\nold 3");
  log.Load();
  ASSERT_EQ(log.Lines().size(), 3u);
  log.WriteLog("new");
  writer.Flush();
  EXPECT_EQ(ReadText("Trellon.log"), "old 1\r\nold 2\r\nold 3\r\n12/07/26 04:14:33: new\r\n");

  EventLog missing(clock, writer, "Nothing.log", LogTimeFormat("C"), nullptr);
  missing.Load();
  EXPECT_TRUE(missing.Lines().empty());
}

TEST_F(EventLogTest, LoadsOnlyTheLast3600LinesAndCutsHugeOnes) {
  // A million lines: only the file's end is read.
  std::string content;
  for (int i = 1; i <= 1000000; ++i) content += "line " + std::to_string(i) + "\r\n";
  WriteText("Trellon.log", content);
  log.Load();
  ASSERT_EQ(log.Lines().size(), EventLog::kMaxLines);
  EXPECT_EQ(log.Lines().front(), "line 996401");
  EXPECT_EQ(log.Lines().back(), "line 1000000");
  log.WriteLog("one more");
  ASSERT_EQ(log.Lines().size(), EventLog::kMaxLines);
  EXPECT_EQ(log.Lines().front(), "line 996402");
  EXPECT_EQ(log.Lines().back(), "12/07/26 04:14:33: one more");
  writer.Flush();
  const std::string saved = ReadText("Trellon.log");
  EXPECT_EQ(saved.substr(0, 13), "line 996402\r\n");
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 3600);

  // A 20 MB line at the end is not read whole; a long line is cut between characters.
  const std::string accented = "\xC3\xA9";  // two bytes
  std::string longLine = "x";
  for (int i = 0; i < 5000; ++i) longLine += accented;
  WriteText("Trellon.log", "first\r\n" + longLine + "\r\n" + std::string(20000000, 'y') + "\r\n");
  log.Load();
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], std::string(EventLog::kMaxLoadedLineBytes, 'y'));
  WriteText("Trellon.log", "first\r\n" + longLine + "\r\n");
  log.Load();
  ASSERT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[1], longLine.substr(0, EventLog::kMaxLoadedLineBytes - 1));
}

TEST_F(EventLogTest, ThirtySixHundredAndOneCallsLeaveThirtySixHundredLines) {
  EventLog quiet(clock, writer, "Trellon.log", LogTimeFormat("C"), nullptr);
  for (int i = 1; i <= 3601; ++i) quiet.WriteLog(std::to_string(i));
  ASSERT_EQ(quiet.Lines().size(), 3600u);
  EXPECT_EQ(quiet.Lines().front(), "12/07/26 04:14:33: 2") << "the first call's line is gone";
  writer.Flush();
  const std::string saved = ReadText("Trellon.log");
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 3600);
  EXPECT_EQ(saved.substr(0, 23), "12/07/26 04:14:33: 2\r\n1");
}

TEST_F(EventLogTest, AFileThatCannotBeWrittenKeepsTheLinesAndComplainsOnlyOnce) {
  log.WriteLog("first");
  writer.Flush();
  ASSERT_EQ(chmod("Trellon.log", 0444), 0);
  echo.str("");
  log.WriteLog("second");
  writer.Flush();
  log.WriteLog("third");
  writer.Flush();
  EXPECT_EQ(log.Lines().size(), 3u) << "the lines stay in the log";
  EXPECT_FALSE(log.SaveError().empty());
  EXPECT_EQ(ReadText("Trellon.log"), "12/07/26 04:14:33: first\r\n");
  const std::string complaints = echo.str();
  EXPECT_EQ(complaints.find("cannot be written"), complaints.rfind("cannot be written"))
      << complaints;
  EXPECT_NE(complaints.find("cannot be written"), std::string::npos);

  ASSERT_EQ(chmod("Trellon.log", 0644), 0);
  log.WriteLog("fourth");
  writer.Flush();
  EXPECT_TRUE(log.SaveError().empty());
  EXPECT_EQ(ReadText("Trellon.log"),
            "12/07/26 04:14:33: first\r\n12/07/26 04:14:33: second\r\n"
            "12/07/26 04:14:33: third\r\n12/07/26 04:14:33: fourth\r\n");
}

TEST_F(EventLogTest, LineBreaksInAMessageGiveSeveralLines) {
  log.WriteLog("Exception EComPort: first\r\nsecond\nthird");
  ASSERT_EQ(log.Lines().size(), 3u);
  EXPECT_EQ(log.Lines()[0], "12/07/26 04:14:33: Exception EComPort: first");
  EXPECT_EQ(log.Lines()[2], "third");
}

TEST_F(EventLogTest, AReportsLinesAreStampedEachAndWrittenInOneGo) {
  int writes = 0;
  FileWriter counting(mainThread, shell, [&](const std::string& path, const std::string& text) {
    ++writes;
    return ReplaceFileContent(path, text);
  });
  EventLog report(clock, counting, "Trellon.log", LogTimeFormat("C"), nullptr);
  report.WriteLogLines({"Exception detected: ", "  Code : C0000005", "  Stack:"});
  counting.Flush();
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(ReadText("Trellon.log"),
            "12/07/26 04:14:33: Exception detected: \r\n12/07/26 04:14:33:   Code : C0000005\r\n"
            "12/07/26 04:14:33:   Stack:\r\n");
}

TEST_F(EventLogTest, TheMemoShowsTheLogAndWhatTheUserTypedIsKept) {
  WriteText("Trellon.log", std::string("a\r\nb\r\n"));
  QPlainTextEdit memo;
  QtLogView view(memo);
  log.SetView(&view);
  log.Load();
  EXPECT_EQ(memo.toPlainText(), "a\nb");
  log.WriteLog("c");
  EXPECT_EQ(memo.toPlainText(), "a\nb\n12/07/26 04:14:33: c");

  memo.setPlainText("typed by the user");
  log.WriteLog("d");
  ASSERT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[0], "typed by the user");
  writer.Flush();
  EXPECT_EQ(ReadText("Trellon.log"), "typed by the user\r\n12/07/26 04:14:33: d\r\n");

  // Trimming removes the same lines from the memo, which keeps no undo history of them.
  for (int i = 0; i < 3600; ++i) log.WriteLog("x");
  EXPECT_EQ(memo.document()->blockCount(), 3600);
  EXPECT_EQ(memo.document()->firstBlock().text().toStdString(), log.Lines().front());
  EXPECT_FALSE(memo.document()->isUndoAvailable());
  EXPECT_EQ(memo.document()->availableUndoSteps(), 0);

  // What the user pastes stays within the limit too.
  memo.setPlainText(QString(QStringLiteral("pasted\n")).repeated(5000));
  EXPECT_EQ(memo.document()->blockCount(), 3600);
  log.WriteLog("e");
  EXPECT_EQ(log.Lines().size(), 3600u);
  EXPECT_EQ(memo.document()->blockCount(), 3600);
  EXPECT_EQ(memo.document()->lastBlock().text().toStdString(), "12/07/26 04:14:33: e");
  log.SetView(nullptr);
}

TEST(SplitLinesTest, EndsOfLine) {
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
  EXPECT_EQ(SplitLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\rb\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitLines("\n"), std::vector<std::string>{""});
}

}  // namespace
}  // namespace trellon
