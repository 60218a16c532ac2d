#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>

#include "app/event_log.h"
#include "test_support.h"

namespace trellon {
namespace {

using testing::ReadText;
using testing::TemporaryWorkingDirectory;

// Starts the program headless in the folder, waits for its start-up to finish, stops it with
// the signal and returns the log's lines.
std::vector<std::string> RunUntilSignal(const TemporaryWorkingDirectory& folder, int signal,
                                        std::string* standardError) {
  QProcess program;
  program.setWorkingDirectory(QString::fromStdString(folder.Path()));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  // No real device, and the key server on a free port.
  environment.insert(QStringLiteral("TRELLON_COM3"), QStringLiteral("/nonexistent/trellon-tty"));
  environment.insert(QStringLiteral("TRELLON_KEY_SERVER_PORT"), QStringLiteral("0"));
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(TRELLON_EXECUTABLE), {});
  EXPECT_TRUE(program.waitForStarted(30000));

  // A real process: wait on the file it writes, with a generous limit.
  const std::string logPath = folder.File("Trellon.log");
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 60000 && program.state() == QProcess::Running) {
    const std::string log = ReadText(logPath);
    // This run's start-up is done once its "Created..." follows the last run's "Closing...".
    const size_t created = log.rfind(": Created...\r\n");
    const size_t closing = log.rfind(": Closing...\r\n");
    if (created != std::string::npos && (closing == std::string::npos || created > closing)) break;
    QThread::msleep(20);
  }
  EXPECT_EQ(program.state(), QProcess::Running) << "the program stopped by itself";
  ::kill(static_cast<pid_t>(program.processId()), signal);
  EXPECT_TRUE(program.waitForFinished(60000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  if (standardError) *standardError = program.readAllStandardError().toStdString();
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
  TemporaryWorkingDirectory folder;
  ASSERT_TRUE(folder.Ok());
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

}  // namespace
}  // namespace trellon
