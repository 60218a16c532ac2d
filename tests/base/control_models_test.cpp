#include "base/control_models.h"

#include <gtest/gtest.h>

namespace trellon {
namespace {

TEST(SpinEditModelTest, ReadsTextOrMinimumAndClampsValuesFromCode) {
  SpinEditModel edit("maxrr", 0, 100, 1, 65);
  int changes = 0;
  edit.SetOnChange([&] { ++changes; });
  EXPECT_EQ(edit.Value(), 65);
  edit.SetValue(150);
  EXPECT_EQ(edit.Text(), "100");
  edit.SetValue(-3);
  EXPECT_EQ(edit.Value(), 0);
  EXPECT_EQ(changes, 2);
  edit.SetValue(0);
  EXPECT_EQ(changes, 2) << "no change, no event";

  // Typed text is seen as it is until the control loses the focus.
  edit.SetText("250");
  EXPECT_EQ(edit.Value(), 250);
  edit.CommitText();
  EXPECT_EQ(edit.Text(), "100");
  edit.SetText("4x");
  EXPECT_EQ(edit.Value(), 0) << "text that is not a whole number reads as the minimum";
  edit.CommitText();
  EXPECT_EQ(edit.Text(), "4x");
  edit.SetText("$20");
  EXPECT_EQ(edit.Value(), 32);
}

TEST(SpinEditModelTest, EqualBoundsLetEveryValuePass) {
  SpinEditModel minEdit("minrr", 0, 0, 1, 35);
  EXPECT_EQ(minEdit.Value(), 35);
  minEdit.SetValue(-40);
  EXPECT_EQ(minEdit.Value(), -40);
  minEdit.SetText("x");
  EXPECT_EQ(minEdit.Value(), 0);
}

TEST(SpinEditModelTest, ViewUpdateRunsBeforeTheHandler) {
  SpinEditModel edit("edRepeatDead", 1, 999999999, 10, 250);
  std::string order;
  edit.SetViewUpdate([&] { order += "view;"; });
  edit.SetOnChange([&] { order += "handler;"; });
  edit.SetValue(300);
  EXPECT_EQ(order, "view;handler;");
}

TEST(CheckRadioTextModelsTest, FireTheirHandlerOnlyOnChange) {
  CheckBoxModel check("cbHomeStart", "Start MediaPortal if not running", true);
  RadioGroupModel radio("rbPowerOffDo", "Do", {"a", "b", "c"}, 0);
  TextEditModel text("sf0name", "0");
  int events = 0;
  for (ControlModel* model : std::initializer_list<ControlModel*>{&check, &radio, &text}) {
    model->SetOnChange([&] { ++events; });
  }
  check.SetChecked(true);
  radio.SetItemIndex(0);
  text.SetText("0");
  EXPECT_EQ(events, 0);
  check.SetChecked(false);
  radio.SetItemIndex(2);
  text.SetText("CPU");
  EXPECT_EQ(events, 3);
  radio.SetItemIndex(7);
  EXPECT_EQ(radio.ItemIndex(), -1) << "an index outside the items selects nothing";
}

}  // namespace
}  // namespace trellon
