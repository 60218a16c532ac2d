// The simulator's logic on a manual clock: frame splitting, command lines, the controller's
// answers, reports and key timing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "controller_sim.h"
#include "fake_sim_wire.h"
#include "frame_decoder.h"
#include "sim_command.h"

namespace trellon::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = ProgramFrame::Kind;

std::vector<std::string> Describe(const std::vector<ProgramFrame>& frames) {
  std::vector<std::string> lines;
  for (const auto& frame : frames) lines.push_back(DescribeFrame(frame));
  return lines;
}

TEST(FrameDecoder, SplitsEveryFrameTheProgramSends) {
  FrameDecoder decoder;
  const std::vector<uint8_t> stream = {
      0xAA, 0xAA,              // hello
      0xAD, 0xAD,              // attach confirmation
      0xA3, 0x58, 0xA4, 0xB1,  // rear 88, front 177
      0xA2,                    // tick
      0xA5, 0xA5,              // detach request
      0xA3, 0x30, 0xA4, 0x30,  // both fans to 48 on detach
      0xA4, 0xAA,              // a value that looks like a frame byte is still a value
      0xA3, 0xB2,              // 178: above the maximum
  };
  EXPECT_THAT(Describe(decoder.Feed(stream, 0)),
              ElementsAre("hello", "attach", "fan rear 88 (50 %)", "fan front 177 (100 %)", "tick",
                          "detach", "fan rear 48 (27 %)", "fan front 48 (27 %)",
                          "fan front 170 (96 %)", "fan rear 178 (out of range)"));
  EXPECT_FALSE(decoder.PendingDeadline());
}

TEST(FrameDecoder, BrokenDoubledFrameResynchronises) {
  FrameDecoder decoder;
  // A lone AA before a full attach frame must not swallow the attach's first byte.
  EXPECT_THAT(Describe(decoder.Feed(std::vector<uint8_t>{0xAA, 0xAD, 0xAD, 0x41, 0x00}, 0)),
              ElementsAre("unknown 0xAA", "attach", "unknown 0x41", "unknown 0x00"));
}

TEST(FrameDecoder, FrameSplitOverTwoReadsCompletesButAStaleHalfExpires) {
  FrameDecoder decoder;
  EXPECT_THAT(decoder.Feed(std::vector<uint8_t>{0xAA}, 1000), IsEmpty());
  EXPECT_THAT(Describe(decoder.Feed(std::vector<uint8_t>{0xAA}, 1100)), ElementsAre("hello"));

  EXPECT_THAT(decoder.Feed(std::vector<uint8_t>{0xA3}, 2000), IsEmpty());
  EXPECT_EQ(decoder.PendingDeadline(), 2000 + FrameDecoder::kPartialFrameMs);
  EXPECT_THAT(decoder.Expire(2499), IsEmpty());
  EXPECT_THAT(Describe(decoder.Expire(2500)), ElementsAre("unknown 0xA3"));
  // The byte after the expired half is not taken as a fan value.
  EXPECT_THAT(Describe(decoder.Feed(std::vector<uint8_t>{0x58}, 2600)),
              ElementsAre("unknown 0x58"));
}

TEST(ParseCommand, KeysByNameIncludingPowerDisplayAndDigits) {
  const auto code = [](std::string_view line) {
    const auto parsed = ParseCommand(line);
    EXPECT_TRUE(parsed.command) << line << ": " << parsed.error;
    return parsed.command ? parsed.command->code : 0;
  };
  EXPECT_EQ(code("ok"), 66);
  EXPECT_EQ(code("  home  "), 85);
  EXPECT_EQ(code("power"), 65);
  EXPECT_EQ(code("display"), 71);
  EXPECT_EQ(code("5"), 81);  // a digit is a key, not a number
  EXPECT_EQ(code("exit"), 31);
  EXPECT_EQ(code("code 0x7E"), 126);
}

TEST(ParseCommand, ArgumentsAreCheckedAndBlankOrCommentLinesDoNothing) {
  const auto hold = ParseCommand("hold up 1500");
  ASSERT_TRUE(hold.command);
  EXPECT_EQ(hold.command->kind, SimCommand::Kind::Hold);
  EXPECT_EQ(hold.command->code, 25);
  EXPECT_EQ(hold.command->milliseconds, 1500u);

  const auto raw = ParseCommand("raw 4D 0x5A $35");
  ASSERT_TRUE(raw.command);
  EXPECT_THAT(raw.command->bytes, ElementsAre(0x4D, 0x5A, 0x35));

  const auto temp = ParseCommand("temp front -22");
  ASSERT_TRUE(temp.command);
  EXPECT_EQ(temp.command->channel, SimCommand::Channel::Front);
  EXPECT_EQ(temp.command->celsius, -22);

  for (const char* line : {"", "   ", "# a comment", "  #ok"}) {
    const auto parsed = ParseCommand(line);
    ASSERT_TRUE(parsed.command) << line;
    EXPECT_EQ(parsed.command->kind, SimCommand::Kind::None) << line;
  }
  for (const char* line :
       {"hold up", "hold nokey 100", "hold up -5", "temp rear 101", "temp middle 30", "code 256",
        "raw", "raw 4G", "raw 100", "sleep", "repeat 0", "drift maybe", "wait", "wait closed",
        "ok now", "help me", "OK", "frobnicate"}) {
    const auto parsed = ParseCommand(line);
    EXPECT_FALSE(parsed.command) << line;
    EXPECT_FALSE(parsed.error.empty()) << line;
  }
}

TEST(ParseCommand, EachVerbTakesItsNumberOfArgumentsAndSaysWhatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"status x", "status takes no arguments"},
      {"answer 1", "answer takes no arguments"},
      {"hold up", "usage: hold KEY MS, e.g. hold up 1500"},
      {"hold up 1 2", "usage: hold KEY MS, e.g. hold up 1500"},
      {"hold nokey 100", "unknown key \"nokey\" (help lists the keys)"},
      {"hold up -5", "hold: milliseconds must be a whole number from 0 to 86400000"},
      {"repeat 1 2", "usage: repeat [N]"},
      {"repeat 0", "repeat: N must be a whole number from 1 to 10000"},
      {"code", "usage: code N, with N from 0 to 255 (e.g. code 65)"},
      {"code 256", "usage: code N, with N from 0 to 255 (e.g. code 65)"},
      {"raw", "usage: raw HH [HH ...], bytes in hex (e.g. raw 4D 5A 35)"},
      {"raw 4D 4G", "raw: \"4G\" is not a hex byte"},
      {"temp rear", "usage: temp rear|front C, e.g. temp rear 42"},
      {"temp middle 30", "usage: temp rear|front C, e.g. temp rear 42"},
      {"temp rear 101", "temp: degrees must be a whole number from -22 to 100"},
      {"drift", "usage: drift on|off"},
      {"drift maybe", "usage: drift on|off"},
      {"sleep 1 2", "usage: sleep MS, with MS from 0 to 86400000"},
      {"sleep x", "usage: sleep MS, with MS from 0 to 86400000"},
      {"wait", "usage: wait open|attached"},
      {"wait closed", "usage: wait open|attached"},
      {"ok now", "a key takes no arguments (hold KEY MS holds it)"},
      {"OK", "unknown command \"OK\" (help lists the commands)"},
  };
  for (const auto& [line, error] : cases) {
    const auto parsed = ParseCommand(line);
    EXPECT_FALSE(parsed.command) << line;
    EXPECT_EQ(parsed.error, error) << line;
  }
  // The bounds themselves are allowed.
  for (const char* line : {"repeat", "repeat 10000", "raw 01 02 03 04 05", "sleep 86400000",
                           "hold up 0", "help", "quit", "wait attached", "drift off"}) {
    EXPECT_TRUE(ParseCommand(line).command) << line;
  }
  EXPECT_EQ(ParseCommand("repeat").command->count, 1u);
}

class ControllerSimTest : public ::testing::Test {
 protected:
  void Make(SimSettings settings = {}) {
    sim = std::make_unique<ControllerSim>(
        clock, wire, [this](const std::string& line) { lines.push_back(line); }, settings);
  }
  void Receive(std::vector<uint8_t> bytes) {
    sim->OnReceived(bytes);
    sim->Poll();
  }
  void Command(const std::string& line) {
    sim->Submit(line);
    sim->Poll();
  }
  // Moves the clock in small steps, as the event loop would wake up.
  void Run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; ++t) {
      clock.Advance(1);
      sim->Poll();
    }
  }
  void Attach() {
    Receive({0xAA, 0xAA});
    Receive({0xAD, 0xAD});
    wire.Take();
    lines.clear();
  }

  ManualClock clock{5000};
  FakeWire wire;
  std::vector<std::string> lines;
  std::unique_ptr<ControllerSim> sim;
};

const std::vector<uint8_t> kMZ5 = {'M', 'Z', '5'};

TEST_F(ControllerSimTest, HelloBurstIsAnsweredOnceAndANewBurstAgain) {
  Make();
  for (int i = 0; i < 10; ++i) {
    Receive({0xAA, 0xAA});
    Run(100);
  }
  EXPECT_EQ(wire.Take(), kMZ5);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "hello"), 10);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "sent answer"), 1);

  Run(ControllerSim::kHelloBurstGapMs + 1);
  Receive({0xAA, 0xAA});
  EXPECT_EQ(wire.Take(), kMZ5);
}

TEST_F(ControllerSimTest, AnswerCanBeDelayedOrLeftToTheUser) {
  Make({.answerDelayMs = 300});
  Receive({0xAA, 0xAA});
  Run(299);
  EXPECT_THAT(wire.written, IsEmpty());
  Run(1);
  EXPECT_EQ(wire.Take(), kMZ5);

  Make({.answerHello = false});
  Receive({0xAA, 0xAA});
  Run(2000);
  EXPECT_THAT(wire.written, IsEmpty());
  Command("answer");
  EXPECT_EQ(wire.Take(), kMZ5);
}

TEST_F(ControllerSimTest, ReportsTemperaturesEverySecondOnlyWhileAttached) {
  Make({.rearCelsius = 30, .frontCelsius = 25});
  Run(3000);
  EXPECT_THAT(wire.written, IsEmpty());

  Receive({0xAA, 0xAA, 0xAD, 0xAD});
  EXPECT_THAT(lines, ElementsAre("hello", "sent answer", "attach", "attached",
                                 "sent temp rear 30 front 25"));
  EXPECT_THAT(wire.Take(), ElementsAre('M', 'Z', '5', 0xFB, 0xB4, 0xFC, 0xAF));
  Run(999);
  EXPECT_THAT(wire.written, IsEmpty());
  Run(1);
  EXPECT_THAT(wire.Take(), ElementsAre(0xFB, 0xB4, 0xFC, 0xAF));

  Command("temp rear 42");
  Run(1000);
  EXPECT_THAT(wire.Take(), ElementsAre(0xFB, 192, 0xFC, 0xAF));

  Receive({0xA5, 0xA5, 0xA3, 0x30, 0xA4, 0x30});
  Run(3000);
  EXPECT_THAT(wire.written, IsEmpty());
  EXPECT_FALSE(sim->Attached());
}

TEST_F(ControllerSimTest, HelloWhileAttachedStopsTheReportsUntilTheNextAttach) {
  Make();
  Attach();
  Receive({0xAA, 0xAA});
  EXPECT_THAT(lines, ElementsAre("hello", "detached", "sent answer"));
  wire.Take();
  Run(2500);
  EXPECT_THAT(wire.written, IsEmpty());
}

TEST_F(ControllerSimTest, NothingReachesAClosedPort) {
  Make();
  Attach();
  wire.open = false;
  sim->OnPortClosed();
  Command("ok");
  Run(2000);
  EXPECT_THAT(lines, ElementsAre("port closed", "dropped key ok (66)"));
  EXPECT_THAT(wire.written, IsEmpty());
}

TEST_F(ControllerSimTest, HoldSendsRepeatCodesOnScheduleAndHoldsBackTheNextCommand) {
  Make();
  Command("hold up 500");
  Command("ok");
  EXPECT_THAT(wire.Take(), ElementsAre(25));
  // Repeat codes at 108, 216, 324 and 432 ms; the next command once the 500 ms are over.
  std::vector<uint32_t> repeatTimes;
  for (uint32_t t = 1; t < 500; ++t) {
    clock.Advance(1);
    sim->Poll();
    for (const uint8_t byte : wire.Take()) {
      if (byte == 126) repeatTimes.push_back(t);
      if (byte == 66) ADD_FAILURE() << "next command ran during the hold, at " << t;
    }
    EXPECT_LE(sim->MillisToNextDue(), 108u);
  }
  EXPECT_THAT(repeatTimes, ElementsAre(108, 216, 324, 432));
  Run(1);
  EXPECT_THAT(wire.Take(), ElementsAre(66));
  EXPECT_THAT(lines, ElementsAre("sent key up (25)", "sent repeats 4", "sent key ok (66)"));
}

TEST_F(ControllerSimTest, WaitAndSleepDelayTheFollowingCommandsAndQuitEndsThem) {
  Make();
  Command("wait attached");
  Command("sleep 250");
  Command("code 2");
  Command("quit");
  Command("ok");
  Run(5000);
  EXPECT_THAT(wire.written, IsEmpty());
  EXPECT_EQ(sim->MillisToNextDue(), ControllerSim::kIdleWaitMs);  // no busy waiting
  Receive({0xAD, 0xAD});
  wire.Take();
  Run(249);
  EXPECT_THAT(wire.written, IsEmpty());
  EXPECT_TRUE(sim->Busy());
  Run(1);
  EXPECT_THAT(wire.Take(), ElementsAre(2));
  EXPECT_TRUE(sim->QuitRequested());
  EXPECT_THAT(lines,
              ElementsAre("attach", "attached", "sent temp rear 40 front 35", "sent code 2"));
}

TEST_F(ControllerSimTest, DriftStaysWithinThreeDegreesAndQuietHidesThePerSecondLines) {
  Make({.quietTicks = true, .rearCelsius = 40, .frontCelsius = 35, .drift = true});
  Attach();
  Receive({0xA2});
  std::vector<int> rear;
  for (int i = 0; i < 60; ++i) {
    Run(1000);
    const auto frame = wire.Take();
    ASSERT_EQ(frame.size(), 4u);
    rear.push_back(frame[1] - 150);
    EXPECT_EQ(frame[1] - 150 - 40, -(frame[3] - 150 - 35));  // front moves the other way
  }
  EXPECT_EQ(*std::min_element(rear.begin(), rear.end()), 37);
  EXPECT_EQ(*std::max_element(rear.begin(), rear.end()), 43);
  EXPECT_THAT(lines, IsEmpty());
}

}  // namespace
}  // namespace trellon::sim
