#include "app/setting_keys.h"

#include <array>

#include "app/shell_controls.h"

namespace trellon {
namespace {

using Spin = ControlKey<SpinEditModel, int32_t>;
using Check = ControlKey<CheckBoxModel, bool>;
using Text = ControlKey<TextEditModel, std::string>;
using Radio = ControlKey<RadioGroupModel, int32_t>;

// Key stems and defaults of the fan grids, in the order of ShellControls::FanGrids.
struct GridKey {
  const char* stem;
  int32_t defaultValue;
};
constexpr std::array<GridKey, ShellControls::kFanGrids> kGridKeys = {
    {{"Minr", 35}, {"Maxr", 65}, {"Resr", 20}, {"Minf", 35}, {"Maxf", 65}, {"Resf", 20}}};

}  // namespace

std::vector<SettingKey> SettingKeys(ShellControls& c) {
  std::vector<SettingKey> keys = {
      // Height is the last of the four bounds: reading it applies them.
      {"Left", StoreSetting{StoreKey::Left, 0}},
      {"Top", StoreSetting{StoreKey::Top, 0}},
      {"Width", StoreSetting{StoreKey::Width, 800}},
      {"Height", StoreSetting{StoreKey::Height, 600}},
      {"WindowState", StoreSetting{StoreKey::WindowState, 0}},
      {"Minimized", StoreSetting{StoreKey::Minimized, 0}},
  };
  // "Minr0", "Maxr0", ... "Resf0", then sensor 1, ...
  const auto grids = c.FanGrids();
  for (size_t sensor = 0; sensor < ShellControls::kSensors; ++sensor) {
    for (size_t g = 0; g < grids.size(); ++g) {
      keys.push_back({kGridKeys[g].stem + std::to_string(sensor),
                      Spin{(*grids[g])[sensor].get(), kGridKeys[g].defaultValue}});
    }
  }
  for (size_t i = 0; i < ShellControls::kSpeedFanSensors; ++i) {
    const std::string index = std::to_string(i);
    keys.push_back({"sfname" + index, Text{c.sfNameEdits[i].get(), index}});
    keys.push_back({"sf" + index, Spin{c.sfIndexEdits[i].get(), static_cast<int32_t>(i)}});
  }
  const std::vector<SettingKey> rest = {
      {"DisplayHighQuality", DisplayKey<CheckBoxModel, bool>{&c.cbDisplayHighQuality, false,
                                                             &DisplaySettings::DisplayHighQuality}},
      {"DisplayBufferedCopy",
       DisplayKey<CheckBoxModel, bool>{&c.cbDisplayBufferedCopy, true,
                                       &DisplaySettings::DisplayBufferedCopy}},
      {"DisplayTargetDirectAccess",
       DisplayKey<CheckBoxModel, bool>{&c.cbDisplayTargetDirectAccess, true,
                                       &DisplaySettings::DisplayTargetDirectAccess}},
      {"DisplayTimer",
       DisplayKey<SpinEditModel, int32_t>{&c.edDisplayTimer, 50, &DisplaySettings::DisplayTimer}},
      {"DisplayNr",
       DisplayKey<SpinEditModel, int32_t>{&c.edDisplayNr, 0, &DisplaySettings::DisplayNr}},
      {"BorderStyle", StoreSetting{StoreKey::BorderStyle, 2}},
      // Once more after the border: changing the border re-creates the window, which loses its
      // state. The file holds the key once.
      {"WindowState", StoreSetting{StoreKey::WindowState, 0}},
      {"ActivePageIndex", StoreSetting{StoreKey::ActivePageIndex, 0}},
      {"DisplayMode", StoreSetting{StoreKey::DisplayMode, 0}},
      {"HomeStart", Check{&c.cbHomeStart, true}},
      {"HomeClose", Check{&c.cbHomeClose, true}},
      {"HomeCloseTime", Spin{&c.edHomeClose, 1000}},
      {"HomeKill", Check{&c.cbHomeKill, true}},
      {"HomeKillTime", Spin{&c.edHomeKill, 5000}},
      {"HomeMediaPortal",
       Text{&c.edHomeMediaPortal, "c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe"}},
      {"PowerOffStopHome", Check{&c.cbPowerOffStopHome, true}},
      {"PowerOffDo", Radio{&c.rbPowerOffDo, 0}},
      {"RepeatDead", Spin{&c.edRepeatDead, 250}},
      {"RepeatFirst", Spin{&c.edRepeatFirst, 500}},
      {"RepeatNext", Spin{&c.edRepeatNext, 0}},
      {"VolumeControlStretch", Spin{&c.edVolumeControlStretch, 200}},
  };
  keys.insert(keys.end(), rest.begin(), rest.end());
  return keys;
}

void ApplyControlDefaults(const std::vector<SettingKey>& keys) {
  for (const SettingKey& key : keys) {
    std::visit(
        [](const auto& binding) {
          if constexpr (!std::is_same_v<std::decay_t<decltype(binding)>, StoreSetting>) {
            SetControl(*binding.control, binding.defaultValue);
          }
        },
        key.binding);
  }
}

}  // namespace trellon
