#include "app/shell_controls.h"

#include "app/setting_keys.h"

namespace trellon {
namespace {

// Sensor suffixes of the grid cells: rear, front, SpeedFan 0..3 ("minrr", "minrf", "minr0").
constexpr std::array<const char*, ShellControls::kSensors> kSensorSuffix = {"r", "f", "0",
                                                                            "1", "2", "3"};

void FillGrid(ShellControls::SensorEdits& grid, const std::string& stem, int32_t minValue,
              int32_t maxValue) {
  for (size_t i = 0; i < grid.size(); ++i) {
    grid[i] = std::make_unique<SpinEditModel>(stem + kSensorSuffix[i], minValue, maxValue);
  }
}

}  // namespace

ShellControls::ShellControls() {
  // Equal bounds (0, 0) leave the minimum cells unbounded.
  FillGrid(minRear, "minr", 0, 0);
  FillGrid(maxRear, "maxr", 0, 100);
  FillGrid(respRear, "resr", 1, 30);
  FillGrid(minFront, "minf", 0, 0);
  FillGrid(maxFront, "maxf", 0, 100);
  FillGrid(respFront, "resf", 1, 30);
  for (size_t i = 0; i < kSpeedFanSensors; ++i) {
    const std::string index = std::to_string(i);
    sfIndexEdits[i] = std::make_unique<SpinEditModel>("sf" + index, 0, 31);
    sfNameEdits[i] = std::make_unique<TextEditModel>("sf" + index + "name");
  }
  // No handler is set yet: giving the defaults fires nothing.
  ApplyControlDefaults(SettingKeys(*this));
}

std::array<ShellControls::SensorEdits*, ShellControls::kFanGrids> ShellControls::FanGrids() {
  return {&minRear, &maxRear, &respRear, &minFront, &maxFront, &respFront};
}

std::vector<ControlModel*> ShellControls::SharedChangeControls() {
  std::vector<ControlModel*> controls;
  for (SensorEdits* grid : FanGrids()) {
    for (auto& cell : *grid) controls.push_back(cell.get());
  }
  for (auto& edit : sfIndexEdits) controls.push_back(edit.get());
  for (auto& edit : sfNameEdits) controls.push_back(edit.get());
  for (ControlModel* control : std::initializer_list<ControlModel*>{
           &edHomeClose, &edHomeKill, &edHomeMediaPortal, &edRepeatDead, &edRepeatFirst,
           &edRepeatNext, &edVolumeControlStretch, &cbHomeStart, &cbHomeClose, &cbHomeKill,
           &cbPowerOffStopHome, &rbPowerOffDo}) {
    controls.push_back(control);
  }
  return controls;
}

}  // namespace trellon
