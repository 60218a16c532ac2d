#include "app/settings_store.h"

#include <algorithm>
#include <array>

#include "base/ini_file.h"

namespace trellon {
namespace {

// Key stems and defaults of the fan grids, in the order of ShellControls::FanGrids.
struct GridKey {
  const char* stem;
  int32_t defaultValue;
};
constexpr std::array<GridKey, ShellControls::kFanGrids> kGridKeys = {
    {{"Minr", 35}, {"Maxr", 65}, {"Resr", 20}, {"Minf", 35}, {"Maxf", 65}, {"Resf", 20}}};
constexpr int32_t kPageCount = 5;

// Key stem + index: "Minr" and 0 give "Minr0".
std::string Key(const char* stem, size_t index) {
  return stem + std::to_string(index);
}

}  // namespace

SettingsStore::SettingsStore(std::string path, ShellControls& controls, DisplaySettings& display,
                             SettingsWindow& window)
    : path_(std::move(path)), controls_(controls), display_(display), window_(window) {}

int32_t SettingsStore::DisplayNrInRange(int32_t value) const {
  return std::clamp(value, 0, std::max(0, controls_.edDisplayNr.MaxValue()));
}

int32_t SettingsStore::ReadSettings() {
  IniFile ini(path_);
  ini.Load();
  const auto readInt = [&](const std::string& key, int32_t defaultValue) {
    return ini.ReadInteger(kSection, key, defaultValue);
  };
  const auto readBool = [&](const std::string& key, bool defaultValue) {
    return ini.ReadBool(kSection, key, defaultValue);
  };

  const int32_t left = readInt("Left", 0);
  const int32_t top = readInt("Top", 0);
  const int32_t width = readInt("Width", 800);
  const int32_t height = readInt("Height", 600);
  window_.ApplyBounds(left, top, width, height);
  window_.ApplyWindowState(readInt("WindowState", 0));
  if (readBool("Minimized", false)) window_.PostStartMinimized();

  const auto grids = controls_.FanGrids();
  for (size_t i = 0; i < ShellControls::kSensors; ++i) {
    for (size_t g = 0; g < grids.size(); ++g) {
      (*grids[g])[i]->SetValue(readInt(Key(kGridKeys[g].stem, i), kGridKeys[g].defaultValue));
    }
  }
  for (size_t i = 0; i < ShellControls::kSpeedFanSensors; ++i) {
    controls_.sfNameEdits[i]->SetText(
        ini.ReadString(kSection, Key("sfname", i), std::to_string(i)));
    controls_.sfIndexEdits[i]->SetValue(readInt(Key("sf", i), static_cast<int32_t>(i)));
  }

  // Each display setting goes into its field, then into its control; the field then holds what
  // the control holds, also when the control did not change and so fired no handler.
  display_.DisplayHighQuality = readBool("DisplayHighQuality", false);
  controls_.cbDisplayHighQuality.SetChecked(display_.DisplayHighQuality);
  display_.DisplayBufferedCopy = readBool("DisplayBufferedCopy", true);
  controls_.cbDisplayBufferedCopy.SetChecked(display_.DisplayBufferedCopy);
  display_.DisplayTargetDirectAccess = readBool("DisplayTargetDirectAccess", true);
  controls_.cbDisplayTargetDirectAccess.SetChecked(display_.DisplayTargetDirectAccess);
  display_.DisplayTimer = readInt("DisplayTimer", 50);
  controls_.edDisplayTimer.SetValue(display_.DisplayTimer);
  display_.DisplayTimer = controls_.edDisplayTimer.Value();
  display_.DisplayNr = DisplayNrInRange(readInt("DisplayNr", 0));
  controls_.edDisplayNr.SetValue(display_.DisplayNr);
  display_.DisplayNr = DisplayNrInRange(controls_.edDisplayNr.Value());

  // The window knows two border styles: none (0) and sizeable (2, also for any other value).
  const int32_t borderStyle = readInt("BorderStyle", 2) == 0 ? 0 : 2;
  window_.ApplyBorderStyle(borderStyle);
  controls_.cbWindowBorder.SetChecked(borderStyle == 2);
  window_.ApplyWindowState(readInt("WindowState", 0));
  int32_t activePageIndex = readInt("ActivePageIndex", 0);
  if (activePageIndex < 0 || activePageIndex >= kPageCount) activePageIndex = 0;
  display_.DisplayMode = readBool("DisplayMode", false);

  controls_.cbHomeStart.SetChecked(readBool("HomeStart", true));
  controls_.cbHomeClose.SetChecked(readBool("HomeClose", true));
  controls_.edHomeClose.SetValue(readInt("HomeCloseTime", 1000));
  controls_.cbHomeKill.SetChecked(readBool("HomeKill", true));
  controls_.edHomeKill.SetValue(readInt("HomeKillTime", 5000));
  controls_.edHomeMediaPortal.SetText(
      ini.ReadString(kSection, "HomeMediaPortal",
                     "c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe"));
  controls_.cbPowerOffStopHome.SetChecked(readBool("PowerOffStopHome", true));
  controls_.rbPowerOffDo.SetItemIndex(readInt("PowerOffDo", 0));
  controls_.edRepeatDead.SetValue(readInt("RepeatDead", 250));
  controls_.edRepeatFirst.SetValue(readInt("RepeatFirst", 500));
  controls_.edRepeatNext.SetValue(readInt("RepeatNext", 0));
  controls_.edVolumeControlStretch.SetValue(readInt("VolumeControlStretch", 200));
  return activePageIndex;
}

void SettingsStore::SaveSettings() {
  if (loadingSettings_) return;
  for (size_t i = 0; i < ShellControls::kSpeedFanSensors; ++i) {
    window_.ShowSpeedFanName(i, controls_.sfNameEdits[i]->Text());
  }

  IniFile ini(path_);
  ini.Load();
  const auto writeInt = [&](const std::string& key, int32_t value) {
    ini.WriteInteger(kSection, key, value);
  };
  const auto writeBool = [&](const std::string& key, bool value) {
    ini.WriteBool(kSection, key, value);
  };

  const WindowPlacement placement = window_.Placement();
  const bool writeGeometry = !placement.iconic && placement.visible;
  for (const auto& [key, value] :
       {std::pair{"Left", placement.left}, std::pair{"Top", placement.top},
        std::pair{"Width", placement.width}, std::pair{"Height", placement.height}}) {
    // A key that is missing is written anyway, so a new file holds every key in its place.
    if (writeGeometry || !ini.HasKey(kSection, key)) writeInt(key, value);
  }
  writeInt("WindowState", placement.windowState);
  writeBool("Minimized", placement.iconic);

  const auto grids = controls_.FanGrids();
  for (size_t i = 0; i < ShellControls::kSensors; ++i) {
    for (size_t g = 0; g < grids.size(); ++g)
      writeInt(Key(kGridKeys[g].stem, i), (*grids[g])[i]->Value());
  }
  for (size_t i = 0; i < ShellControls::kSpeedFanSensors; ++i) {
    ini.WriteString(kSection, Key("sfname", i), controls_.sfNameEdits[i]->Text());
    writeInt(Key("sf", i), controls_.sfIndexEdits[i]->Value());
  }

  writeBool("DisplayHighQuality", display_.DisplayHighQuality);
  writeBool("DisplayBufferedCopy", display_.DisplayBufferedCopy);
  writeBool("DisplayTargetDirectAccess", display_.DisplayTargetDirectAccess);
  writeInt("DisplayTimer", display_.DisplayTimer);
  writeInt("DisplayNr", display_.DisplayNr);
  writeInt("WindowState", placement.windowState);
  writeInt("BorderStyle", placement.borderStyle);
  writeInt("ActivePageIndex", placement.activePageIndex);
  writeBool("DisplayMode", display_.DisplayMode);
  writeBool("HomeStart", controls_.cbHomeStart.Checked());
  writeBool("HomeClose", controls_.cbHomeClose.Checked());
  writeInt("HomeCloseTime", controls_.edHomeClose.Value());
  writeBool("HomeKill", controls_.cbHomeKill.Checked());
  writeInt("HomeKillTime", controls_.edHomeKill.Value());
  ini.WriteString(kSection, "HomeMediaPortal", controls_.edHomeMediaPortal.Text());
  writeBool("PowerOffStopHome", controls_.cbPowerOffStopHome.Checked());
  writeInt("PowerOffDo", controls_.rbPowerOffDo.ItemIndex());
  writeInt("RepeatDead", controls_.edRepeatDead.Value());
  writeInt("RepeatFirst", controls_.edRepeatFirst.Value());
  writeInt("RepeatNext", controls_.edRepeatNext.Value());
  writeInt("VolumeControlStretch", controls_.edVolumeControlStretch.Value());
  ini.Save();
}

}  // namespace trellon
