#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "app/event_log.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;
using test_support::ReadText;
using test_support::TemporaryDirectory;
using test_support::WaitFor;

// Starts the program headless in the folder, waits for its start-up to finish, stops it with
// the signal and returns the log's lines. With brokenStandardError, the program's standard error
// is a pipe whose reader has gone.
std::vector<std::string> RunUntilSignal(const TemporaryDirectory& folder, int signal,
                                        std::string* standardError,
                                        bool brokenStandardError = false) {
  // No real device, and the key server on a free port.
  ChildProcess::Options options{{TRELLON_EXECUTABLE}};
  if (brokenStandardError) {
    // The shell becomes the program, its standard error a pipe to a reader that ends at once.
    options.argv = {"/bin/bash", "-c", "exec \"$0\" 2> >(exec true)", TRELLON_EXECUTABLE};
  }
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                         {"TRELLON_COM3", "/nonexistent/trellon-tty"},
                         {"TRELLON_KEY_SERVER_PORT", "0"}};
  options.workingDirectory = folder.Path();
  options.errorFile = folder.File("trellon.stderr");
  ChildProcess program(options);

  // A real process: wait on the file it writes, with a generous limit.
  const std::string logPath = folder.File("Trellon.log");
  WaitFor(
      [&] {
        const std::string log = ReadText(logPath);
        // This run's start-up is done once its "Created..." follows the last run's "Closing...".
        const size_t created = log.rfind(": Created...\r\n");
        const size_t closing = log.rfind(": Closing...\r\n");
        return !program.Running() || (created != std::string::npos &&
                                      (closing == std::string::npos || created > closing));
      },
      60000);
  EXPECT_TRUE(program.Running()) << "the program stopped by itself";
  program.Signal(signal);
  EXPECT_EQ(program.WaitExit(60000), ExitStatus::Exited(0));
  if (standardError) *standardError = ReadText(folder.File("trellon.stderr"));
  return SplitLines(ReadText(logPath));
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The index of the first line from `from` on that ends with ": " + message; lines.size() if none.
size_t FindLine(const std::vector<std::string>& lines, const std::string& message,
                size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (EndsWith(lines[i], ": " + message)) return i;
  }
  return lines.size();
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

// Besides these lines the log holds what the machine gives: a line about the missing port once
// the link timer has run, and one about the system bus where there is none.
TEST(HeadlessRunTest, StartsHeadlessAndClosesInOrderOnSigtermAndSigint) {
  TemporaryDirectory folder;
  std::string standardError;
  std::vector<std::string> lines = RunUntilSignal(folder, SIGTERM, &standardError);
  ASSERT_GE(lines.size(), 5u) << standardError;
  EXPECT_TRUE(EndsWith(lines[0], ": " + std::string(60, '-')));
  EXPECT_TRUE(EndsWith(lines[1], ": Creating..."));
  EXPECT_NE(lines[2].find(": Monitor #0 @ "), std::string::npos);
  const size_t created = FindLine(lines, "Created...");
  EXPECT_LT(created, lines.size());
  EXPECT_TRUE(EndsWith(lines.back(), ": Closing...")) << "FormClose ran, and the closed port "
                                                         "was not detached";
  EXPECT_EQ(CountContaining(lines, "Exception"), 0u) << "a missing port shows no error box";
  EXPECT_LE(CountContaining(lines, "Comm: Opening port"), 1u);
  EXPECT_NE(standardError.find(": Creating...\n"), std::string::npos) << "lines echo to stderr";
  EXPECT_NE(standardError.find(": Closing...\n"), std::string::npos);
  EXPECT_NE(ReadText(folder.File("Trellon.ini")).find("[X]\nLeft=0\n"), std::string::npos);

  // A second run appends to the same log and stops the same way on Ctrl+C.
  const size_t firstRun = lines.size();
  lines = RunUntilSignal(folder, SIGINT, nullptr);
  ASSERT_GT(lines.size(), firstRun + 4);
  EXPECT_TRUE(EndsWith(lines[firstRun - 1], ": Closing..."));
  EXPECT_TRUE(EndsWith(lines[firstRun + 1], ": Creating..."));
  EXPECT_TRUE(EndsWith(lines.back(), ": Closing..."));
}

// `trellon 2>&1 | head -n1`, then the terminal closes: the echo breaks at once, the log file keeps
// every line, and the hang-up closes the program in order.
TEST(HeadlessRunTest, ABrokenStandardErrorOnlyStopsTheEchoAndAHangUpClosesInOrder) {
  TemporaryDirectory folder;
  const std::vector<std::string> lines =
      RunUntilSignal(folder, SIGHUP, nullptr, /*brokenStandardError=*/true);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_TRUE(EndsWith(lines[0], ": " + std::string(60, '-')));
  EXPECT_TRUE(EndsWith(lines[1], ": Creating..."));
  EXPECT_LT(FindLine(lines, "Created..."), lines.size());
  EXPECT_TRUE(EndsWith(lines.back(), ": Closing..."));
}

}  // namespace
}  // namespace trellon
