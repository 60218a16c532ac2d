#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/control_models.h"
#include "fakes/fake_key_dispatch_peers.h"
#include "fakes/fake_virtual_keyboard.h"
#include "remote/input_key_table.h"
#include "remote/key_dispatch.h"
#include "remote/lirc_format.h"
#include "remote/virtual_keyboard.h"

namespace trellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Stands in for the platform's name lookup: the names the tests use, with Linux's numbers.
std::optional<int> CodeForTestName(std::string_view name) {
  static const std::map<std::string, int, std::less<>> codes{
      {"KEY_ENTER", 28}, {"KEY_SELECT", 0x161}, {"KEY_UP", 103}, {"KEY_ESC", 1}};
  const auto it = codes.find(name);
  if (it == codes.end()) return std::nullopt;
  return it->second;
}

TEST(InputKeyTable, BuiltInTableGivesEveryRemoteKeyButPowerItsOwnKey) {
  const InputKeyTable table;
  std::set<std::string> inputKeys;
  for (const std::string& remoteKey : InputKeyTable::RemoteKeyNames()) {
    const std::optional<std::string> inputKey = table.InputKeyFor(remoteKey);
    if (remoteKey == "power") {
      EXPECT_FALSE(inputKey) << "the desktop would shut down beside the program's power action";
      continue;
    }
    ASSERT_TRUE(inputKey) << remoteKey;
    EXPECT_TRUE(inputKeys.insert(*inputKey).second) << remoteKey << " shares " << *inputKey;
  }
  EXPECT_EQ(table.InputKeyFor("ok"), "KEY_ENTER");
  EXPECT_EQ(table.InputKeyFor("vol+"), "KEY_VOLUMEUP");
  EXPECT_EQ(table.InputKeyFor("7"), "KEY_7");
}

TEST(InputKeyTable, OverridesReplaceOneEntryAddNewKeysAndSwitchKeysOff) {
  InputKeyTable table;
  table.Override("ok", "KEY_SELECT");
  table.Override("back", "");
  table.Override("power", "KEY_SLEEP");
  EXPECT_EQ(table.InputKeyFor("ok"), "KEY_SELECT");
  EXPECT_FALSE(table.InputKeyFor("back"));
  EXPECT_EQ(table.InputKeyFor("power"), "KEY_SLEEP");
  // Untouched entries keep the built-in key.
  EXPECT_EQ(table.InputKeyFor("up"), "KEY_UP");
  EXPECT_EQ(table.Entries().size(), InputKeyTable().Entries().size());
}

TEST(InputKeyTable, EntriesAreKeyNamesOrCodesWithinLinuxRange) {
  EXPECT_EQ(InputKeyCode("KEY_ENTER", CodeForTestName), 28);
  EXPECT_EQ(InputKeyCode("352", CodeForTestName), 352);
  EXPECT_EQ(InputKeyCode("767", CodeForTestName), 767);
  EXPECT_FALSE(InputKeyCode("768", CodeForTestName));
  EXPECT_FALSE(InputKeyCode("0", CodeForTestName));
  EXPECT_FALSE(InputKeyCode("-5", CodeForTestName));
  EXPECT_FALSE(InputKeyCode("28x", CodeForTestName));
  EXPECT_FALSE(InputKeyCode("KEY_NOSUCH", CodeForTestName));
  EXPECT_FALSE(InputKeyCode("", CodeForTestName));

  InputKeyTable table;
  table.Override("ok", "KEY_SELECT");
  table.Override("up", "KEY_TYPO");
  std::vector<std::string> unknown;
  const auto codes = ResolveInputKeys(table, CodeForTestName, unknown);
  EXPECT_EQ(codes.at("ok"), 0x161);
  EXPECT_EQ(codes.at("exit"), 1);
  EXPECT_FALSE(codes.contains("up"));
  EXPECT_THAT(unknown, ::testing::Contains("up=KEY_TYPO"));
}

TEST(InputKeyOutput, EveryForwardedKeyPressOrRepeatIsOneWholeKeystroke) {
  fakes::FakeVirtualKeyboard keyboard;
  InputKeyOutput output({{"ok", 28}, {"up", 103}}, keyboard);
  output.KeyForwarded({"ok", false});
  output.KeyForwarded({"up", true});
  output.KeyForwarded({"detail", false});  // not in the table: nothing
  EXPECT_THAT(keyboard.events,
              ElementsAre(InputEvent{1, 28, 1}, InputEvent{0, 0, 0}, InputEvent{1, 28, 0},
                          InputEvent{0, 0, 0}, InputEvent{1, 103, 1}, InputEvent{0, 0, 0},
                          InputEvent{1, 103, 0}, InputEvent{0, 0, 0}));
  EXPECT_EQ(keyboard.writes, 2);

  // A device that stopped taking events costs that keystroke only.
  keyboard.accepts = false;
  output.KeyForwarded({"ok", false});
  keyboard.accepts = true;
  output.KeyForwarded({"ok", false});
  EXPECT_EQ(keyboard.events.size(), 12u);
  EXPECT_THAT(InputKeyOutput::CodesOf({{"a", 5}, {"b", 3}, {"c", 5}}), ElementsAre(3, 5));
}

TEST(LircFormat, LinesCarryTheControllerCodeTheRepeatCountAndTheRemote) {
  EXPECT_EQ(LircLine(LircCodeForKey("ok"), 0, "ok"), "0000000000000042 00 ok vx710\n");
  EXPECT_EQ(LircLine(LircCodeForKey("vol+"), 0x1f, "vol+"), "000000000000000a 1f vol+ vx710\n");
  EXPECT_EQ(LircCodeForKey("power"), 65u);
  EXPECT_EQ(LircCodeForKey("nosuch"), 0u);
}

TEST(LircFormat, RepeatCountsStartAtZeroPerPressAndStopAt255) {
  LircRepeatCounter counter;
  EXPECT_EQ(counter.Next({"up", true}), 1);  // a repeat without a press before still counts
  EXPECT_EQ(counter.Next({"up", false}), 0);
  EXPECT_EQ(counter.Next({"up", true}), 1);
  EXPECT_EQ(counter.Next({"up", true}), 2);
  EXPECT_EQ(counter.Next({"down", false}), 0);
  for (int i = 0; i < 300; ++i) counter.Next({"down", true});
  EXPECT_EQ(counter.Next({"down", true}), 255);
  EXPECT_EQ(counter.Next({"ok", false}), 0);
}

// The outputs beside the key server get what it gets, in its order, with press and repeat told
// apart as the repeat filter decided.
class KeyOutputsFromDispatchTest : public ::testing::Test {
 protected:
  KeyOutputsFromDispatchTest()
      : clock_(1000, EncodeDateTime({2026, 12, 7, 21, 0, 0, 0})),
        dispatch_(clock_, edRepeatDead_, edRepeatFirst_, edRepeatNext_, peers_, peers_, peers_) {
    dispatch_.AddKeyOutput(output_);
  }

  void At(uint32_t ms) {
    clock_.Advance(ms - elapsed_);
    elapsed_ = ms;
  }

  SpinEditModel edRepeatDead_{"edRepeatDead", 1, 999999999, 10, 250};
  SpinEditModel edRepeatFirst_{"edRepeatFirst", 1, 999999999, 10, 500};
  SpinEditModel edRepeatNext_{"edRepeatNext", 0, 999999999, 10, 0};
  ManualClock clock_;
  fakes::RecordingKeyPeers peers_;
  fakes::RecordingKeyOutput output_;
  KeyDispatch dispatch_;
  uint32_t elapsed_ = 0;
};

TEST_F(KeyOutputsFromDispatchTest, RepeatsTheFilterDropsNeverReachTheOutputs) {
  dispatch_.DispatchKey("up", true);
  for (uint32_t ms = 108; ms <= 648; ms += 108) {
    At(ms);
    dispatch_.DispatchKey("", true);
  }
  At(1000);
  dispatch_.DispatchKey("", true);  // bogus: too late after the last code
  At(1100);
  dispatch_.DispatchKey("vol+", false);
  At(1150);
  dispatch_.DispatchKey("", true);  // after a knob step: ignored
  EXPECT_THAT(output_.keys, ElementsAre("up", "up+", "up+", "vol+"));
  EXPECT_THAT(peers_.sent, ElementsAre("up", "up", "up", "vol+"));
}

TEST_F(KeyOutputsFromDispatchTest, OutputsFollowTheKeyServerAndCanBeRemoved) {
  fakes::RecordingKeyOutput second;
  dispatch_.AddKeyOutput(second);
  dispatch_.DispatchKey("home", true);
  dispatch_.RemoveKeyOutput(output_);
  dispatch_.DispatchKey("ok", true);
  EXPECT_THAT(peers_.journal, ElementsAre("home:0", "send:home", "send:ok"));
  EXPECT_THAT(output_.keys, ElementsAre("home"));
  EXPECT_THAT(second.keys, ElementsAre("home", "ok"));
}

}  // namespace
}  // namespace trellon
