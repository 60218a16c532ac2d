#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/control_models.h"

namespace trellon {

// Every settings control of the main window as a model, with its name, caption, range and step;
// each control's default comes from the settings file's key table (setting_keys.cpp). The window
// binds one widget to each; the subsystems read their settings from these at the moment of use.
// Per-sensor tables follow the sensor index: 0 rear case sensor, 1 front case sensor, 2..5 SpeedFan
// sensors 0..3.
class ShellControls {
 public:
  static constexpr size_t kSensors = 6;
  static constexpr size_t kSpeedFanSensors = 4;
  static constexpr int32_t kMaxSetting = 999999999;

  ShellControls();

  // One fan setting for every sensor.
  using SensorEdits = std::array<std::unique_ptr<SpinEditModel>, kSensors>;
  static constexpr size_t kFanGrids = 6;

  // Fan Control › Rear and Front: minimum (unbounded), maximum (0..100) and response (1..30).
  SensorEdits minRear, maxRear, respRear;
  SensorEdits minFront, maxFront, respFront;
  // Fan Control › SpeedFan Link: temperature slot (0..31) and display name per SpeedFan sensor.
  std::array<std::unique_ptr<SpinEditModel>, kSpeedFanSensors> sfIndexEdits;
  std::array<std::unique_ptr<TextEditModel>, kSpeedFanSensors> sfNameEdits;

  // Settings › Window. Not a key of its own: it shows "BorderStyle", sizeable (2) by default.
  CheckBoxModel cbWindowBorder{"cbWindowBorder", "Border", true};
  // Settings › Display
  SpinEditModel edDisplayNr{"edDisplayNr", 0, 0, 1};
  CheckBoxModel cbDisplayHighQuality{"cbDisplayHighQuality", "High quality"};
  CheckBoxModel cbDisplayBufferedCopy{"cbDisplayBufferedCopy", "Buffered copy"};
  CheckBoxModel cbDisplayTargetDirectAccess{"cbDisplayTargetDirectAccess", "Target direct access"};
  SpinEditModel edDisplayTimer{"edDisplayTimer", 1, kMaxSetting, 1};
  // Settings › RC Home
  CheckBoxModel cbHomeStart{"cbHomeStart", "Start MediaPortal if not running"};
  CheckBoxModel cbHomeClose{"cbHomeClose", "Close MediaPortal after (ms)"};
  SpinEditModel edHomeClose{"edHomeClose", 1, kMaxSetting, 200};
  CheckBoxModel cbHomeKill{"cbHomeKill", "Kill MediaPortal after (ms)"};
  SpinEditModel edHomeKill{"edHomeKill", 1, kMaxSetting, 200};
  TextEditModel edHomeMediaPortal{"edHomeMediaPortal"};
  // Settings › RC Power-Off
  CheckBoxModel cbPowerOffStopHome{"cbPowerOffStopHome", "Send \"home\" RC and \"stop\" RC"};
  RadioGroupModel rbPowerOffDo{
      "rbPowerOffDo",
      "Do",
      {"Try to hibernate Windows (safe)", "Try to standby Windows (safe)",
       "Send \"power\" RC (bad!!)", "Shutdown Windows (unsafe!!)", "Nothing"}};
  // Settings › RC Key Repeat
  SpinEditModel edRepeatDead{"edRepeatDead", 1, kMaxSetting, 10};
  SpinEditModel edRepeatFirst{"edRepeatFirst", 1, kMaxSetting, 10};
  SpinEditModel edRepeatNext{"edRepeatNext", 0, kMaxSetting, 10};
  // Settings › Volume Control
  SpinEditModel edVolumeControlStretch{"edVolumeControlStretch", 10, kMaxSetting, 10};

  // minRear, maxRear, respRear, minFront, maxFront, respFront: the order of their keys in the
  // settings file.
  std::array<SensorEdits*, kFanGrids> FanGrids();
  // The 56 controls whose change (or click) runs the shared OnChange handler.
  std::vector<ControlModel*> SharedChangeControls();
};

}  // namespace trellon
