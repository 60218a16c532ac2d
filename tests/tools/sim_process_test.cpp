// The built simulator driven through its pseudo-terminal, the way the program will use it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

#include "fakes/fake_comm_device.h"
#include "fakes/recording_shell.h"
#include "link/com_port.h"
#include "sim_harness.h"
#include "support/scoped_environment.h"
#include "support/temporary_directory.h"

namespace trellon::sim::testing {
namespace {

using test_support::SecondsBetween;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using namespace std::chrono_literals;

const std::vector<uint8_t> kMZ5 = {'M', 'Z', '5'};

// Opens the device, says hello and attaches; the answer has been read.
void Attach(SimProcess& sim, DevicePeer& peer) {
  SendHelloBurst(peer);
  ASSERT_EQ(peer.Read(3, 2000), kMZ5);
  peer.Write({0xAD, 0xAD});
  ASSERT_TRUE(sim.WaitForNext("attached"));
}

// The program's own serial component against the simulator, the way the program finds it:
// through TRELLON_COM3.
TEST(SimProcess, TheSerialComponentHandshakesAttachesAndReopens) {
  SimProcess sim({"--quiet-ticks"});
  ASSERT_FALSE(sim.Device().empty());
  const test_support::ScopedEnvironment com3("TRELLON_COM3", sim.Device());
  MainThread mainThread;
  fakes::RecordingShell shell;
  TComPort port(CreateCommDevice(), mainThread, shell);
  port.SetPort("COM3");
  port.SetBaudRate(TBaudRate::br38400);
  port.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
  port.SetEvents({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR});
  std::vector<uint8_t> received;
  port.OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    const auto bytes = sender.ReadBytes(count);
    received.insert(received.end(), bytes.begin(), bytes.end());
  };
  auto receive = [&](size_t count, uint32_t timeoutMs) {
    fakes::ServeUntil(
        mainThread, [&] { return received.size() >= count; }, timeoutMs);
    return std::exchange(received, {});
  };

  for (int attempt = 0; attempt < 2; ++attempt) {
    port.Open();
    ASSERT_TRUE(sim.WaitForNext("port opened"));
    for (int i = 0; i < 10; ++i) {
      port.WriteBytes({0xAA, 0xAA});
      fakes::ServeUntil(
          mainThread, [] { return false; }, 100);
    }
    // One answer for the whole burst. After a reopen without a detach the controller still
    // counts itself attached and may get a report in before it reads the hello.
    auto answer = receive(64, 500);
    ASSERT_GE(answer.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(answer.end() - 3, answer.end()), kMZ5);
    answer.resize(answer.size() - 3);
    EXPECT_EQ(answer.size() % 4, 0u);
    EXPECT_TRUE(attempt == 1 || answer.empty());
    for (size_t i = 0; i + 3 < answer.size(); i += 4) {
      EXPECT_EQ(answer[i], 0xFB);
      EXPECT_EQ(answer[i + 2], 0xFC);
    }
    EXPECT_EQ(sim.Count("hello"), 10u * (attempt + 1));
    EXPECT_EQ(sim.Count("sent answer"), attempt + 1u);

    port.WriteBytes({0xAD, 0xAD});
    ASSERT_TRUE(sim.WaitForNext("attached"));
    EXPECT_EQ(receive(4, 3000), (std::vector<uint8_t>{0xFB, 190, 0xFC, 185}));
    port.WriteBytes({0xA3, 88, 0xA2});
    EXPECT_TRUE(sim.WaitForNext("fan rear 88 (50 %)"));
    sim.Send("home");
    EXPECT_EQ(receive(1, 3000), (std::vector<uint8_t>{85}));
    port.Close();  // no detach: the program went away
    ASSERT_TRUE(sim.WaitForNext("port closed"));
  }
}

TEST(SimProcess, AttachedControllerReportsTemperaturesAboutEverySecond) {
  SimProcess sim({"--rear", "30", "--front", "25"});
  DevicePeer peer(sim.Device());
  Attach(sim, peer);

  const auto bytes = peer.ReadTimed(12, 4000);
  ASSERT_EQ(bytes.size(), 12u);
  std::vector<uint8_t> values;
  for (const auto& byte : bytes) values.push_back(byte.value);
  EXPECT_THAT(values, ElementsAreArray({0xFB, 0xB4, 0xFC, 0xAF, 0xFB, 0xB4, 0xFC, 0xAF, 0xFB, 0xB4,
                                        0xFC, 0xAF}));
  for (const size_t frame : {4u, 8u}) {
    const double gap = SecondsBetween(bytes[frame - 4].when, bytes[frame].when);
    EXPECT_GT(gap, 0.7);
    EXPECT_LT(gap, 1.5);
  }

  sim.Send("temp rear 42");
  ASSERT_TRUE(sim.WaitForNext("set temp rear 42"));
  EXPECT_THAT(peer.Read(4, 2000), ElementsAre(0xFB, 192, 0xFC, 0xAF));
}

TEST(SimProcess, FanCommandsAndDetachArePrintedAndReportsStop) {
  SimProcess sim({"--quiet-ticks"});
  DevicePeer peer(sim.Device());
  Attach(sim, peer);
  peer.Write({0xA3, 88, 0xA4, 177, 0xA2});
  EXPECT_TRUE(sim.WaitForNext("fan rear 88 (50 %)"));
  EXPECT_TRUE(sim.WaitForNext("fan front 177 (100 %)"));

  peer.Write({0xA5, 0xA5});
  std::this_thread::sleep_for(100ms);
  peer.Write({0xA3, 0x30, 0xA4, 0x30});
  EXPECT_TRUE(sim.WaitForNext("detach"));
  EXPECT_TRUE(sim.WaitForNext("detached"));
  EXPECT_TRUE(sim.WaitForNext("fan rear 48 (27 %)"));
  EXPECT_TRUE(sim.WaitForNext("fan front 48 (27 %)"));

  // Reports stop: a key sent now comes behind every report from before the detach, and one sent
  // more than a report interval later comes right after it.
  sim.Send("ok");
  sim.Send("sleep 1100");
  sim.Send("ok");
  ASSERT_THAT(peer.ReadThrough(66, 3000), Contains(66));
  EXPECT_THAT(peer.Read(1, 3000), ElementsAre(66));
  EXPECT_EQ(sim.Count("tick"), 0u);
}

TEST(SimProcess, TypedKeysAndHeldKeysReachTheDevice) {
  SimProcess sim;
  DevicePeer peer(sim.Device());
  ASSERT_TRUE(sim.WaitForNext("port opened"));

  sim.Send("ok");
  EXPECT_THAT(peer.Read(1, 2000), ElementsAre(66));
  EXPECT_TRUE(sim.WaitForNext("sent key ok (66)"));
  sim.Send("code 65");
  EXPECT_THAT(peer.Read(1, 2000), ElementsAre(65));
  EXPECT_TRUE(sim.WaitForNext("sent key power (65)"));

  sim.Send("hold up 1500");
  sim.Send("display");
  const auto bytes = peer.ReadTimed(15, 4000);
  ASSERT_EQ(bytes.size(), 15u);
  EXPECT_EQ(bytes.front().value, 25);
  EXPECT_EQ(bytes.back().value, 71);  // the next command waits for the hold to end
  for (size_t i = 1; i < 14; ++i) EXPECT_EQ(bytes[i].value, 126) << i;
  const double span = SecondsBetween(bytes.front().when, bytes[13].when);
  EXPECT_GT(span, 13 * 0.108 - 0.05);
  EXPECT_LT(span, 13 * 0.108 + 0.4);
  EXPECT_GE(SecondsBetween(bytes.front().when, bytes.back().when), 1.45);
  EXPECT_TRUE(sim.WaitForNext("sent repeats 13"));
}

TEST(SimProcess, SurvivesTheDeviceBeingClosedAndReopenedAndGarbage) {
  SimProcess sim;
  {
    DevicePeer peer(sim.Device());
    ASSERT_TRUE(sim.WaitForNext("port opened"));
    peer.Write({0x00, 0xFF, 0x41, 0xAA});
    ASSERT_TRUE(sim.WaitForNext("unknown 0x00"));
    ASSERT_TRUE(sim.WaitForNext("unknown 0xFF"));
    ASSERT_TRUE(sim.WaitForNext("unknown 0x41"));
    ASSERT_TRUE(sim.WaitForNext("unknown 0xAA"));  // the lone half frame, after a while
  }
  ASSERT_TRUE(sim.WaitForNext("port closed"));
  sim.Send("ok");  // nobody listens: lost, as on a serial line
  ASSERT_TRUE(sim.WaitForNext("dropped key ok (66)"));

  DevicePeer again(sim.Device());
  ASSERT_TRUE(again.is_open());
  ASSERT_TRUE(sim.WaitForNext("port opened"));
  SendHelloBurst(again);
  EXPECT_EQ(again.Read(4, 1500), kMZ5);
}

TEST(SimProcess, NoAnswerOptionLeavesTheHelloUnanswered) {
  SimProcess sim({"--no-answer"});
  DevicePeer peer(sim.Device());
  SendHelloBurst(peer);
  for (int hello = 0; hello < 10; ++hello) ASSERT_TRUE(sim.WaitForNext("hello"));
  // Asked for now, the answer is the first thing on the line, and a key behind it the next.
  sim.Send("answer");
  sim.Send("ok");
  EXPECT_THAT(peer.Read(4, 2000), ElementsAre('M', 'Z', '5', 66));
}

TEST(SimProcess, ScriptRunsWithSleepsAndTheLinkLastsAsLongAsTheSimulator) {
  const test_support::TemporaryDirectory dir;
  const std::string script = dir.File("script.txt");
  const std::string link = dir.File("link");
  test_support::WriteText(script, "# a comment\nwait open\nsleep 300\nhome\nquit\nok\n");

  SimProcess sim({"--script", script, "--link", link});
  ASSERT_FALSE(sim.Device().empty());
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.Device());

  DevicePeer peer(link);
  ASSERT_TRUE(peer.is_open());
  EXPECT_THAT(peer.Read(2, 3000), ElementsAre(85));  // "ok" comes after quit: never sent
  EXPECT_EQ(sim.WaitExit(), ExitStatus::Exited(0));
  struct stat info {};
  EXPECT_NE(lstat(link.c_str(), &info), 0);
}

TEST(SimProcess, EndOfInputEndsTheSimulatorAfterItsCommands) {
  SimProcess sim;
  sim.Send("sleep 200");
  sim.Send("status");
  sim.CloseInput();
  EXPECT_TRUE(sim.WaitForNext(
      "status link detached port closed temp rear 40 front 35 drift off fan rear - front -"));
  EXPECT_EQ(sim.WaitExit(), ExitStatus::Exited(0));
}

TEST(SimProcess, BadOptionsAreRefused) {
  SimProcess sim({"--rear", "500"});
  EXPECT_TRUE(sim.Device().empty());
  EXPECT_EQ(sim.WaitExit(), ExitStatus::Exited(2));
}

TEST(SimProcess, ADroppedLineComesBackAsANewDeviceUnderTheSameLink) {
  test_support::TemporaryDirectory directory;
  const std::string link = directory.File("vx710");
  SimProcess sim({"--link", link, "--faults", "2", "--fault-kinds", "drop", "--fault-gap", "1000"});
  DevicePeer before(link);
  ASSERT_TRUE(before.is_open());
  ASSERT_TRUE(sim.WaitUntil(
      [](const auto& lines) {
        return std::any_of(lines.begin(), lines.end(),
                           [](const auto& line) { return line.text.starts_with("fault drop "); });
      },
      5000));
  // The old device is broken for good, as an unplugged adapter's is.
  std::this_thread::sleep_for(50ms);
  EXPECT_THROW(before.Write({0xAA, 0xAA}), std::runtime_error);

  std::string back;
  ASSERT_TRUE(sim.WaitUntil(
      [&](const auto& lines) {
        for (const auto& line : lines) {
          if (back.empty() && line.text.starts_with("line back ")) back = line.text.substr(10);
        }
        return !back.empty();
      },
      5000))
      << sim.Transcript();
  char target[256] = {};
  const bool linked = readlink(link.c_str(), target, sizeof target - 1) > 0;
  // Unless the next drop came in between, the link leads to the device that came back.
  const auto lines = sim.Lines();
  const auto backAt = std::find_if(lines.begin(), lines.end(), [](const auto& line) {
    return line.text.starts_with("line back ");
  });
  const bool droppedAgain = std::any_of(
      backAt, lines.end(), [](const auto& line) { return line.text.starts_with("fault drop "); });
  if (!droppedAgain) {
    ASSERT_TRUE(linked);
    EXPECT_EQ(std::string(target), back);
  }
}

}  // namespace
}  // namespace trellon::sim::testing
