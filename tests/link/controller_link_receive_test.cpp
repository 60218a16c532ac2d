#include <algorithm>

#include "controller_link_fixture.h"

namespace trellon {
namespace {

using Events = std::vector<std::string>;

// A link that is attached, with the calls and writes of the attach forgotten.
class ControllerLinkReceiveTest : public ControllerLinkFixture {
 protected:
  ControllerLinkReceiveTest() : ControllerLinkFixture(5000) {}
  void SetUp() override {
    link.Timer1Timer();
    Receive({'M', 'Z', '5'});
    Ticks(30);
    ASSERT_EQ(link.linkState(), LinkState::Attached);
    actions.calls.clear();
    port.writes.clear();
  }
  Events ReceiveAndTick(const Bytes& bytes) {
    actions.calls.clear();
    Receive(bytes);
    Tick();
    return actions.Events();
  }
};

TEST_F(ControllerLinkReceiveTest, ChannelBytesRouteTemperatures) {
  ReceiveAndTick({0xFB, 0xB4, 0xFC, 0xAF});
  EXPECT_EQ(actions.caseTemperatures[0], 30);
  EXPECT_EQ(actions.caseTemperatures[1], 25);
  EXPECT_EQ(link.tempChannel(), 1);
  ReceiveAndTick({0x96});
  EXPECT_EQ(actions.caseTemperatures[1], 0) << "150 reads as no reading";
  EXPECT_TRUE(actions.Events().empty()) << "temperatures leave the delayed keys alone";
}

class ControllerLinkFreshTest : public ControllerLinkFixture {
 protected:
  ControllerLinkFreshTest() : ControllerLinkFixture(0) {}
};

TEST_F(ControllerLinkFreshTest, TemperatureBeforeAnyChannelByteGoesToTheRearSensor) {
  link.SetLinkState(LinkState::Attached);
  Receive({0xFA});
  Tick();
  EXPECT_EQ(actions.caseTemperatures, (std::array<int32_t, 2>{100, 0}));
}

TEST_F(ControllerLinkReceiveTest, IgnoredBytesChangeNothingButKeyCodesEmptyTheQueue) {
  EXPECT_TRUE(ReceiveAndTick({0, 127, 253, 254, 255}).empty());
  EXPECT_EQ(actions.caseTemperatures, (std::array<int32_t, 2>{}));
  EXPECT_EQ(ReceiveAndTick({2}), Events{"clear"});

  // The codes of 1..125 without a key or an action: 2, 4, 6, 8, 12, 16, 24, 28, 32..63, 68, 72,
  // 73, 87..125.
  Bytes unnamed = {2, 4, 6, 8, 12, 16, 24, 28, 68, 72, 73};
  for (uint8_t b = 32; b <= 63; ++b) unnamed.push_back(b);
  for (uint8_t b = 87; b <= 125; ++b) unnamed.push_back(b);
  ASSERT_EQ(unnamed.size(), 82u);
  EXPECT_EQ(ReceiveAndTick(unnamed), Events(82, "clear"));
  // ... and every other code of 1..125 is a key or an action.
  Bytes named;
  for (uint8_t b = 1; b <= 125; ++b) {
    if (std::find(unnamed.begin(), unnamed.end(), b) == unnamed.end()) named.push_back(b);
  }
  const Events events = ReceiveAndTick(named);
  EXPECT_EQ(std::count(events.begin(), events.end(), "clear"), 43);
  EXPECT_EQ(events.size(), 86u);
}

TEST_F(ControllerLinkReceiveTest, CodesBecomeKeysPowerAndDisplayModeInOrder) {
  EXPECT_EQ(ReceiveAndTick({66, 126, 85, 1}),
            (Events{"clear", "key:ok/remote", "key:/remote", "clear", "key:home/remote", "clear",
                    "key:stop/remote"}));
  EXPECT_EQ(ReceiveAndTick({65}), (Events{"clear", "power"}));
  EXPECT_EQ(ReceiveAndTick({71, 71}), (Events{"clear", "display:1", "clear", "display:0"}));
  EXPECT_TRUE(port.writes.empty()) << "nothing is answered";
}

TEST_F(ControllerLinkReceiveTest, BytesAreActedOnWhenTheyArriveAfterTheDelayedKeyOfTheTick) {
  Receive({10});
  EXPECT_EQ(actions.calls, (Events{"service", "clear", "key:vol+/remote"}))
      << "decoded in the receive handler, after the delayed key the tick would have run first";
  EXPECT_EQ(port.calls.back(), "ReadBytes(1)");
  Receive({126, 0xFB, 0xB4});
  EXPECT_EQ(actions.calls, (Events{"service", "clear", "key:vol+/remote", "key:/remote"}))
      << "one delayed key per tick period, however many times bytes come in";
  EXPECT_EQ(actions.caseTemperatures[0], 30);
  Tick();
  EXPECT_EQ(actions.calls.size(), 4u) << "the tick of that period runs no second delayed key";
  Tick();
  EXPECT_EQ(actions.calls.back(), "service") << "the next period's tick does";
  actions.calls.clear();
  Receive({66});
  EXPECT_EQ(actions.calls, (Events{"service", "clear", "key:ok/remote"}))
      << "bytes after that tick belong to the following period";
}

TEST_F(ControllerLinkReceiveTest, BytesLeftByAFailingActionAreDecodedByTheTick) {
  actions.failOnKey = "ok";
  EXPECT_THROW(Receive({66, 10}), std::runtime_error);
  actions.failOnKey.clear();
  EXPECT_TRUE(link.HasReceived(1)) << "the byte after the failing one waits";
  Tick();
  EXPECT_EQ(actions.calls.back(), "key:vol+/remote");
  EXPECT_FALSE(link.HasReceived(1));
}

TEST_F(ControllerLinkReceiveTest, BytesBeforeTheAttachWaitForTheTick) {
  link.SetLinkState(LinkState::Handshake);
  actions.calls.clear();
  Receive({66});
  EXPECT_TRUE(actions.calls.empty()) << "only an attached link decodes on arrival";
  EXPECT_TRUE(link.HasReceived(1));
}

TEST_F(ControllerLinkReceiveTest, DetachWhenAttachedTimesItsFramesAndStaysDetached) {
  shell.logLines.clear();
  const uint32_t start = clock.TickCount();
  link.DetachController();
  ASSERT_EQ(port.writes.size(), 2u);
  EXPECT_EQ(port.writes[0], (Write{start + 100, {0xA5, 0xA5}}));
  EXPECT_EQ(port.writes[1], (Write{start + 200, {0xA3, 0x30, 0xA4, 0x30}}));
  EXPECT_EQ(clock.TickCount(), start + 300);
  EXPECT_EQ(link.linkState(), LinkState::Detached);
  EXPECT_FALSE(link.IsAttached());
  actions.calls.clear();
  Receive({66});
  Ticks(20);
  EXPECT_TRUE(actions.calls.empty()) << "no service, no keys while detached";
  EXPECT_EQ(port.writes.size(), 2u);
}

// The machine goes to sleep right after: nothing may reopen the port before the resume.
TEST_F(ControllerLinkReceiveTest, DetachWithAFailingWriteStillClosesThePortAndStaysIdle) {
  shell.logLines.clear();
  port.failWrites = true;
  EXPECT_THROW(link.DetachController(), fakes::FakePortError);
  EXPECT_FALSE(port.connected);
  EXPECT_EQ(port.calls.back(), "Close");
  EXPECT_EQ(link.linkState(), LinkState::Detached);
  EXPECT_EQ(shell.logLines,
            (Events{"Comm: Detaching VX710", "Comm: Closing port", "Comm: Port close"}));
  const size_t calls = port.calls.size();
  Ticks(30);
  EXPECT_EQ(port.calls.size(), calls) << "no reopen while detached";

  port.failWrites = false;
  link.ReopenController();  // the resume
  Tick();
  EXPECT_EQ(port.calls[calls + 1], "Open");
  EXPECT_EQ(link.linkState(), LinkState::Handshake);
}

TEST_F(ControllerLinkReceiveTest, FloodWithoutAnswerIsBoundedDroppingTheOldest) {
  link.SetLinkState(LinkState::Handshake);
  Bytes flood(ControllerLink::kRxBufferLimit + 10, 0x00);
  flood[10] = 0x42;
  Receive(flood);
  EXPECT_TRUE(link.HasReceived(ControllerLink::kRxBufferLimit));
  EXPECT_FALSE(link.HasReceived(ControllerLink::kRxBufferLimit + 1));
  EXPECT_EQ(link.TakeReceived(1), Bytes{0x42});
}

}  // namespace
}  // namespace trellon
