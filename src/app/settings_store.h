#pragma once

#include <cstdint>
#include <string>

#include "app/display_settings.h"
#include "app/setting_keys.h"
#include "app/shell_controls.h"
#include "base/file_writer.h"
#include "base/ini_file.h"
#include "base/shell_services.h"

namespace trellon {

// The window as the settings file sees it.
struct WindowPlacement {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 800;
  int32_t height = 600;
  int32_t windowState = 0;  // 0 normal, 1 minimised, 2 maximised
  bool iconic = false;      // the application is minimised
  bool visible = false;
  int32_t borderStyle = 2;  // 2 sizeable, 0 none
  int32_t activePageIndex = 0;
};

// What the settings store applies to and reads from the main window.
class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;
  virtual WindowPlacement Placement() const = 0;
  virtual void ApplyBounds(int32_t left, int32_t top, int32_t width, int32_t height) = 0;
  virtual void ApplyWindowState(int32_t windowState) = 0;
  // Posts WM_START_MINIMIZED: the application minimises once the message loop runs.
  virtual void PostStartMinimized() = 0;
  virtual void ApplyBorderStyle(int32_t borderStyle) = 0;
  // The SpeedFan sensor's name into its labels on the Status, Rear and Front pages.
  virtual void ShowSpeedFanName(size_t sensor, const std::string& name) = 0;
};

// "Trellon.ini", section "X": read once at start-up into the controls, the display fields and
// the window, and rewritten whole from them on every change (through the file writer and a
// temporary file, keeping keys and sections it does not know). The keys, their order and
// defaults are the table of setting_keys.h.
class SettingsStore {
 public:
  static constexpr const char* kSection = "X";

  SettingsStore(std::string path, FileWriter& writer, ShellControls& controls,
                DisplaySettings& display, SettingsWindow& window, ErrorReporter& errors);

  // Reads every key in start-up order and applies it; returns "ActivePageIndex" for the end of
  // start-up. The controls' change handlers run, but SaveSettings does nothing until
  // FinishLoading. A file that cannot be used is reported once (IniReadError) and the defaults
  // are used: one that cannot be read is left as it is; one that is too large is first renamed to
  // "<file>.bad", so that the next save starts a new file.
  int32_t ReadSettings();
  void FinishLoading() { loadingSettings_ = false; }
  bool LoadingSettings() const { return loadingSettings_; }

  // Hands every key from the controls, the display fields and the window to the file writer.
  // Does nothing while loading. A file that cannot be written raises IniWriteError in the
  // writer's report on the main thread; nothing else changes then, so the next change tries
  // again. A file that cannot be read (or is too large) is not replaced, as its keys could not
  // be kept: the save raises IniWriteError at once, until the file can be read again.
  void SaveSettings();

  // The source monitor index in range: DisplayNr never leaves 0 .. monitors - 1, whatever the
  // file or the control holds (the control accepts any number when there is one monitor).
  int32_t DisplayNrInRange(int32_t value) const;

 private:
  // Read while the keys are applied: the bounds wait for their last key.
  struct Reading {
    WindowPlacement bounds;
    int32_t activePageIndex = 0;
  };
  // Reports a file that ReadSettings cannot use, after setting a too large one aside.
  void ReportUnusableFile(const FileRead& read);
  void ReadStoreKey(const IniFile& ini, const std::string& key, const StoreSetting& setting,
                    Reading& reading);
  template <typename Model, typename Value>
  void ReadDisplayKey(const IniFile& ini, const std::string& key,
                      const DisplayKey<Model, Value>& binding);
  void WriteStoreKey(IniFile& ini, const std::string& key, StoreKey which,
                     const WindowPlacement& placement) const;
  template <typename Model, typename Value>
  Value SavedValue(const ControlKey<Model, Value>& binding) const;
  template <typename Model, typename Value>
  Value SavedValue(const DisplayKey<Model, Value>& binding) const;
  // The value a display field takes: DisplayNr in range, the others as they are.
  template <typename Value>
  Value DisplayValue(std::atomic<Value> DisplaySettings::*field, Value value) const;

  std::string path_;
  FileWriter& writer_;
  ShellControls& controls_;
  DisplaySettings& display_;
  SettingsWindow& window_;
  ErrorReporter& errors_;
  const std::vector<SettingKey> keys_;
  bool loadingSettings_ = true;
};

}  // namespace trellon
