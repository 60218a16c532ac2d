// The real program against the virtual controller on a pseudo-terminal: finding and attaching
// the controller, fan commands and tick bytes, SpeedFan's temperatures, the detach at the end, and
// a port that is not there.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "e2e_test_support.h"

namespace trellon::e2e {
namespace {

using test_support::kPatienceMs;

using namespace std::chrono_literals;

double Gap(const Lines& lines, size_t from, size_t to) {
  return lines[to].simSeconds - lines[from].simSeconds;
}

std::string Times(const Lines& lines, const std::vector<size_t>& indexes) {
  std::string text;
  for (const size_t i : indexes) text += std::to_string(lines[i].simSeconds) + " ";
  return text;
}

using ControllerLinkEndToEnd = EndToEndTest;

TEST_F(ControllerLinkEndToEnd, HelloBurstAttachFansTicksAndDetachOnStop) {
  SimProcess& sim = StartSim();
  ProgramProcess& program = StartProgram();

  const auto attach = sim.WaitFor("attach", 30000);
  ASSERT_TRUE(attach) << "no attach confirmation";
  Lines lines = sim.Lines();

  // Ten hello frames, 100 ms apart, answered once. The exact spacing is checked on a manual clock
  // in the link's own tests; here the bounds leave room for a busy machine's scheduling.
  const auto hellos = IndexesOf(lines, "hello");
  ASSERT_EQ(hellos.size(), 10u);
  EXPECT_EQ(IndexesOf(lines, "sent answer").size(), 1u);
  for (size_t n = 1; n < hellos.size(); ++n) {
    const double gap = Gap(lines, hellos[n - 1], hellos[n]);
    EXPECT_GT(gap, 0.06) << "hello " << n << ": " << Times(lines, hellos);
    EXPECT_LT(gap, 0.22) << "hello " << n << ": " << Times(lines, hellos);
  }
  const double burst = Gap(lines, hellos.front(), hellos.back());
  EXPECT_GT(burst, 0.85);
  EXPECT_LT(burst, 1.5);
  // The attach comes after the 2 s pause that follows the answer found after the burst.
  const double pause = Gap(lines, hellos.back(), *attach);
  EXPECT_GT(pause, 1.95);
  EXPECT_LT(pause, 3.5);
  EXPECT_TRUE(program.WaitForLog("Comm: VX710 detected and attached", kPatienceMs));
  EXPECT_TRUE(InOrder(program.LogMessages(),
                      {"Comm: Opening port", "Comm: Port opened", "Comm: Looking for VX710",
                       "Comm: VX710 detected and attached"}))
      << Joined(program.LogMessages());

  // The first regulation tick after the attach sends both fan commands, then the tick byte;
  // then one tick byte a second.
  ASSERT_TRUE(sim.WaitUntil(
      [&](const Lines& now) { return IndexesOf(now, "tick", *attach).size() >= 5; }, 10000))
      << "fewer than five ticks";
  lines = sim.Lines();
  std::vector<std::string> frames;
  for (size_t i = *attach; i < lines.size(); ++i) {
    if (lines[i].text.starts_with("fan ") || lines[i].text == "tick") {
      frames.push_back(lines[i].text.substr(0, lines[i].text.find(' ', 4)));
    }
  }
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(frames[0], "fan rear");
  EXPECT_EQ(frames[1], "fan front");
  EXPECT_EQ(frames[2], "tick");
  const auto ticks = IndexesOf(lines, "tick", *attach);
  EXPECT_LT(Gap(lines, *attach, ticks.front()), 1.5);
  for (size_t n = 1; n < ticks.size(); ++n) {
    const double gap = Gap(lines, ticks[n - 1], ticks[n]);
    EXPECT_GT(gap, 0.6) << Times(lines, ticks);
    EXPECT_LT(gap, 1.5) << Times(lines, ticks);
  }
  const double perTick = Gap(lines, ticks.front(), ticks.back()) / double(ticks.size() - 1);
  EXPECT_NEAR(perTick, 1.0, 0.1) << Times(lines, ticks);
  EXPECT_TRUE(IndexesOf(lines, "hello", *attach).empty()) << "hello again while attached";

  // The case reports 40 °C rear and 35 °C front: the rear sensor asks 1/6 of full speed of both
  // fans, and their commands climb toward it without passing it.
  for (const std::string fan : {"rear", "front"}) {
    const auto values = FanValues(lines, fan, *attach);
    ASSERT_GE(values.size(), 2u) << fan;
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << fan;
    EXPECT_GT(values.back(), values.front()) << fan;
    EXPECT_LE(values.back(), 30) << fan;
  }

  // SIGTERM: the program detaches and closes the port before it ends.
  const size_t beforeStop = sim.Lines().size();
  const auto status = program.Terminate();
  ASSERT_TRUE(status) << "the program did not end";
  EXPECT_EQ(*status, ExitStatus::Exited(0));
  const auto detach = sim.WaitFor("detach", kPatienceMs, beforeStop);
  ASSERT_TRUE(detach);
  const auto rear48 = sim.WaitFor("fan rear 48 (27 %)", kPatienceMs, *detach);
  const auto front48 = sim.WaitFor("fan front 48 (27 %)", kPatienceMs, *detach);
  const auto closed = sim.WaitFor("port closed", kPatienceMs, *detach);
  ASSERT_TRUE(rear48 && front48 && closed);
  lines = sim.Lines();
  const double detachToFans = Gap(lines, *detach, *rear48);
  EXPECT_GT(detachToFans, 0.05);
  EXPECT_LT(detachToFans, 0.5);
  EXPECT_LT(*front48, *closed);
  EXPECT_TRUE(IndexesOf(lines, "tick", *detach).empty());
  EXPECT_TRUE(
      InOrder(program.LogMessages(), {"Closing...", "Comm: Detaching VX710", "Comm: VX710 detached",
                                      "Comm: Closing port", "Comm: Port close"}))
      << Joined(program.LogMessages());
}

TEST_F(ControllerLinkEndToEnd, SpeedFanTemperaturesDriveTheFans) {
  SpeedFanPublisher speedFan;
  ASSERT_TRUE(speedFan.Ok()) << speedFan.Error();
  for (int slot = 0; slot < 4; ++slot) speedFan.SetSlot(slot, 0);
  // The case itself is cool: its sensors ask nothing.
  StartAttached({"--rear", "20", "--front", "20"});
  SimProcess& sim = *sim_;
  const auto attach = IndexesOf(sim.Lines(), "attach").front();
  const auto firstFans = sim.WaitFor("fan front 0 (0 %)", kPatienceMs, attach);
  ASSERT_TRUE(firstFans);
  // Nothing changes while SpeedFan has nothing to say: the next regulation tick (its tick byte
  // is the second after the first fan commands) sends no fan command.
  ASSERT_TRUE(sim.WaitUntil(
      [&](const Lines& now) { return IndexesOf(now, "tick", *firstFans).size() >= 2; },
      kPatienceMs));
  const size_t published = sim.Lines().size();
  EXPECT_EQ(FanValues(sim.Lines(), "rear", attach), std::vector<int>{0});

  // Slot 0 (sf0) at 50 °C asks half speed, slot 3 (sf3) at 90 °C full speed; the faster
  // request wins, at the default response of 20 ticks: 5 %, 9.75 %, 14.26 % of 177.
  // (Slot 3 first: a tick between the two writes then sees the same 5 %.)
  speedFan.SetSlot(3, 9000);
  speedFan.SetSlot(0, 5000);
  ASSERT_TRUE(sim.WaitUntil(
      [&](const Lines& now) {
        return FanValues(now, "rear", published).size() >= 3 &&
               FanValues(now, "front", published).size() >= 3;
      },
      10000));
  const Lines lines = sim.Lines();
  for (const std::string fan : {"rear", "front"}) {
    auto values = FanValues(lines, fan, published);
    values.resize(3);
    EXPECT_EQ(values, (std::vector<int>{9, 17, 25})) << fan;
  }
}

TEST_F(ControllerLinkEndToEnd, MissingPortIsRetriedQuietly) {
  const auto started = std::chrono::steady_clock::now();
  ProgramProcess& program = StartProgram("/nonexistent/tty");
  ASSERT_TRUE(program.WaitForLog("Created...", 30000));
  std::this_thread::sleep_until(started + 15s);
  ASSERT_TRUE(program.Running()) << "the program ended by itself";

  const auto messages = program.LogMessages();
  const auto opening = std::count(messages.begin(), messages.end(), "Comm: Opening port");
  EXPECT_GE(opening, 1);
  EXPECT_LE(opening, 3);
  const auto aboutThePort = std::count_if(
      messages.begin(), messages.end(), [](const auto& text) { return text.starts_with("Comm:"); });
  EXPECT_LE(aboutThePort, 6) << Joined(messages);
  EXPECT_TRUE(std::none_of(messages.begin(), messages.end(),
                           [](const auto& text) { return text.starts_with("Exception"); }))
      << "an error box was raised:\n"
      << Joined(messages);

  const auto status = program.Terminate();
  ASSERT_TRUE(status) << "the program did not end";
  EXPECT_EQ(*status, ExitStatus::Exited(0));
  const auto atEnd = program.LogMessages();
  EXPECT_EQ(std::count(atEnd.begin(), atEnd.end(), "Closing..."), 1);
  EXPECT_EQ(std::count(atEnd.begin(), atEnd.end(), "Comm: Detaching VX710"), 0);
}

TEST_F(ControllerLinkEndToEnd, ADroppedLineIsFollowedByAnAttachOnTheDeviceThatComesBack) {
  // The simulator drops its line on its own, 4 to 12 s after the start and then again.
  SimProcess& sim = StartSim({"--faults", "5", "--fault-kinds", "drop", "--fault-gap", "8000"});
  ProgramProcess& program = StartProgram();
  ASSERT_TRUE(sim.WaitUntil(
      [](const Lines& lines) {
        return std::any_of(lines.begin(), lines.end(),
                           [](const auto& line) { return line.text.starts_with("line back "); });
      },
      30000))
      << sim.Transcript();
  // Each drop breaks the open device; the program notices at its next write and opens the path
  // again, which leads to the new device.
  EXPECT_TRUE(program.WaitForLog("Comm: VX710 detected and attached", 45000, 2))
      << Joined(program.LogMessages()) << sim.Transcript();
  EXPECT_TRUE(program.Running());
}

}  // namespace
}  // namespace trellon::e2e
