#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/display_settings.h"
#include "base/control_models.h"

namespace trellon {

class ShellControls;

// A key that a control holds, with the control's default: what the control shows when it is
// made, and what a missing or unreadable key gives.
template <typename Model, typename Value>
struct ControlKey {
  Model* control;
  Value defaultValue;
};

// A Display-page key: its value lives in a display field, which the mirror reads; the control
// shows the field.
template <typename Model, typename Value>
struct DisplayKey {
  Model* control;
  Value defaultValue;
  std::atomic<Value> DisplaySettings::*field;
};

// The keys that no control holds: the window's placement, the page and the display mode. The
// settings store reads and writes these itself.
enum class StoreKey {
  Left,
  Top,
  Width,
  Height,
  WindowState,
  Minimized,
  BorderStyle,
  ActivePageIndex,
  DisplayMode
};
struct StoreSetting {
  StoreKey key;
  int32_t defaultValue;  // 0 or 1 for the booleans
};

using SettingBinding =
    std::variant<StoreSetting, ControlKey<SpinEditModel, int32_t>, ControlKey<CheckBoxModel, bool>,
                 ControlKey<TextEditModel, std::string>, ControlKey<RadioGroupModel, int32_t>,
                 DisplayKey<CheckBoxModel, bool>, DisplayKey<SpinEditModel, int32_t>>;

// One "key=value" line of the settings file's section.
struct SettingKey {
  std::string name;
  SettingBinding binding;
};

// Every key of the settings file, in the order of the file, which is also the order start-up
// applies them in. The one place of every control's default.
std::vector<SettingKey> SettingKeys(ShellControls& controls);

// Gives every control that a key of keys names the key's default.
void ApplyControlDefaults(const std::vector<SettingKey>& keys);

// A control's value as the settings file holds it.
inline int32_t ControlValue(const SpinEditModel& control) {
  return control.Value();
}
inline bool ControlValue(const CheckBoxModel& control) {
  return control.Checked();
}
inline std::string ControlValue(const TextEditModel& control) {
  return control.Text();
}
inline int32_t ControlValue(const RadioGroupModel& control) {
  return control.ItemIndex();
}

// Puts a value into a control, which fires its change handler when the value changes.
inline void SetControl(SpinEditModel& control, int32_t value) {
  control.SetValue(value);
}
inline void SetControl(CheckBoxModel& control, bool value) {
  control.SetChecked(value);
}
inline void SetControl(TextEditModel& control, const std::string& value) {
  control.SetText(value);
}
inline void SetControl(RadioGroupModel& control, int32_t value) {
  control.SetItemIndex(value);
}

}  // namespace trellon
