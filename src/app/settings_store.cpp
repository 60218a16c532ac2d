#include "app/settings_store.h"

#include <algorithm>
#include <exception>
#include <type_traits>

#include "base/atomic_file.h"

namespace trellon {
namespace {

constexpr int32_t kPageCount = 5;

template <typename... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};
// Spelled out for compilers without aggregate deduction (clang before 17).
template <typename... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

int32_t ReadValue(const IniFile& ini, const std::string& key, int32_t defaultValue) {
  return ini.ReadInteger(SettingsStore::kSection, key, defaultValue);
}
bool ReadValue(const IniFile& ini, const std::string& key, bool defaultValue) {
  return ini.ReadBool(SettingsStore::kSection, key, defaultValue);
}
std::string ReadValue(const IniFile& ini, const std::string& key, const std::string& defaultValue) {
  return ini.ReadString(SettingsStore::kSection, key, defaultValue);
}

void WriteValue(IniFile& ini, const std::string& key, int32_t value) {
  ini.WriteInteger(SettingsStore::kSection, key, value);
}
void WriteValue(IniFile& ini, const std::string& key, bool value) {
  ini.WriteBool(SettingsStore::kSection, key, value);
}
void WriteValue(IniFile& ini, const std::string& key, const std::string& value) {
  ini.WriteString(SettingsStore::kSection, key, value);
}

template <typename Model, typename Value>
void ReadControlKey(const IniFile& ini, const std::string& key,
                    const ControlKey<Model, Value>& binding) {
  SetControl(*binding.control, ReadValue(ini, key, binding.defaultValue));
}

}  // namespace

SettingsStore::SettingsStore(std::string path, FileWriter& writer, ShellControls& controls,
                             DisplaySettings& display, SettingsWindow& window,
                             ErrorReporter& errors)
    : path_(std::move(path)),
      writer_(writer),
      controls_(controls),
      display_(display),
      window_(window),
      errors_(errors),
      keys_(SettingKeys(controls)) {}

int32_t SettingsStore::DisplayNrInRange(int32_t value) const {
  return std::clamp(value, 0, std::max(0, controls_.edDisplayNr.MaxValue()));
}

template <typename Value>
Value SettingsStore::DisplayValue(std::atomic<Value> DisplaySettings::*field, Value value) const {
  if constexpr (std::is_same_v<Value, int32_t>) {
    if (field == &DisplaySettings::DisplayNr) return DisplayNrInRange(value);
  }
  return value;
}

int32_t SettingsStore::ReadSettings() {
  IniFile ini(path_);
  ReportUnusableFile(ini.Load(writer_));
  Reading reading;
  for (const SettingKey& key : keys_) {
    std::visit(
        Overloaded{
            [&](const StoreSetting& setting) { ReadStoreKey(ini, key.name, setting, reading); },
            [&]<typename Model, typename Value>(const DisplayKey<Model, Value>& binding) {
              ReadDisplayKey(ini, key.name, binding);
            },
            [&]<typename Model, typename Value>(const ControlKey<Model, Value>& binding) {
              ReadControlKey(ini, key.name, binding);
            }},
        key.binding);
  }
  return reading.activePageIndex;
}

void SettingsStore::ReportUnusableFile(const FileRead& read) {
  std::string report;
  if (read.status == FileStatus::Unreadable) {
    report = "Cannot read the settings file " + read.reason +
             "; the defaults are used, and the file is left as it is";
  } else if (read.status == FileStatus::TooLarge) {
    const std::string aside = path_ + ".bad";
    const std::string failure = RenameFile(path_, aside);
    report = "Cannot use the settings file " + read.reason +
             (failure.empty() ? "; it is kept as " + aside + ", and the defaults are used"
                              : "; the defaults are used, and the file is left as it is (it "
                                "cannot be renamed: " +
                                    failure + ")");
  } else {
    return;
  }
  // Reported, not raised: start-up goes on with the defaults.
  errors_.HandleException(std::make_exception_ptr(IniReadError(report)));
}

template <typename Model, typename Value>
void SettingsStore::ReadDisplayKey(const IniFile& ini, const std::string& key,
                                   const DisplayKey<Model, Value>& binding) {
  // The value goes into its field, then into its control; the field then holds what the control
  // holds, also when the control did not change and so fired no handler.
  std::atomic<Value>& field = display_.*binding.field;
  field = DisplayValue(binding.field, ReadValue(ini, key, binding.defaultValue));
  SetControl(*binding.control, field.load());
  field = DisplayValue(binding.field, ControlValue(*binding.control));
}

void SettingsStore::ReadStoreKey(const IniFile& ini, const std::string& key,
                                 const StoreSetting& setting, Reading& reading) {
  const int32_t value = ReadValue(ini, key, setting.defaultValue);
  switch (setting.key) {
    case StoreKey::Left:
      reading.bounds.left = value;
      break;
    case StoreKey::Top:
      reading.bounds.top = value;
      break;
    case StoreKey::Width:
      reading.bounds.width = value;
      break;
    case StoreKey::Height:
      window_.ApplyBounds(reading.bounds.left, reading.bounds.top, reading.bounds.width, value);
      break;
    case StoreKey::WindowState:
      window_.ApplyWindowState(value);
      break;
    case StoreKey::Minimized:
      if (value != 0) window_.PostStartMinimized();
      break;
    case StoreKey::BorderStyle: {
      // The window knows two border styles: none (0) and sizeable (2, also for any other value).
      const int32_t borderStyle = value == 0 ? 0 : 2;
      window_.ApplyBorderStyle(borderStyle);
      controls_.cbWindowBorder.SetChecked(borderStyle == 2);
      break;
    }
    case StoreKey::ActivePageIndex:
      reading.activePageIndex = value >= 0 && value < kPageCount ? value : 0;
      break;
    case StoreKey::DisplayMode:
      display_.DisplayMode = value != 0;
      break;
  }
}

void SettingsStore::SaveSettings() {
  if (loadingSettings_) return;
  for (size_t i = 0; i < ShellControls::kSpeedFanSensors; ++i) {
    window_.ShowSpeedFanName(i, controls_.sfNameEdits[i]->Text());
  }

  // Built on the newest text, not yet written perhaps: it holds the keys of the last save.
  IniFile ini(path_);
  if (const FileRead read = ini.Load(writer_);
      read.status == FileStatus::Unreadable || read.status == FileStatus::TooLarge) {
    throw IniWriteError("Cannot write the settings file, as it cannot be read: " + read.reason);
  }
  const WindowPlacement placement = window_.Placement();
  for (const SettingKey& key : keys_) {
    std::visit(
        Overloaded{[&](const StoreSetting& setting) {
                     WriteStoreKey(ini, key.name, setting.key, placement);
                   },
                   [&](const auto& binding) { WriteValue(ini, key.name, SavedValue(binding)); }},
        key.binding);
  }
  ini.Save(writer_);
}

template <typename Model, typename Value>
Value SettingsStore::SavedValue(const ControlKey<Model, Value>& binding) const {
  return ControlValue(*binding.control);
}

template <typename Model, typename Value>
Value SettingsStore::SavedValue(const DisplayKey<Model, Value>& binding) const {
  return (display_.*binding.field).load();
}

void SettingsStore::WriteStoreKey(IniFile& ini, const std::string& key, StoreKey which,
                                  const WindowPlacement& placement) const {
  const auto writeBound = [&](int32_t value) {
    // Kept while minimised or hidden. A key that is missing is written anyway, so a new file
    // holds every key in its place.
    if ((!placement.iconic && placement.visible) || !ini.HasKey(kSection, key)) {
      WriteValue(ini, key, value);
    }
  };
  switch (which) {
    case StoreKey::Left:
      writeBound(placement.left);
      break;
    case StoreKey::Top:
      writeBound(placement.top);
      break;
    case StoreKey::Width:
      writeBound(placement.width);
      break;
    case StoreKey::Height:
      writeBound(placement.height);
      break;
    case StoreKey::WindowState:
      WriteValue(ini, key, placement.windowState);
      break;
    case StoreKey::Minimized:
      WriteValue(ini, key, placement.iconic);
      break;
    case StoreKey::BorderStyle:
      WriteValue(ini, key, placement.borderStyle);
      break;
    case StoreKey::ActivePageIndex:
      WriteValue(ini, key, placement.activePageIndex);
      break;
    case StoreKey::DisplayMode:
      WriteValue(ini, key, display_.DisplayMode.load());
      break;
  }
}

}  // namespace trellon
