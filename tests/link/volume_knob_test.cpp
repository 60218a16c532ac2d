#include "link/volume_knob.h"

#include <gtest/gtest.h>

#include "fakes/fake_controller_port.h"
#include "fakes/fake_link_actions.h"

namespace trellon {
namespace {

using Keys = std::vector<std::string>;

class VolumeKnobTest : public ::testing::Test {
 protected:
  // Sets the lines for a phase (2 × CTS + DSR), raises the change event and returns the keys.
  Keys Turn(int phase) {
    keys.calls.clear();
    port.lines = static_cast<TModemLines>(((phase & 2) ? kLineCTS : 0) |
                                          ((phase & 1) ? kLineDSR : 0) | kLineRing);
    knob.commCTSDSRChange();
    return keys.calls;
  }
  Keys TurnAll(std::initializer_list<int> phases) {
    Keys all;
    for (int phase : phases) {
      const Keys step = Turn(phase);
      all.insert(all.end(), step.begin(), step.end());
    }
    return all;
  }

  fakes::FakeControllerPort port;
  SpinEditModel stretch{"edVolumeControlStretch", 10, 999999999, 10, 200};
  fakes::FakeLinkActions keys;
  VolumeKnob knob{port, stretch, keys};
};

const std::string kUp = "key:vol+/local";
const std::string kDown = "key:vol-/local";

TEST_F(VolumeKnobTest, FirstChangeOnlyRecordsThePhase) {
  EXPECT_TRUE(Turn(2).empty());
  EXPECT_EQ(knob.knobPhase(), 2) << "CTS is bit 0 of the lines and the high bit of the phase";
  EXPECT_EQ(knob.knobSteps(), 0);
}

TEST_F(VolumeKnobTest, Stretch100GivesOneKeyPerStepBothWays) {
  stretch.SetValue(100);
  Turn(0);
  EXPECT_EQ(TurnAll({2, 3, 1, 0}), Keys(4, kUp));
  EXPECT_EQ(TurnAll({1, 3, 2, 0}), Keys(4, kDown));
  EXPECT_EQ(knob.knobSteps(), 0);
}

TEST_F(VolumeKnobTest, Stretch200NeedsTwoStepsUpButOneDownFromZero) {
  Turn(0);
  EXPECT_TRUE(Turn(2).empty());
  EXPECT_EQ(Turn(3), Keys{kUp});
  EXPECT_EQ(Turn(2), Keys{kDown}) << "scaled 0.5 floors to 0";
  EXPECT_TRUE(Turn(0).empty());
  EXPECT_EQ(Turn(1), Keys{kDown}) << "scaled -0.5 floors to -1";
}

TEST_F(VolumeKnobTest, Stretch10GivesTenKeysPerStep) {
  stretch.SetValue(10);
  Turn(0);
  EXPECT_EQ(Turn(2), Keys(10, kUp));
  EXPECT_EQ(Turn(0), Keys(10, kDown));
}

TEST_F(VolumeKnobTest, RepeatedOrSkippedPhasesAreNoStep) {
  stretch.SetValue(100);
  Turn(0);
  EXPECT_TRUE(Turn(0).empty());
  EXPECT_TRUE(Turn(3).empty()) << "two phases away";
  EXPECT_EQ(knob.knobSteps(), 0);
  EXPECT_EQ(Turn(1), Keys{kUp}) << "the skipped phase still became the new reference";
}

TEST_F(VolumeKnobTest, StretchChangeMovesThresholdsWithoutEmittingKeys) {
  Turn(0);
  Turn(2);  // one step at 200 %: scaled 0.5
  stretch.SetValue(100);
  EXPECT_TRUE(Turn(2).empty()) << "same phase: old and new count compared under 100 %";
  EXPECT_EQ(Turn(3), Keys{kUp});
}

TEST_F(VolumeKnobTest, UncommittedStretchBelowTheMinimumIsBounded) {
  Turn(0);
  stretch.SetText("0");
  EXPECT_EQ(Turn(2), Keys(10, kUp));
  stretch.SetText("-50");
  EXPECT_EQ(Turn(0), Keys(10, kDown));
}

}  // namespace
}  // namespace trellon
