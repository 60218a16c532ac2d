#include <algorithm>
#include <iterator>
#include <optional>

#include "controller_link_fixture.h"

namespace trellon {
namespace {

class ControllerLinkHandshakeTest : public ControllerLinkFixture {
 protected:
  ControllerLinkHandshakeTest() : ControllerLinkFixture(1000) {}
  // Opens at tick 1000; the burst ends at 2000, when the answer is first looked for.
  void OpenAndSendBurst() {
    link.Timer1Timer();
    Ticks(9);
  }
};

TEST_F(ControllerLinkHandshakeTest, OpensThenSendsTenHellos100MsApartAndNoMore) {
  OpenAndSendBurst();
  Ticks(30);
  EXPECT_EQ(link.linkState(), LinkState::Handshake);
  EXPECT_EQ((std::vector<std::string>{"Close", "Open", "SetRTSLine(1)", "SetDTRLine(0)"}),
            std::vector<std::string>(port.calls.begin(), port.calls.begin() + 4));
  std::vector<Write> expected;
  for (uint32_t i = 0; i < 10; ++i) expected.push_back({1000 + 100 * i, {0xAA, 0xAA}});
  EXPECT_EQ(port.writes, expected);
  EXPECT_EQ(shell.logLines, (std::vector<std::string>{"Comm: Opening port", "Comm: Port opened",
                                                      "Comm: Looking for VX710"}));
}

TEST_F(ControllerLinkHandshakeTest, AnswerDuringTheBurstAttachesTwoSecondsAfterTheBurst) {
  link.Timer1Timer();
  Receive({'M', 'Z', '5'});
  Ticks(9);
  EXPECT_TRUE(link.HasReceived(3)) << "not looked at while the burst runs";
  Tick();  // 2000: the answer is taken, the pause begins
  Ticks(19);
  EXPECT_EQ(link.linkState(), LinkState::Handshake);
  EXPECT_EQ(port.writes.size(), 10u);
  Tick();  // 4000
  EXPECT_EQ(link.linkState(), LinkState::Attached);
  EXPECT_EQ(port.writes.back(), (Write{4000, {0xAD, 0xAD}}));
  EXPECT_EQ(shell.logLines.back(), "Comm: VX710 detected and attached");
  EXPECT_EQ(actions.attaches, 1) << "the fan commands start over";
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"clear"}));
  EXPECT_EQ(link.StatusText(), "VX710 attached");
  EXPECT_TRUE(link.IsAttached());
}

TEST_F(ControllerLinkHandshakeTest, SplitAnswerIsAcceptedOnceAllThreeBytesAreThere) {
  OpenAndSendBurst();
  Receive({'M'});
  Tick();
  Receive({'Z'});
  Ticks(20);
  EXPECT_TRUE(link.HasReceived(2)) << "fewer than three bytes are left alone";
  Receive({'5'});
  Tick();
  Ticks(20);
  EXPECT_EQ(link.linkState(), LinkState::Attached);
}

TEST_F(ControllerLinkHandshakeTest, GarbledAnswerIsSkippedUpToTheFirstMismatchPerTick) {
  OpenAndSendBurst();
  Receive({'M', 'x', '5'});
  Tick();
  EXPECT_EQ(link.TakeReceived(5), Bytes{'5'}) << "'M' and the wrong byte go in one tick";
  Receive({'5', 'M', 'Z'});
  Tick();
  EXPECT_TRUE(link.HasReceived(2));
  EXPECT_FALSE(link.HasReceived(3));
  Receive({'5'});
  Tick();
  Ticks(20);
  EXPECT_EQ(link.linkState(), LinkState::Attached);
}

TEST_F(ControllerLinkHandshakeTest,
       BytesUpToTheAnswerAreDroppedAndThoseOfThePauseWaitForTheAttach) {
  OpenAndSendBurst();
  Receive({'M', 'Z', '5', 'M', 'Z'});  // the answer, and echoes that came with it
  Tick();
  EXPECT_FALSE(link.HasReceived(1)) << "what came with the answer is gone";
  // A key and a temperature report during the pause: kept, and not looked at yet.
  Receive({25 /* up */, 0xFB, 0xB4});
  Ticks(19);
  EXPECT_TRUE(actions.calls.empty());
  EXPECT_TRUE(link.HasReceived(3));
  Tick();  // 4000: the attach
  EXPECT_EQ(link.linkState(), LinkState::Attached);
  EXPECT_EQ(actions.Events(), (std::vector<std::string>{"clear"}));
  Tick();  // the first attached tick handles them
  EXPECT_EQ(actions.Events(), (std::vector<std::string>{"clear", "clear", "key:up/remote"}));
  EXPECT_EQ(actions.caseTemperatures[0], 30);
}

TEST_F(ControllerLinkHandshakeTest, UnansweredBurstIsRepeatedEveryFiveSecondsAndLoggedOnce) {
  OpenAndSendBurst();  // last hello at 1900
  Ticks(49);           // 6800: still waiting
  EXPECT_EQ(port.writes.size(), 10u);
  Tick();  // 6900: five seconds without an answer
  Ticks(10);
  EXPECT_EQ(port.writes.size(), 20u) << "a new burst on a reopened port";
  EXPECT_EQ(port.writes[10], (Write{7000, {0xAA, 0xAA}}));
  Ticks(60);  // the third burst ends at 13900
  EXPECT_EQ(port.writes.size(), 30u);
  EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "Open"), 3);
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{
                "Comm: Opening port", "Comm: Port opened", "Comm: Looking for VX710",
                "Comm: No answer from VX710, trying again", "Comm: Opening port",
                "Comm: Port opened", "Comm: Looking for VX710"}))
      << "later tries are quiet";

  // Bytes still to look at hold the next try back: the answer may stand behind them.
  Receive(Bytes(120, 0x55));
  Ticks(118);  // 25700: one byte per tick, two left
  EXPECT_EQ(port.writes.size(), 30u);
  Ticks(2);
  EXPECT_EQ(port.writes.size(), 31u);
  Ticks(9);

  // The controller answers the fourth burst.
  Receive({'M', 'Z', '5'});
  Ticks(30);
  ASSERT_TRUE(link.IsAttached());
  // A link put into Handshake from outside sent no burst, and has none to repeat.
  link.SetLinkState(LinkState::Handshake);
  const size_t writes = port.writes.size();
  Ticks(200);
  EXPECT_EQ(port.writes.size(), writes);
}

TEST_F(ControllerLinkHandshakeTest, DetachWhileClosedDoesNothing) {
  link.SetLinkState(LinkState::Detached);
  link.DetachController();
  EXPECT_TRUE(port.calls.empty());
  EXPECT_TRUE(shell.logLines.empty());
  EXPECT_EQ(clock.TickCount(), 1000u) << "no wait either";
}

TEST_F(ControllerLinkHandshakeTest, DetachDuringTheBurstSendsTheDetachFramesAndStopsTheBurst) {
  link.Timer1Timer();
  Ticks(2);
  shell.logLines.clear();
  port.writes.clear();
  link.DetachController();
  EXPECT_EQ(port.writes,
            (std::vector<Write>{{1300, {0xA5, 0xA5}}, {1400, {0xA3, 0x30, 0xA4, 0x30}}}));
  EXPECT_EQ(clock.TickCount(), 1500u);
  EXPECT_EQ(port.calls.back(), "Close");
  EXPECT_FALSE(port.connected);
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{"Comm: Detaching VX710", "Comm: VX710 detached",
                                      "Comm: Closing port", "Comm: Port close"}));
  EXPECT_EQ(link.linkState(), LinkState::Detached);
  Ticks(20);
  EXPECT_EQ(port.writes.size(), 2u);
}

TEST_F(ControllerLinkHandshakeTest, ReopenRequestedDuringTheAttachPauseStartsOver) {
  OpenAndSendBurst();
  Receive({'M', 'Z', '5'});
  Tick();
  link.ReopenController();  // a resume from standby
  Tick();
  EXPECT_EQ(port.calls[port.calls.size() - 5], "Close");
  EXPECT_EQ(link.linkState(), LinkState::Handshake);
  Ticks(25);
  EXPECT_EQ(link.linkState(), LinkState::Handshake) << "the old answer is not used";
  EXPECT_EQ(port.writes.size(), 20u);
}

TEST_F(ControllerLinkHandshakeTest, BytesFromBeforeAReopenMeetTheNextHandshake) {
  OpenAndSendBurst();
  Receive({'M', 'Z'});
  link.ReopenController();
  Tick();
  ASSERT_EQ(port.calls[port.calls.size() - 5], "Close");
  Receive({'5'});
  Ticks(10);
  EXPECT_FALSE(link.HasReceived(1)) << "the reopen kept 'M' and 'Z'";
  Ticks(20);
  EXPECT_EQ(link.linkState(), LinkState::Attached);
}

TEST_F(ControllerLinkHandshakeTest, FailedOpensAreLoggedOncePerStreakAndSpacedOut) {
  port.openFailuresLeft = 1000;
  std::vector<std::string> statuses;
  link.SetOnStatusChange([&](const std::string& text) { statuses.push_back(text); });
  std::vector<uint32_t> attempts;
  link.Timer1Timer();
  for (int i = 0; i < 60; ++i) {
    const size_t before = port.calls.size();
    Tick();  // never throws: no message box per attempt
    if (port.calls.size() > before) attempts.push_back(clock.TickCount());
  }
  EXPECT_EQ(attempts.front(), 1100u);
  EXPECT_EQ(attempts[1], 1200u);
  for (size_t i = 2; i < attempts.size(); ++i) EXPECT_GE(attempts[i] - attempts[i - 1], 1000u);
  EXPECT_GE(attempts.size(), 6u) << "it keeps retrying";
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{
                "Comm: Opening port",
                "Comm: Cannot open port: Unable to open com port (win error code: 2)"}));
  EXPECT_EQ(link.StatusText(),
            "Cannot open the port: Unable to open com port (win error code: 2) (retrying)");
  EXPECT_EQ(statuses.size(), 2u);

  // The streak ends with a good open; the next failure starts a new one, logged again.
  port.openFailuresLeft = 0;
  Ticks(10);
  EXPECT_EQ(link.linkState(), LinkState::Handshake);
  EXPECT_EQ(shell.logLines[2], "Comm: Port opened");
  port.openFailuresLeft = 5;
  link.SetLinkState(LinkState::Opening);
  Tick();
  EXPECT_EQ(shell.logLines[shell.logLines.size() - 2], "Comm: Opening port");
  EXPECT_EQ(shell.logLines.back(),
            "Comm: Cannot open port: Unable to open com port (win error code: 2)");
}

TEST_F(ControllerLinkHandshakeTest, HellosKeepTheirRhythmWhenTheTimerFiresEarly) {
  link.Timer1Timer();
  for (int i = 0; i < 9; ++i) {
    clock.Advance(99);
    link.Timer1Timer();
  }
  ASSERT_EQ(port.writes.size(), 10u);
  for (size_t i = 1; i < port.writes.size(); ++i) {
    EXPECT_EQ(port.writes[i].tick - port.writes[i - 1].tick, 99u);
  }
}

TEST_F(ControllerLinkHandshakeTest, AttachKeepsItsPauseWhenTheAnswerTickRanLate) {
  OpenAndSendBurst();
  Receive({'M', 'Z', '5'});
  clock.Advance(103);  // 2003: a late tick finds the answer
  link.Timer1Timer();
  clock.Advance(97);
  link.Timer1Timer();
  Ticks(18);  // 3900
  EXPECT_EQ(link.linkState(), LinkState::Handshake);
  Tick();  // 4000, 1997 ms after the answer: the tick the pause ends on
  EXPECT_EQ(link.linkState(), LinkState::Attached);
  EXPECT_EQ(port.writes.back(), (Write{4000, {0xAD, 0xAD}}));
}

// A busy machine: each log line and opening the port take their time, and the link tick comes up
// to 60 ms late. The window's step timer runs the link's timed steps 2 ms after they are due.
class ControllerLinkOnABusyMachineTest : public ControllerLinkHandshakeTest {
 protected:
  struct SlowLog final : LogSink {
    explicit SlowLog(ManualClock& c) : clock(c) {}
    void WriteLog(const std::string&) override { clock.Advance(20); }
    ManualClock& clock;
  };

  // Runs the link's timers until `until` holds or 10 s have passed.
  template <typename Until>
  void Run(Until until) {
    static constexpr uint32_t kLateness[] = {0, 35, 60, 5, 0, 48, 12, 59, 3, 20, 41, 7, 55, 0, 30};
    const uint32_t end = clock.TickCount() + 10000;
    while (!until() && TickReached(end, clock.TickCount())) {
      const uint32_t tick = nextTick_ + kLateness[ticks_ % std::size(kLateness)];
      const std::optional<uint32_t> due = busyLink.NextStepDue();
      const bool step = due && !TickReached(*due + 2, tick);
      const uint32_t at = step ? *due + 2 : tick;
      if (TickReached(at, clock.TickCount())) clock.SetTickCount(at);
      if (step) {
        busyLink.RunDueStep();
      } else {
        busyLink.Timer1Timer();
        nextTick_ += 100;
        ++ticks_;
      }
    }
  }

  SlowLog slowLog{clock};
  ControllerLink busyLink{port, actions, clock, slowLog};
  uint32_t nextTick_ = 1000;
  size_t ticks_ = 0;
};

TEST_F(ControllerLinkOnABusyMachineTest, HellosAre100MsApartAndTheAttachPauseIs2s) {
  Run([&] { return port.writes.size() == 10; });
  ASSERT_EQ(port.writes.size(), 10u);
  EXPECT_EQ(port.writes[0].tick, 1060u) << "after three log lines";
  for (size_t i = 1; i < port.writes.size(); ++i) {
    EXPECT_NEAR(port.writes[i].tick - port.writes[i - 1].tick, 100, 10) << "hello " << i + 1;
  }

  port.Queue({'M', 'Z', '5'});
  busyLink.commRxChar(3);
  uint32_t answerTick = 0;
  Run([&] {
    if (!answerTick && busyLink.NextStepDue()) answerTick = clock.TickCount();
    return busyLink.IsAttached();
  });
  ASSERT_TRUE(busyLink.IsAttached());
  EXPECT_EQ(port.writes.back().bytes, (Bytes{0xAD, 0xAD}));
  EXPECT_EQ(port.writes.back().tick, answerTick + 2002 + 20) << "the attach's log line first";
}

TEST_F(ControllerLinkHandshakeTest, WriteFailurePropagatesAndTheLinkStartsOver) {
  OpenAndSendBurst();
  Receive({'M', 'Z', '5'});
  Ticks(21);
  ASSERT_EQ(link.linkState(), LinkState::Attached);

  // The device vanishes: the failed write is reported once, not every second after.
  port.failWrites = true;
  port.openFailuresLeft = 1000;
  EXPECT_THROW(link.SendToController({0xA2}), fakes::FakePortError);
  EXPECT_EQ(link.linkState(), LinkState::Opening);
  shell.logLines.clear();
  Ticks(50);  // never throws again
  EXPECT_EQ(shell.logLines,
            (std::vector<std::string>{
                "Comm: Opening port",
                "Comm: Cannot open port: Unable to open com port (win error code: 2)"}));

  // The device is back: the link attaches again.
  port.failWrites = false;
  port.openFailuresLeft = 0;
  Ticks(11);
  ASSERT_EQ(link.linkState(), LinkState::Handshake);
  Receive({'M', 'Z', '5'});
  Ticks(40);
  EXPECT_EQ(link.linkState(), LinkState::Attached);
}

TEST_F(ControllerLinkHandshakeTest, PortThatOpensButCannotBeWrittenIsRetriedOnceASecond) {
  port.failWrites = true;
  int reports = 0;
  std::vector<uint32_t> opens;
  for (int i = 0; i < 50; ++i) {
    const size_t before = port.calls.size();
    try {
      Tick();
    } catch (const fakes::FakePortError&) {
      ++reports;
    }
    for (size_t c = before; c < port.calls.size(); ++c) {
      if (port.calls[c] == "Open") opens.push_back(clock.TickCount());
    }
  }
  ASSERT_GE(opens.size(), 2u);
  for (size_t i = 1; i < opens.size(); ++i) EXPECT_GE(opens[i] - opens[i - 1], 1000u);
  EXPECT_LE(reports, 5) << "five seconds give at most five reports";
  EXPECT_EQ(link.linkState(), LinkState::Opening);
}

}  // namespace
}  // namespace trellon
