#include "fans/fan_regulation.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

#include "fakes/fake_controller_channel.h"
#include "fakes/fake_fan_status_view.h"
#include "fakes/fake_speedfan_view.h"
#include "protocol/controller_protocol.h"

namespace trellon {
namespace {

using Frames = std::vector<std::vector<uint8_t>>;

// The Fan Control page with its default settings: min 35, max 65, response 20 everywhere.
class FanRegulationTest : public ::testing::Test {
 protected:
  FanRegulationTest() {
    auto make = [this](const std::string& name, int32_t lo, int32_t hi, int32_t value) {
      auto edit = std::make_unique<SpinEditModel>(name, lo, hi, 1, value);
      edit->SetOnChange([this] { ++saves; });
      return edit;
    };
    for (int s = 0; s < kSensorCount; ++s) {
      const std::string i = std::to_string(s);
      controls.minRear[s] = make("minr" + i, 0, 0, 35);
      controls.maxRear[s] = make("maxr" + i, 0, 100, 65);
      controls.respRear[s] = make("resr" + i, 1, 30, 20);
      controls.minFront[s] = make("minf" + i, 0, 0, 35);
      controls.maxFront[s] = make("maxf" + i, 0, 100, 65);
      controls.respFront[s] = make("resf" + i, 1, 30, 20);
    }
    for (int i = 0; i < kSpeedFanSensorCount; ++i) {
      controls.sfIndexEdits[i] = make("sf" + std::to_string(i), 0, 31, i);
    }
    regulation = std::make_unique<FanRegulation>(
        state,
        FanControls{SpinEditRefsOf(controls.minRear), SpinEditRefsOf(controls.maxRear),
                    SpinEditRefsOf(controls.respRear), SpinEditRefsOf(controls.minFront),
                    SpinEditRefsOf(controls.maxFront), SpinEditRefsOf(controls.respFront),
                    SpinEditRefsOf(controls.sfIndexEdits)},
        speedFan, channel, view);
  }
  void SetAllResponses(int32_t value) {
    for (int s = 0; s < kSensorCount; ++s) {
      controls.respRear[s]->SetValue(value);
      controls.respFront[s]->SetValue(value);
    }
  }

  // The page's controls as the window owns them.
  struct OwnedControls {
    std::array<std::unique_ptr<SpinEditModel>, kSensorCount> minRear, maxRear, respRear;
    std::array<std::unique_ptr<SpinEditModel>, kSensorCount> minFront, maxFront, respFront;
    std::array<std::unique_ptr<SpinEditModel>, kSpeedFanSensorCount> sfIndexEdits;
  };
  int saves = 0;
  OwnedControls controls;
  FanState state;
  fakes::FakeSpeedFanView speedFan;
  fakes::FakeControllerChannel channel;
  fakes::FakeFanStatusView view;
  std::unique_ptr<FanRegulation> regulation;
};

TEST_F(FanRegulationTest, FiftyDegreesMovesTheDutyAtTheResponseRate) {
  state.tempIncoming[0] = 50;
  regulation->Timer2Timer();
  EXPECT_DOUBLE_EQ(state.fanDuty[0], 2.5);
  EXPECT_DOUBLE_EQ(state.fanDuty[1], 2.5);
  regulation->Timer2Timer();
  EXPECT_DOUBLE_EQ(state.fanDuty[0], 4.875);
  EXPECT_TRUE(channel.frames.empty()) << "nothing is sent while detached";
  EXPECT_EQ(view.fanText[0], "100 %");
}

TEST_F(FanRegulationTest, ResponseOneJumpsAndLimitsAreInclusive) {
  SetAllResponses(1);
  state.tempIncoming = {35, 0, 0, 0, 0, 0};
  regulation->Timer2Timer();
  EXPECT_DOUBLE_EQ(state.fanDuty[0], 0.0) << "exactly the minimum asks 0 %";
  state.tempIncoming = {35, 65, 0, 0, 0, 0};
  regulation->Timer2Timer();
  EXPECT_DOUBLE_EQ(state.fanDuty[0], 100.0) << "exactly the maximum asks 100 %";
  controls.maxFront[1]->SetValue(95);
  regulation->Timer2Timer();
  EXPECT_DOUBLE_EQ(state.fanDuty[1], 50.0) << "each fan reads its own table";
}

TEST_F(FanRegulationTest, BelowAllMinimumsTheSlowestSensorSetsTheDecay) {
  state.fanDuty = {80.0, 80.0};
  controls.respRear[3]->SetValue(30);
  regulation->Timer2Timer();
  EXPECT_DOUBLE_EQ(state.fanDuty[0], 80.0 - 80.0 / 30);
  EXPECT_DOUBLE_EQ(state.fanDuty[1], 80.0 - 80.0 / 20);
}

TEST_F(FanRegulationTest, CommandsWhenTheRoundedDutyChangesThenTheTickByte) {
  channel.attached = true;
  SetAllResponses(1);
  state.tempIncoming[0] = 50;  // asks exactly 50 %
  regulation->Timer2Timer();
  EXPECT_EQ(channel.frames, (Frames{{0xA3, 88}, {0xA4, 88}, {0xA2}})) << "88.5 rounds to even";
  EXPECT_EQ(view.fanText, (std::array<std::string, 2>{"50 %", "50 %"}));

  channel.frames.clear();
  state.tempIncoming[0] = 65;
  controls.maxRear[0]->SetValue(100);  // rear: (65 - 35) / (100 - 35): 46.15 %
  regulation->Timer2Timer();
  EXPECT_EQ(channel.frames, (Frames{{0xA3, 82}, {0xA4, 0xB1}, {0xA2}}));
  EXPECT_EQ(view.fanText[1], "100 %");

  channel.frames.clear();
  state.tempIncoming[0] = 65;
  controls.minRear[0]->SetValue(34);  // (65 - 34) / (100 - 34): 46.97 %, rounds to 47
  regulation->Timer2Timer();
  EXPECT_EQ(channel.frames, (Frames{{0xA3, 83}, {0xA2}}));
  state.fanDuty[0] = 47.4;
  channel.frames.clear();
  controls.minRear[0]->SetValue(35);
  controls.maxRear[0]->SetValue(100);
  controls.respRear[0]->SetValue(30);  // moves the duty by less than a rounding step
  state.tempIncoming[0] = 66;
  regulation->Timer2Timer();
  EXPECT_EQ(channel.frames, (Frames{{0xA2}}));
}

TEST_F(FanRegulationTest, ZeroDutySendsZeroAfterAttach) {
  channel.attached = true;
  regulation->Timer2Timer();
  EXPECT_EQ(channel.frames, (Frames{{0xA3, 0}, {0xA4, 0}, {0xA2}}));
  EXPECT_EQ(view.fanText[0], "0 %");
  EXPECT_EQ(vx710::FanValueForDuty(100.0), 0xB1);
  EXPECT_EQ(vx710::FanValueForDuty(150.0), 0xB1);
}

TEST_F(FanRegulationTest, MinimumAboveMaximumIsCorrectedInTheControlAndSaved) {
  controls.minRear[2]->SetValue(70);
  saves = 0;
  regulation->Timer2Timer();
  EXPECT_EQ(controls.minRear[2]->Text(), "64");
  EXPECT_EQ(saves, 1);
  regulation->Timer2Timer();
  EXPECT_EQ(saves, 1);
}

TEST_F(FanRegulationTest, SpeedFanSlotsRoundToWholeDegreesAndDriveTheLabels) {
  speedFan.slotValues = {4550, 4549, -149, 0};
  speedFan.slotValues[7] = INT32_MAX;
  controls.sfIndexEdits[3]->SetValue(7);
  state.tempIncoming[0] = 31;
  regulation->Timer2Timer();
  EXPECT_EQ(state.tempShown, (std::array<int32_t, 6>{31, 0, 46, 45, 0, 21474836}));
  EXPECT_EQ(view.temperatureText[2], "46");
  EXPECT_EQ(view.temperatureText[5], "21474836");
  EXPECT_EQ(view.temperatureVisible, (std::array<bool, 6>{true, false, true, true, false, true}));
  EXPECT_EQ(view.temperatureText[1], "N/A") << "hidden labels keep their text";

  const int updates = view.updates;
  regulation->Timer2Timer();
  EXPECT_EQ(view.updates, updates) << "unchanged readings leave the labels alone";
  speedFan.slotValues[7] = INT32_MIN;
  regulation->Timer2Timer();
  EXPECT_EQ(state.tempShown[5], -21474835);
}

TEST_F(FanRegulationTest, UncommittedValuesOutsideTheRangesAreBounded) {
  controls.sfIndexEdits[0]->SetText("4000");
  controls.sfIndexEdits[1]->SetText("-3");
  controls.respRear[0]->SetText("0");
  controls.maxRear[0]->SetText("150");
  controls.minRear[0]->SetText("-2147483648");
  state.tempIncoming[0] = 50;
  regulation->Timer2Timer();
  EXPECT_EQ(speedFan.reads[0], 31);
  EXPECT_EQ(speedFan.reads[1], 0);
  const double target = (50.0 + 2147483648.0) / (100.0 + 2147483648.0) * 100.0;
  EXPECT_DOUBLE_EQ(state.fanDuty[0], target) << "response read as 1, maximum as 100";
}

}  // namespace
}  // namespace trellon
