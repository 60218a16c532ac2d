// The real program, attached to the virtual controller, sent a fault signal from outside: the
// controller's fans go to full speed, the log gets the report, the program dies of the signal.

#include <signal.h>

#include <algorithm>

#include "e2e_test_support.h"

namespace trellon::e2e {
namespace {

using CrashEndToEnd = EndToEndTest;
using test_support::kPatienceMs;

TEST_F(CrashEndToEnd, AFaultPutsTheFansToFullSpeedAndTheReportIntoTheLog) {
  StartAttached();
  ProgramProcess& program = *program_;
  ASSERT_TRUE(program.WaitForLog("Comm: VX710 detected and attached", 10000));
  const size_t before = sim_->Lines().size();

  program.Signal(SIGSEGV);
  const auto status = program.WaitExit(15000);
  ASSERT_TRUE(status) << "the program did not end";
  EXPECT_EQ(*status, ExitStatus::Killed(SIGSEGV));

  // A3 B1 A4 B1: both fans at their full value, rear first.
  ASSERT_TRUE(sim_->WaitUntil(
      [&](const Lines& lines) {
        return !FanValues(lines, "rear", before).empty() &&
               !FanValues(lines, "front", before).empty();
      },
      kPatienceMs));
  const Lines lines = sim_->Lines();
  EXPECT_EQ(FanValues(lines, "rear", before).back(), 177);
  EXPECT_EQ(FanValues(lines, "front", before).back(), 177);

  const std::vector<std::string> messages = program.LogMessages();
  const auto report = std::find(messages.begin(), messages.end(), "Exception detected: ");
  ASSERT_NE(report, messages.end()) << Joined(messages);
  EXPECT_EQ(report[1], "  Code : C0000005");
  EXPECT_EQ(report[2], "  Flags: 00000000");
  EXPECT_TRUE(std::any_of(report, messages.end(), [](const std::string& line) {
    return line.starts_with("    trellon.main @ main.cpp.");
  })) << Joined(messages);
}

}  // namespace
}  // namespace trellon::e2e
