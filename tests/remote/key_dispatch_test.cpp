#include "remote/key_dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/control_models.h"
#include "fakes/fake_key_dispatch_peers.h"

namespace trellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A key press timeline on a manual clock: At(ms) moves both clocks to ms after the start.
class KeyDispatchTest : public ::testing::Test {
 protected:
  explicit KeyDispatchTest(uint32_t startTick = 500000)
      : clock_(startTick, EncodeDateTime({2026, 12, 7, 21, 37, 12, 321})),
        dispatch_(clock_, edRepeatDead_, edRepeatFirst_, edRepeatNext_, peers_, peers_, peers_) {}

  void At(uint32_t ms) {
    ASSERT_GE(ms, elapsed_);
    clock_.Advance(ms - elapsed_);
    elapsed_ = ms;
  }
  void Key(uint32_t ms, const std::string& name) {
    At(ms);
    dispatch_.DispatchKey(name, true);
  }
  void Repeat(uint32_t ms) {
    At(ms);
    dispatch_.DispatchKey("", true);
  }
  // Link ticks every 100 ms up to and including `untilMs`; each journal entry of the peers is
  // returned with the elapsed time of the tick that caused it.
  std::vector<std::pair<uint32_t, std::string>> TicksUntil(uint32_t untilMs) {
    std::vector<std::pair<uint32_t, std::string>> seen;
    while (elapsed_ + 100 <= untilMs) {
      At(elapsed_ + 100);
      const size_t before = peers_.journal.size();
      dispatch_.ServiceDelayedKeys();
      for (size_t i = before; i < peers_.journal.size(); ++i)
        seen.emplace_back(elapsed_, peers_.journal[i]);
    }
    return seen;
  }

  SpinEditModel edRepeatDead_{"edRepeatDead", 1, 999999999, 10, 250};
  SpinEditModel edRepeatFirst_{"edRepeatFirst", 1, 999999999, 10, 500};
  SpinEditModel edRepeatNext_{"edRepeatNext", 0, 999999999, 10, 0};
  ManualClock clock_;
  fakes::RecordingKeyPeers peers_;
  KeyDispatch dispatch_;
  uint32_t elapsed_ = 0;
};

TEST_F(KeyDispatchTest, RepeatCodeWithoutEarlierRemoteKeyIsIgnored) {
  Repeat(0);
  Repeat(100);
  EXPECT_THAT(peers_.sent, IsEmpty());

  // A made-up key is no remote key either: repeat codes after it are still ignored.
  At(200);
  dispatch_.DispatchKey("vol+", false);
  Repeat(300);
  Repeat(800);
  EXPECT_THAT(peers_.sent, ElementsAre("vol+"));
}

TEST_F(KeyDispatchTest, WorkedTimelineWithDefaultSettings) {
  Key(0, "up");
  for (uint32_t ms : {108u, 216u, 324u, 432u}) Repeat(ms);
  EXPECT_THAT(peers_.sent, ElementsAre("up")) << "repeats within the initial delay are held back";
  EXPECT_FALSE(dispatch_.repeating());

  Repeat(540);
  EXPECT_TRUE(dispatch_.repeating());
  Repeat(648);
  EXPECT_THAT(peers_.sent, ElementsAre("up", "up", "up"));

  // 352 ms since the last code: bogus, and lastCodeTime stays at 648, so 1050 is bogus too.
  const double codeTimeAt648 = dispatch_.lastCodeTime();
  Repeat(1000);
  Repeat(1050);
  EXPECT_EQ(dispatch_.lastCodeTime(), codeTimeAt648);
  EXPECT_EQ(peers_.sent.size(), 3u);

  Key(1200, "up");
  EXPECT_THAT(peers_.sent, ElementsAre("up", "up", "up", "up"));
  EXPECT_FALSE(dispatch_.repeating());
}

TEST_F(KeyDispatchTest, RepeatNextThinsRepeatsButDroppedOnesKeepThePressAlive) {
  edRepeatNext_.SetValue(300);
  Key(0, "right");
  std::vector<uint32_t> sentAt;
  for (uint32_t ms = 108; ms <= 1188; ms += 108) {
    const size_t before = peers_.sent.size();
    Repeat(ms);
    if (peers_.sent.size() > before) sentAt.push_back(ms);
  }
  // 540 first; 648 and 756 are too close but not bogus; 864 is 324 ms after 540; and so on.
  EXPECT_THAT(sentAt, ElementsAre(540u, 864u, 1188u));
}

TEST_F(KeyDispatchTest, CodeExactlyRepeatDeadAfterTheLastCodeIsBogus) {
  Key(0, "down");
  Repeat(100);
  Repeat(350);  // exactly 250 ms after the code at 100
  Repeat(400);
  Repeat(600);
  EXPECT_THAT(peers_.sent, ElementsAre("down"));

  // A new key is never bogus, however long the gap.
  Key(60000, "down");
  EXPECT_THAT(peers_.sent, ElementsAre("down", "down"));
}

TEST_F(KeyDispatchTest, ExactGapIsBogusOnRealClockReadings) {
  // Two wall-clock readings 250 ms apart whose difference in days comes out a hair short of
  // 250 ms when multiplied back.
  const double first = EncodeDateTime({2026, 12, 7, 21, 37, 12, 648});
  const double second = EncodeDateTime({2026, 12, 7, 21, 37, 12, 898});
  ASSERT_LT((second - first) * kSecondsPerDay * 1000.0, 250.0) << "pick readings that show it";

  clock_.SetNow(EncodeDateTime({2026, 12, 7, 21, 37, 12, 548}));
  dispatch_.DispatchKey("ok", true);
  clock_.SetNow(first);
  dispatch_.DispatchKey("", true);  // 100 ms: alive, held back
  clock_.SetNow(second);
  dispatch_.DispatchKey("", true);  // 250 ms after the last code: bogus
  EXPECT_EQ(dispatch_.lastCodeTime(), first);
  clock_.SetNow(EncodeDateTime({2026, 12, 7, 21, 37, 13, 0}));
  dispatch_.DispatchKey("", true);
  EXPECT_THAT(peers_.sent, ElementsAre("ok"));
}

TEST_F(KeyDispatchTest, IntervalsExactlyRepeatFirstAndRepeatNextPass) {
  edRepeatNext_.SetValue(200);
  Key(0, "left");
  Repeat(200);
  Repeat(400);
  Repeat(500);  // exactly RepeatFirst after the press
  Repeat(600);
  Repeat(700);  // exactly RepeatNext after the last one passed
  EXPECT_THAT(peers_.sent, ElementsAre("left", "left", "left"));
}

TEST_F(KeyDispatchTest, KnobStepDuringAHeldRemoteKeyEndsItsRepetition) {
  Key(0, "up");
  Repeat(100);
  At(150);
  dispatch_.DispatchKey("vol+", false);
  EXPECT_TRUE(dispatch_.lastRemoteKey().empty());
  for (uint32_t ms = 200; ms <= 1000; ms += 100) Repeat(ms);
  EXPECT_THAT(peers_.sent, ElementsAre("up", "vol+"));
}

TEST_F(KeyDispatchTest, NewKeyAlwaysResetsTheRepeatState) {
  Key(0, "ok");
  for (uint32_t ms = 100; ms <= 600; ms += 100) Repeat(ms);
  ASSERT_TRUE(dispatch_.repeating());

  Key(650, "ok");  // the same key again, quickly: sent again, repeat state starts over
  EXPECT_FALSE(dispatch_.repeating());
  EXPECT_EQ(dispatch_.pressTime(), dispatch_.lastCodeTime());
  Repeat(750);  // 100 ms into the new press: held back
  EXPECT_THAT(peers_.sent, ElementsAre("ok", "ok", "ok", "ok"));
}

TEST_F(KeyDispatchTest, SettingsAreReadAtTheMomentOfUse) {
  Key(0, "up");
  Repeat(100);
  edRepeatFirst_.SetValue(150);
  Repeat(200);
  EXPECT_THAT(peers_.sent, ElementsAre("up", "up"));

  edRepeatDead_.SetText("fast");  // not a number: reads as the minimum 1, every repeat is bogus
  Repeat(300);
  EXPECT_EQ(peers_.sent.size(), 2u);
}

TEST_F(KeyDispatchTest, HomeRunsItsActionsBeforeItIsSentWithTheHeldTime) {
  peers_.closeAfterMs = 1000;
  Key(0, "home");
  for (uint32_t ms = 100; ms <= 1200; ms += 100) Repeat(ms);
  Key(1300, "ok");
  Key(1400, "home");

  EXPECT_THAT(peers_.homeHeldTimes, ElementsAre(0, 500, 600, 700, 800, 900, 1000, 1100, 1200, 0));
  EXPECT_EQ(peers_.journal[0], "home:0");
  EXPECT_EQ(peers_.journal[1], "send:home");
  // The close flag set at 1000 ms is handed back for the rest of the press, and a new key
  // clears it again.
  EXPECT_TRUE(peers_.homeFlagsSeen[7].closeDone);
  EXPECT_TRUE(peers_.homeFlagsSeen[8].closeDone);
  EXPECT_FALSE(peers_.homeFlagsSeen[9].closeDone);
  EXPECT_FALSE(dispatch_.homeCloseDone());
  EXPECT_EQ(std::count(peers_.sent.begin(), peers_.sent.end(), "home"), 10);
}

TEST_F(KeyDispatchTest, DelayedKeysRunOnePerTickWhenDue) {
  const uint32_t t = clock_.TickCount();
  dispatch_.ScheduleKey("home", t);
  dispatch_.ScheduleKey("stop", t + 5000);
  dispatch_.ScheduleKey(std::string(kPowerOffMarker), t + 10000);

  const auto seen = TicksUntil(12000);
  using Seen = std::pair<uint32_t, std::string>;
  EXPECT_THAT(seen, ElementsAre(Seen{100, "home:0"}, Seen{100, "send:home"},
                                Seen{5000, "send:stop"}, Seen{10000, "poweroff"}));
  EXPECT_THAT(peers_.sent, ElementsAre("home", "stop")) << "the marker never reaches a client";
  EXPECT_THAT(dispatch_.delayedKeys(), IsEmpty());
}

TEST_F(KeyDispatchTest, RemoteKeyCodeCancelsThePendingSequence) {
  const uint32_t t = clock_.TickCount();
  dispatch_.ScheduleKey("home", t);
  dispatch_.ScheduleKey("stop", t + 5000);
  dispatch_.ScheduleKey(std::string(kPowerOffMarker), t + 10000);
  TicksUntil(3000);

  // What the link does for a key code: empty the queue, then act on the key.
  dispatch_.ClearDelayedKeys();
  dispatch_.DispatchKey("ok", true);
  TicksUntil(15000);
  EXPECT_THAT(peers_.journal, ElementsAre("home:0", "send:home", "send:ok"));
}

TEST_F(KeyDispatchTest, EntriesDueTogetherRunOnConsecutiveTicksInListOrder) {
  const uint32_t t = clock_.TickCount();
  dispatch_.ScheduleKey("stop", t + 300);
  dispatch_.ScheduleKey("play", t + 100);  // due earlier, but waits behind the first entry
  dispatch_.ScheduleKey("pause", t + 200);

  const auto seen = TicksUntil(1000);
  using Seen = std::pair<uint32_t, std::string>;
  EXPECT_THAT(seen,
              ElementsAre(Seen{300, "send:stop"}, Seen{400, "send:play"}, Seen{500, "send:pause"}));
}

TEST_F(KeyDispatchTest, DelayedKeyIsSyntheticAndIgnoresRepeatCodes) {
  Key(0, "up");
  dispatch_.ScheduleKey("stop", clock_.TickCount());
  TicksUntil(100);
  Repeat(150);
  Repeat(700);
  EXPECT_THAT(peers_.sent, ElementsAre("up", "stop"));
}

class KeyDispatchWrapTest : public KeyDispatchTest {
 protected:
  // 2 s before the tick count wraps past 2^32.
  KeyDispatchWrapTest() : KeyDispatchTest(0xFFFFFFFFu - 1999u) {}
};

TEST_F(KeyDispatchWrapTest, DueTimesPastTheWrapWaitTheirTurn) {
  const uint32_t t = clock_.TickCount();
  dispatch_.ScheduleKey("home", t);
  dispatch_.ScheduleKey("stop", t + 5000);  // wraps to a small number
  dispatch_.ScheduleKey(std::string(kPowerOffMarker), t + 10000);
  ASSERT_LT(t + 5000, t);

  const auto seen = TicksUntil(11000);
  using Seen = std::pair<uint32_t, std::string>;
  EXPECT_THAT(seen, ElementsAre(Seen{100, "home:0"}, Seen{100, "send:home"},
                                Seen{5000, "send:stop"}, Seen{10000, "poweroff"}));
}

TEST_F(KeyDispatchWrapTest, EntryDueBeforeTheWrapRunsAfterIt) {
  // Due just before the wrap, serviced only after the tick count has wrapped (link was busy).
  dispatch_.ScheduleKey("stop", clock_.TickCount() + 1900);
  At(2500);
  ASSERT_LT(clock_.TickCount(), 1000u);
  dispatch_.ServiceDelayedKeys();
  EXPECT_THAT(peers_.sent, ElementsAre("stop"));
}

}  // namespace
}  // namespace trellon
