// The built simulator driven through its pseudo-terminal, the way the program will use it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <utility>

#include "fakes/fake_comm_device.h"
#include "fakes/recording_shell.h"
#include "link/com_port.h"
#include "sim_harness.h"

namespace trellon::sim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

const std::vector<uint8_t> kMZ5 = {'M', 'Z', '5'};

double Seconds(SteadyTime from, SteadyTime to) {
  return std::chrono::duration<double>(to - from).count();
}

// Opens the device, says hello and attaches; the answer has been read.
void Attach(SimProcess& sim, DevicePeer& peer) {
  SendHelloBurst(peer);
  ASSERT_EQ(peer.Read(3, 2000), kMZ5);
  peer.Write({0xAD, 0xAD});
  ASSERT_TRUE(sim.WaitForLine("attached"));
}

// The program's own serial component against the simulator, the way the program finds it:
// through TRELLON_COM3.
TEST(SimProcess, TheSerialComponentHandshakesAttachesAndReopens) {
  SimProcess sim({"--quiet-ticks"});
  ASSERT_FALSE(sim.device().empty());
  ASSERT_EQ(setenv("TRELLON_COM3", sim.device().c_str(), 1), 0);
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
    ASSERT_TRUE(sim.WaitForLine("port opened"));
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
    const auto& lines = sim.LinesAfter(0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "hello"), 10 * (attempt + 1));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "sent answer"), attempt + 1);

    port.WriteBytes({0xAD, 0xAD});
    ASSERT_TRUE(sim.WaitForLine("attached"));
    EXPECT_EQ(receive(4, 3000), (std::vector<uint8_t>{0xFB, 190, 0xFC, 185}));
    port.WriteBytes({0xA3, 88, 0xA2});
    EXPECT_TRUE(sim.WaitForLine("fan rear 88 (50 %)"));
    sim.Send("home");
    EXPECT_EQ(receive(1, 3000), (std::vector<uint8_t>{85}));
    port.Close();  // no detach: the program went away
    ASSERT_TRUE(sim.WaitForLine("port closed"));
  }
}

TEST(SimProcess, AttachedControllerReportsTemperaturesAboutEverySecond) {
  SimProcess sim({"--rear", "30", "--front", "25"});
  DevicePeer peer(sim.device());
  Attach(sim, peer);

  const auto bytes = peer.ReadTimed(12, 4000);
  ASSERT_EQ(bytes.size(), 12u);
  std::vector<uint8_t> values;
  for (const auto& byte : bytes) values.push_back(byte.value);
  EXPECT_THAT(values, ElementsAreArray({0xFB, 0xB4, 0xFC, 0xAF, 0xFB, 0xB4, 0xFC, 0xAF, 0xFB, 0xB4,
                                        0xFC, 0xAF}));
  for (const size_t frame : {4u, 8u}) {
    const double gap = Seconds(bytes[frame - 4].when, bytes[frame].when);
    EXPECT_GT(gap, 0.7);
    EXPECT_LT(gap, 1.5);
  }

  sim.Send("temp rear 42");
  ASSERT_TRUE(sim.WaitForLine("set temp rear 42"));
  EXPECT_THAT(peer.Read(4, 2000), ElementsAre(0xFB, 192, 0xFC, 0xAF));
}

TEST(SimProcess, FanCommandsAndDetachArePrintedAndReportsStop) {
  SimProcess sim({"--quiet-ticks"});
  DevicePeer peer(sim.device());
  Attach(sim, peer);
  peer.Write({0xA3, 88, 0xA4, 177, 0xA2});
  EXPECT_TRUE(sim.WaitForLine("fan rear 88 (50 %)"));
  EXPECT_TRUE(sim.WaitForLine("fan front 177 (100 %)"));

  peer.Write({0xA5, 0xA5});
  std::this_thread::sleep_for(100ms);
  peer.Write({0xA3, 0x30, 0xA4, 0x30});
  EXPECT_TRUE(sim.WaitForLine("detach"));
  EXPECT_TRUE(sim.WaitForLine("detached"));
  EXPECT_TRUE(sim.WaitForLine("fan rear 48 (27 %)"));
  EXPECT_TRUE(sim.WaitForLine("fan front 48 (27 %)"));

  peer.Read(64, 200);  // a report that crossed the detach
  EXPECT_THAT(peer.Read(1, 1500), IsEmpty());
  const auto& lines = sim.LinesAfter(0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "tick"), 0);
}

TEST(SimProcess, TypedKeysAndHeldKeysReachTheDevice) {
  SimProcess sim;
  DevicePeer peer(sim.device());
  ASSERT_TRUE(sim.WaitForLine("port opened"));

  sim.Send("ok");
  EXPECT_THAT(peer.Read(1, 2000), ElementsAre(66));
  EXPECT_TRUE(sim.WaitForLine("sent key ok (66)"));
  sim.Send("code 65");
  EXPECT_THAT(peer.Read(1, 2000), ElementsAre(65));
  EXPECT_TRUE(sim.WaitForLine("sent key power (65)"));

  sim.Send("hold up 1500");
  sim.Send("display");
  const auto bytes = peer.ReadTimed(15, 4000);
  ASSERT_EQ(bytes.size(), 15u);
  EXPECT_EQ(bytes.front().value, 25);
  EXPECT_EQ(bytes.back().value, 71);  // the next command waits for the hold to end
  for (size_t i = 1; i < 14; ++i) EXPECT_EQ(bytes[i].value, 126) << i;
  const double span = Seconds(bytes.front().when, bytes[13].when);
  EXPECT_GT(span, 13 * 0.108 - 0.05);
  EXPECT_LT(span, 13 * 0.108 + 0.4);
  EXPECT_GE(Seconds(bytes.front().when, bytes.back().when), 1.45);
  EXPECT_TRUE(sim.WaitForLine("sent repeats 13"));
}

TEST(SimProcess, SurvivesTheDeviceBeingClosedAndReopenedAndGarbage) {
  SimProcess sim;
  {
    DevicePeer peer(sim.device());
    ASSERT_TRUE(sim.WaitForLine("port opened"));
    peer.Write({0x00, 0xFF, 0x41, 0xAA});
    ASSERT_TRUE(sim.WaitForLine("unknown 0x00"));
    ASSERT_TRUE(sim.WaitForLine("unknown 0xFF"));
    ASSERT_TRUE(sim.WaitForLine("unknown 0x41"));
    ASSERT_TRUE(sim.WaitForLine("unknown 0xAA"));  // the lone half frame, after a while
  }
  ASSERT_TRUE(sim.WaitForLine("port closed"));
  sim.Send("ok");  // nobody listens: lost, as on a serial line
  ASSERT_TRUE(sim.WaitForLine("dropped key ok (66)"));

  DevicePeer again(sim.device());
  ASSERT_TRUE(again.is_open());
  ASSERT_TRUE(sim.WaitForLine("port opened"));
  SendHelloBurst(again);
  EXPECT_EQ(again.Read(4, 1500), kMZ5);
}

TEST(SimProcess, NoAnswerOptionLeavesTheHelloUnanswered) {
  SimProcess sim({"--no-answer"});
  DevicePeer peer(sim.device());
  SendHelloBurst(peer);
  EXPECT_THAT(peer.Read(1, 1200), IsEmpty());
  sim.Send("answer");
  EXPECT_EQ(peer.Read(3, 2000), kMZ5);
}

TEST(SimProcess, ScriptRunsWithSleepsAndTheLinkLastsAsLongAsTheSimulator) {
  const std::string dir = ::testing::TempDir();
  const std::string script = dir + "vx710_sim_script.txt";
  const std::string link = dir + "vx710_sim_link";
  std::ofstream(script) << "# a comment\nwait open\nsleep 300\nhome\nquit\nok\n";
  unlink(link.c_str());

  SimProcess sim({"--script", script, "--link", link});
  ASSERT_FALSE(sim.device().empty());
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.device());

  DevicePeer peer(link);
  ASSERT_TRUE(peer.is_open());
  EXPECT_THAT(peer.Read(2, 3000), ElementsAre(85));  // "ok" comes after quit: never sent
  EXPECT_EQ(sim.WaitExit(), 0);
  struct stat info {};
  EXPECT_NE(lstat(link.c_str(), &info), 0);
  std::remove(script.c_str());
}

TEST(SimProcess, EndOfInputEndsTheSimulatorAfterItsCommands) {
  SimProcess sim;
  sim.Send("sleep 200");
  sim.Send("status");
  sim.CloseInput();
  EXPECT_TRUE(sim.WaitForLine(
      "status link detached port closed temp rear 40 front 35 drift off fan rear - front -"));
  EXPECT_EQ(sim.WaitExit(), 0);
}

TEST(SimProcess, BadOptionsAreRefused) {
  SimProcess sim({"--rear", "500"});
  EXPECT_TRUE(sim.device().empty());
  EXPECT_EQ(sim.WaitExit(), 2);
}

}  // namespace
}  // namespace trellon::sim::testing
