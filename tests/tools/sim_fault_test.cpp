// The simulator's faults on a manual clock: the schedule is fixed by its seed, and each fault
// does to the line what it says.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "controller_sim.h"
#include "fake_sim_wire.h"
#include "fault_schedule.h"
#include "sim_options.h"

namespace trellon::sim {
namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::Ne;

std::vector<std::pair<uint32_t, std::string>> Draws(const FaultOptions& options, int n) {
  FaultSchedule schedule(options, 0);
  std::vector<std::pair<uint32_t, std::string>> draws;
  for (int i = 0; i < n; ++i) {
    const uint32_t at = schedule.NextAt();
    const Fault fault = schedule.Take(at);
    draws.emplace_back(at, std::string(FaultName(fault.kind)) + " " + std::to_string(fault.amount));
  }
  return draws;
}

TEST(FaultSchedule, TheSeedFixesEveryFaultAndTheGapsStayAroundTheMean) {
  const FaultOptions options{42, 1000, {}};
  const auto first = Draws(options, 200);
  EXPECT_EQ(first, Draws(options, 200));
  EXPECT_NE(first, Draws({43, 1000, {}}, 200));
  uint32_t previous = 0;
  for (const auto& [at, what] : first) {
    EXPECT_GE(at - previous, 500u);
    EXPECT_LE(at - previous, 1500u);
    previous = at;
  }
  for (const char* kind : {"drop", "silent", "late", "garbage", "stall", "flip", "flood"}) {
    EXPECT_TRUE(std::any_of(first.begin(), first.end(),
                            [&](const auto& draw) { return draw.second.starts_with(kind); }))
        << kind << " never drawn in 200 faults";
  }
  for (const auto& [at, what] : Draws({7, 1000, {FaultKind::Flip, FaultKind::Stall}}, 50)) {
    EXPECT_TRUE(what.starts_with("flip") || what.starts_with("stall")) << what;
  }
}

TEST(FaultSchedule, RandomBytesAndFlipsNeverMakeThePowerKey) {
  FaultSchedule schedule({3, 1000, {}}, 0);
  for (int i = 0; i < 5000; ++i) ASSERT_NE(schedule.HarmlessByte(), 65);
  for (int byte = 0; byte < 256; ++byte) {
    for (int i = 0; i < 32; ++i) {
      const uint8_t flipped = schedule.FlipOneBit(static_cast<uint8_t>(byte));
      ASSERT_NE(flipped, 65);
      const auto changed = static_cast<unsigned>(flipped ^ byte);
      ASSERT_TRUE(changed != 0 && (changed & (changed - 1)) == 0) << "one bit: " << byte;
    }
  }
}

TEST(FaultOptions, SeedGapAndKindsAreParsedAndChecked) {
  const auto parsed =
      ParseOptions({"--faults", "9", "--fault-gap=700", "--fault-kinds", "drop,flood"});
  ASSERT_EQ(parsed.error, "");
  ASSERT_TRUE(parsed.options.settings.faults);
  EXPECT_EQ(parsed.options.settings.faults->seed, 9u);
  EXPECT_EQ(parsed.options.settings.faults->meanGapMs, 700u);
  EXPECT_EQ(parsed.options.settings.faults->kinds,
            (std::vector<FaultKind>{FaultKind::Drop, FaultKind::Flood}));
  EXPECT_FALSE(ParseOptions({}).options.settings.faults);
  EXPECT_NE(ParseOptions({"--fault-gap", "700"}).error, "") << "a gap without a seed";
  EXPECT_NE(ParseOptions({"--faults", "1", "--fault-kinds", "drop,melt"}).error, "");
  EXPECT_NE(ParseOptions({"--faults", "1", "--fault-kinds", ""}).error, "");
  EXPECT_NE(ParseOptions({"--faults", "-1"}).error, "");
}

// A simulator whose faults are all of one kind, at least 10 s apart, so that one fault can be
// watched to its end.
class SimFaultTest : public ::testing::Test {
 protected:
  void Make(FaultKind kind) {
    SimSettings settings;
    settings.faults = FaultOptions{11, 20000, {kind}};
    sim = std::make_unique<ControllerSim>(
        clock, wire, [this](const std::string& line) { lines.push_back(line); }, settings);
  }
  void Run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; ++t) {
      clock.Advance(1);
      sim->Poll();
    }
  }
  // Runs until the first fault has started; its line.
  std::string RunToFault() {
    for (int t = 0; t < 30000; ++t) {
      Run(1);
      for (const auto& line : lines) {
        if (line.starts_with("fault ")) return line;
      }
    }
    return "";
  }
  void Receive(std::vector<uint8_t> bytes) {
    sim->OnReceived(bytes);
    sim->Poll();
  }
  // The number in a fault's line ("fault drop 1500 ms", "fault garbage 17 bytes").
  static uint32_t Amount(const std::string& faultLine) {
    const size_t start = faultLine.find(' ', 6) + 1;
    return static_cast<uint32_t>(std::stoul(faultLine.substr(start)));
  }

  ManualClock clock{5000};
  FakeWire wire;
  std::vector<std::string> lines;
  std::unique_ptr<ControllerSim> sim;
};

TEST_F(SimFaultTest, DropTakesTheLineAwayAndBringsItBackAfterItsTime) {
  Make(FaultKind::Drop);
  const std::string fault = RunToFault();
  ASSERT_TRUE(fault.starts_with("fault drop ")) << fault;
  EXPECT_TRUE(wire.dropped);
  const uint32_t ms = Amount(fault);
  lines.clear();
  Run(ms - 1);
  EXPECT_TRUE(wire.dropped);
  Run(1);
  EXPECT_FALSE(wire.dropped);
  EXPECT_THAT(lines, Contains("line back /dev/pts/1"));
}

TEST_F(SimFaultTest, SilenceDropsTheAnswerAndReportsUntilItEnds) {
  Make(FaultKind::Silent);
  const std::string fault = RunToFault();
  ASSERT_TRUE(fault.starts_with("fault silent ")) << fault;
  Receive({0xAA, 0xAA});
  Receive({0xAD, 0xAD});
  Run(Amount(fault) - 10);
  EXPECT_TRUE(wire.written.empty()) << "neither the answer nor a report";
  EXPECT_THAT(lines, Contains("dropped answer"));
  Run(1000);
  EXPECT_FALSE(wire.written.empty()) << "reports go out again";
}

TEST_F(SimFaultTest, LateAnswerDelaysTheNextBurstsAnswer) {
  Make(FaultKind::Late);
  const std::string fault = RunToFault();
  ASSERT_TRUE(fault.starts_with("fault late ")) << fault;
  Receive({0xAA, 0xAA});
  Run(Amount(fault) - 1);
  EXPECT_TRUE(wire.written.empty());
  Run(1);
  EXPECT_EQ(wire.Take(), (std::vector<uint8_t>{'M', 'Z', '5'}));
}

TEST_F(SimFaultTest, GarbageAndFloodAreBurstsOfTheirSize) {
  Make(FaultKind::Garbage);
  const std::string garbage = RunToFault();
  ASSERT_TRUE(garbage.starts_with("fault garbage ")) << garbage;
  EXPECT_EQ(wire.written.size(), Amount(garbage));
  EXPECT_THAT(wire.written, Each(Ne(65)));

  lines.clear();
  wire.Take();
  Make(FaultKind::Flood);
  const std::string flood = RunToFault();
  ASSERT_TRUE(flood.starts_with("fault flood ")) << flood;
  EXPECT_EQ(wire.written, std::vector<uint8_t>(Amount(flood), 71));
}

TEST_F(SimFaultTest, FlipChangesOneBitOfEachOfTheNextBytes) {
  Make(FaultKind::Flip);
  const std::string fault = RunToFault();
  ASSERT_TRUE(fault.starts_with("fault flip ")) << fault;
  const size_t count = Amount(fault);
  std::string raw = "raw";
  for (int i = 0; i < 20; ++i) raw += " 00";
  sim->Submit(raw);
  sim->Poll();
  const auto written = wire.Take();
  ASSERT_EQ(written.size(), 20u);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(lines[lines.size() - 2].starts_with("flipped 00 00 ")) << lines[lines.size() - 2];
  for (size_t i = 0; i < written.size(); ++i) {
    if (i < count) {
      EXPECT_EQ(__builtin_popcount(written[i]), 1) << i;
    } else {
      EXPECT_EQ(written[i], 0) << i;
    }
  }
}

TEST_F(SimFaultTest, StallLeavesTheProgramsBytesUnreadForItsTime) {
  Make(FaultKind::Stall);
  const std::string fault = RunToFault();
  ASSERT_TRUE(fault.starts_with("fault stall ")) << fault;
  EXPECT_TRUE(sim->ReadsStalled());
  Run(Amount(fault));
  EXPECT_FALSE(sim->ReadsStalled());
}

}  // namespace
}  // namespace trellon::sim
