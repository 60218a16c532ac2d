#include "app/command_line.h"

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;

TEST(CommandLineAnswerTest, HelpAndVersionAnswerOnlyAsTheExactFirstArgument) {
  const std::optional<std::string> help = CommandLineAnswer({"trellon", "--help"});
  ASSERT_TRUE(help);
  EXPECT_EQ(help->rfind("Usage: trellon [-noclick]\n", 0), 0u);
  for (const char* mentioned : {"-noclick", "--version", "Trellon.ini", "Trellon.log",
                                "~/.local/state/trellon", "TRELLON_COM3"}) {
    EXPECT_NE(help->find(mentioned), std::string::npos) << mentioned;
  }
  EXPECT_EQ(CommandLineAnswer({"trellon", "--version"}), "trellon 1.1\n");
  // Everything else starts the program, as before.
  for (const std::vector<std::string>& other :
       std::vector<std::vector<std::string>>{{"trellon"},
                                             {"trellon", "-noclick"},
                                             {"trellon", "--HELP"},
                                             {"trellon", "-noclick", "--help"},
                                             {"trellon", "--version "},
                                             {}}) {
    EXPECT_FALSE(CommandLineAnswer(other)) << other.size();
  }
  EXPECT_FALSE(HasNoClickArgument({"trellon", "--help"}));
}

TEST(CommandLineAnswerTest, TheProgramAnswersWithoutADisplayAndEnds) {
  test_support::TemporaryDirectory folder;
  ChildProcess::Options options({TRELLON_EXECUTABLE, "--version"});
  options.environment = {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}};
  options.workingDirectory = folder.Path();
  options.captureOutput = true;
  ChildProcess program(options);
  EXPECT_EQ(program.WaitExit(), ExitStatus::Exited(0));
  EXPECT_EQ(program.Lines(), std::vector<std::string>{"trellon 1.1"});
  EXPECT_EQ(test_support::ReadText(folder.File("Trellon.log")), "") << "nothing was started";
}

}  // namespace
}  // namespace trellon
