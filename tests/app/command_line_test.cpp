#include "app/command_line.h"

#include <gtest/gtest.h>

namespace trellon {
namespace {

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

}  // namespace
}  // namespace trellon
