#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

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
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(TRELLON_EXECUTABLE), {});
  EXPECT_TRUE(program.waitForStarted(30000));

  // A real process: wait on the file it writes, with a generous limit.
  const std::string logPath = folder.File("Trellon.log");
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 60000 && program.state() == QProcess::Running) {
    const std::string log = ReadText(logPath);
    if (log.size() >= 12 && log.compare(log.size() - 12, 12, "Created...\r\n") == 0) break;
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

TEST(HeadlessRunTest, StartsHeadlessAndClosesInOrderOnSigtermAndSigint) {
  TemporaryWorkingDirectory folder;
  ASSERT_TRUE(folder.Ok());
  std::string standardError;
  std::vector<std::string> lines = RunUntilSignal(folder, SIGTERM, &standardError);
  ASSERT_EQ(lines.size(), 5u) << standardError;
  EXPECT_TRUE(EndsWith(lines[1], ": Creating..."));
  EXPECT_NE(lines[2].find(": Monitor #0 @ "), std::string::npos);
  EXPECT_TRUE(EndsWith(lines[3], ": Created..."));
  EXPECT_TRUE(EndsWith(lines[4], ": Closing...")) << "FormClose ran";
  EXPECT_NE(standardError.find(": Creating...\n"), std::string::npos) << "lines echo to stderr";
  EXPECT_NE(standardError.find(": Closing...\n"), std::string::npos);
  EXPECT_NE(ReadText(folder.File("Trellon.ini")).find("[X]\nLeft=0\n"), std::string::npos);

  // A second run appends to the same log and stops the same way on Ctrl+C.
  lines = RunUntilSignal(folder, SIGINT, nullptr);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_TRUE(EndsWith(lines[4], ": Closing..."));
  EXPECT_TRUE(EndsWith(lines[6], ": Creating..."));
  EXPECT_TRUE(EndsWith(lines[9], ": Closing..."));
}

}  // namespace
}  // namespace trellon
