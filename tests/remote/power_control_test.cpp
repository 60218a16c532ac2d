#include "remote/power_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/control_models.h"
#include "fakes/fake_key_dispatch_peers.h"
#include "fakes/fake_power_system.h"
#include "fakes/recording_shell.h"
#include "remote/key_dispatch.h"

namespace trellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

RadioGroupModel MakePowerOffDo() {
  return RadioGroupModel("rbPowerOffDo", "Do",
                         {"Try to hibernate Windows (safe)", "Try to standby Windows (safe)",
                          "Send \"power\" RC (bad!!)", "Shutdown Windows (unsafe!!)", "Nothing"},
                         0);
}

// The power control on its own, with every peer recorded.
class PowerControlTest : public ::testing::Test {
 protected:
  PowerControlTest()
      : power_(clock_, cbPowerOffStopHome_, rbPowerOffDo_, queue_, queue_, system_, link_, shell_,
               shell_) {}

  ManualClock clock_{123456};
  CheckBoxModel cbPowerOffStopHome_{"cbPowerOffStopHome", "Send \"home\" RC and \"stop\" RC", true};
  RadioGroupModel rbPowerOffDo_ = MakePowerOffDo();
  fakes::RecordingKeyQueue queue_;
  fakes::RecordingPowerSystem system_;
  fakes::RecordingLinkControl link_;
  fakes::RecordingShell shell_;
  PowerControl power_;
};

TEST_F(PowerControlTest, PowerKeyShowsPowerOffAndQueuesHomeStopAndTheAction) {
  power_.PowerKeyPressed();
  ASSERT_EQ(shell_.overlays.size(), 1u);
  EXPECT_EQ(shell_.overlays[0].text, "Power Off");
  EXPECT_EQ(shell_.overlays[0].seconds, 2);
  ASSERT_EQ(queue_.scheduled.size(), 3u);
  EXPECT_EQ(queue_.scheduled[0].text, "home");
  EXPECT_EQ(queue_.scheduled[0].due, 123456u);
  EXPECT_EQ(queue_.scheduled[1].text, "stop");
  EXPECT_EQ(queue_.scheduled[1].due, 128456u);
  EXPECT_EQ(queue_.scheduled[2].text, "@PowerOffDo");
  EXPECT_EQ(queue_.scheduled[2].due, 133456u);
  EXPECT_THAT(system_.calls, IsEmpty()) << "nothing happens before the queue runs";
  EXPECT_THAT(queue_.dispatched, IsEmpty());
}

TEST_F(PowerControlTest, PowerKeyWithoutHomeAndStopQueuesOnlyTheAction) {
  cbPowerOffStopHome_.SetChecked(false);
  power_.PowerKeyPressed();
  ASSERT_EQ(queue_.scheduled.size(), 1u);
  EXPECT_EQ(queue_.scheduled[0].text, "@PowerOffDo");
  EXPECT_EQ(queue_.scheduled[0].due, 123456u);
}

TEST_F(PowerControlTest, EachPowerOffItemRunsItsAction) {
  struct Case {
    int32_t item;
    std::vector<std::string> systemCalls;
    std::vector<std::string> keys;
  };
  const std::vector<Case> cases = {
      {0, {"EnableShutdownPrivilege", "Hibernate"}, {}},
      {1, {"EnableShutdownPrivilege", "Suspend"}, {}},
      {2, {}, {"power/synthetic"}},
      {3, {"EnableShutdownPrivilege", "PowerOff"}, {}},
      {4, {}, {}},
      {-1, {}, {}},  // no item selected
  };
  system_.privilegeResult = false;  // the action goes ahead anyway
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    system_.calls.clear();
    queue_.dispatched.clear();
    rbPowerOffDo_.SetItemIndex(c.item);
    power_.DoPowerOff();
    EXPECT_EQ(system_.calls, c.systemCalls);
    EXPECT_EQ(queue_.dispatched, c.keys);
  }
  EXPECT_THAT(shell_.logLines, IsEmpty()) << "power actions are not logged";
  EXPECT_THAT(link_.calls, IsEmpty());
}

TEST_F(PowerControlTest, EveryPowerEventCodeHasItsLogLineAndAction) {
  struct Expected {
    std::optional<std::string> logLine;
    std::vector<std::string> linkCalls;
  };
  auto expectedFor = [](uint32_t code) -> Expected {
    switch (code) {
      case 0:
      case 1:
        return {"Query standby/suspend", {}};
      case 2:
      case 3:
        return {"Query standby/suspend failed", {"ReopenController"}};
      case 4:
      case 5:
        return {"Standby/suspend", {"DetachController"}};
      case 6:
        return {"Resume critical", {"ReopenController"}};
      case 7:
        return {"Resume suspend", {"ReopenController"}};
      case 18:
        return {"Resume automatic", {"ReopenController"}};
      default:
        return {std::nullopt, {}};
    }
  };
  for (uint32_t code : {0u,  1u,  2u,  3u,  4u,  5u,  6u,  7u,  8u,  9u,     10u,
                        11u, 12u, 13u, 14u, 15u, 16u, 17u, 18u, 19u, 32787u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(code);
    shell_.logLines.clear();
    link_.calls.clear();
    const Expected expected = expectedFor(code);
    power_.PowerBroadcast(code);
    if (expected.logLine) {
      EXPECT_THAT(shell_.logLines, ElementsAre(*expected.logLine));
    } else {
      EXPECT_THAT(shell_.logLines, IsEmpty());
    }
    EXPECT_EQ(link_.calls, expected.linkCalls);
  }
  EXPECT_THAT(system_.calls, IsEmpty());
  EXPECT_THAT(queue_.scheduled, IsEmpty());
}

// Power key, queue and dispatch together, ticking like the link timer while attached.
class PowerSequenceTest : public ::testing::Test {
 protected:
  PowerSequenceTest()
      : power_(clock_, cbPowerOffStopHome_, rbPowerOffDo_, dispatch_, dispatch_, system_, link_,
               shell_, shell_),
        dispatch_(clock_, edRepeatDead_, edRepeatFirst_, edRepeatNext_, peers_, peers_, power_) {}

  // What the link does with the power code and with any other key code.
  void PowerCode() {
    dispatch_.ClearDelayedKeys();
    power_.PowerKeyPressed();
  }
  void KeyCode(const std::string& name) {
    dispatch_.ClearDelayedKeys();
    dispatch_.DispatchKey(name, true);
  }
  // Ticks every 100 ms up to `untilMs`; returns what reached the clients and the power system,
  // each with the time of its tick.
  std::vector<std::pair<uint32_t, std::string>> TicksUntil(uint32_t untilMs) {
    std::vector<std::pair<uint32_t, std::string>> seen;
    while (elapsed_ + 100 <= untilMs) {
      clock_.Advance(100);
      elapsed_ += 100;
      const size_t sent = peers_.sent.size();
      const size_t calls = system_.calls.size();
      dispatch_.ServiceDelayedKeys();
      for (size_t i = sent; i < peers_.sent.size(); ++i)
        seen.emplace_back(elapsed_, "send:" + peers_.sent[i]);
      for (size_t i = calls; i < system_.calls.size(); ++i)
        seen.emplace_back(elapsed_, system_.calls[i]);
    }
    return seen;
  }

  ManualClock clock_{7000000};
  SpinEditModel edRepeatDead_{"edRepeatDead", 1, 999999999, 10, 250};
  SpinEditModel edRepeatFirst_{"edRepeatFirst", 1, 999999999, 10, 500};
  SpinEditModel edRepeatNext_{"edRepeatNext", 0, 999999999, 10, 0};
  CheckBoxModel cbPowerOffStopHome_{"cbPowerOffStopHome", "Send \"home\" RC and \"stop\" RC", true};
  RadioGroupModel rbPowerOffDo_ = MakePowerOffDo();
  fakes::RecordingKeyPeers peers_;
  fakes::RecordingPowerSystem system_;
  fakes::RecordingLinkControl link_;
  fakes::RecordingShell shell_;
  // The power control schedules through the dispatch, which runs the power control's action:
  // the one that is made first holds a reference to the other that it does not use until both
  // exist.
  PowerControl power_;
  KeyDispatch dispatch_;
  uint32_t elapsed_ = 0;
};

using Seen = std::pair<uint32_t, std::string>;

TEST_F(PowerSequenceTest, HomeAtOnceStopAfterFiveSecondsHibernateAfterTen) {
  PowerCode();
  EXPECT_THAT(TicksUntil(12000),
              ElementsAre(Seen{100, "send:home"}, Seen{5000, "send:stop"},
                          Seen{10000, "EnableShutdownPrivilege"}, Seen{10000, "Hibernate"}));
  EXPECT_THAT(peers_.homeHeldTimes, ElementsAre(0)) << "the made-up home is a new press";
}

TEST_F(PowerSequenceTest, NothingSelectedSendsOnlyHomeAndStop) {
  rbPowerOffDo_.SetItemIndex(kPowerOffNothing);
  PowerCode();
  EXPECT_THAT(TicksUntil(15000), ElementsAre(Seen{100, "send:home"}, Seen{5000, "send:stop"}));
}

TEST_F(PowerSequenceTest, SendPowerKeyWithoutHomeAndStop) {
  cbPowerOffStopHome_.SetChecked(false);
  rbPowerOffDo_.SetItemIndex(kPowerOffSendPowerKey);
  PowerCode();
  EXPECT_THAT(TicksUntil(15000), ElementsAre(Seen{100, "send:power"}));
  EXPECT_TRUE(dispatch_.lastRemoteKey().empty());
}

TEST_F(PowerSequenceTest, AnyRemoteKeyBeforeTheActionCancelsIt) {
  PowerCode();
  TicksUntil(9900);
  KeyCode("back");
  EXPECT_THAT(TicksUntil(20000), IsEmpty());
  EXPECT_THAT(system_.calls, IsEmpty());
  EXPECT_THAT(peers_.sent, ElementsAre("home", "stop", "back"));
}

TEST_F(PowerSequenceTest, PowerKeyAgainStartsTheSequenceOver) {
  PowerCode();
  TicksUntil(4000);
  PowerCode();
  EXPECT_THAT(TicksUntil(15000),
              ElementsAre(Seen{4100, "send:home"}, Seen{9000, "send:stop"},
                          Seen{14000, "EnableShutdownPrivilege"}, Seen{14000, "Hibernate"}));
}

TEST_F(PowerSequenceTest, SequenceStallsWhileDetachedAndIsDroppedOnAttach) {
  PowerCode();
  TicksUntil(100);
  // The link is not attached: no ticks service the queue. On attach it empties the queue.
  clock_.Advance(30000);
  elapsed_ += 30000;
  dispatch_.ClearDelayedKeys();
  EXPECT_THAT(TicksUntil(45000), IsEmpty());
  EXPECT_THAT(peers_.sent, ElementsAre("home"));
}

}  // namespace
}  // namespace trellon
