// Reading the settings file into the controls: whatever the file holds, every control ends up
// within its range, the display fields within theirs, and the settings saved from there read
// back to the same controls.
//
// Input: the settings file's text.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/display_settings.h"
#include "app/settings_store.h"
#include "app/shell_controls.h"
#include "base/file_writer.h"
#include "base/main_thread.h"
#include "fakes/app/fake_settings_window.h"
#include "fakes/recording_shell.h"
#include "fuzz_check.h"
#include "support/temporary_directory.h"

namespace {

using namespace trellon;

// Every control's state as text, in a fixed order.
std::vector<std::string> Snapshot(ShellControls& controls, const DisplaySettings& display) {
  std::vector<std::string> state;
  for (ControlModel* control : controls.SharedChangeControls()) {
    if (auto* spin = dynamic_cast<SpinEditModel*>(control)) {
      state.push_back(spin->Name() + "=" + std::to_string(spin->Value()));
    } else if (auto* check = dynamic_cast<CheckBoxModel*>(control)) {
      state.push_back(check->Name() + "=" + std::to_string(check->Checked()));
    } else if (auto* text = dynamic_cast<TextEditModel*>(control)) {
      state.push_back(text->Name() + "=" + text->Text());
    } else if (auto* radio = dynamic_cast<RadioGroupModel*>(control)) {
      state.push_back(radio->Name() + "=" + std::to_string(radio->ItemIndex()));
    }
  }
  state.push_back("DisplayNr=" + std::to_string(display.DisplayNr.load()));
  state.push_back("DisplayTimer=" + std::to_string(display.DisplayTimer.load()));
  return state;
}

void CheckRanges(ShellControls& controls, const DisplaySettings& display) {
  for (ControlModel* control : controls.SharedChangeControls()) {
    if (auto* spin = dynamic_cast<SpinEditModel*>(control)) {
      if (spin->MinValue() < spin->MaxValue()) {
        FUZZ_CHECK(spin->Value() >= spin->MinValue() && spin->Value() <= spin->MaxValue());
      }
    } else if (auto* radio = dynamic_cast<RadioGroupModel*>(control)) {
      FUZZ_CHECK(radio->ItemIndex() >= -1 &&
                 radio->ItemIndex() < static_cast<int32_t>(radio->Items().size()));
    }
  }
  FUZZ_CHECK(display.DisplayNr >= 0 && display.DisplayNr <= controls.edDisplayNr.MaxValue());
}

// One start-up's reading of the file; the text a save from there would write.
struct Reading {
  std::vector<std::string> state;
  std::string saved;
};

Reading ReadAndSave(const std::string& path) {
  MainThread mainThread;
  fakes::RecordingShell shell;
  std::map<std::string, std::string> disk;
  // Saves land in memory: the fuzzer need not wait for the disk.
  FileWriter writer(mainThread, shell, [&](const std::string& file, const std::string& content) {
    disk[file] = content;
    return std::string();
  });
  ShellControls controls;
  DisplaySettings display;
  fakes::FakeSettingsWindow window;
  SettingsStore store(path, writer, controls, display, window, shell);
  store.ReadSettings();
  CheckRanges(controls, display);
  store.FinishLoading();
  store.SaveSettings();
  writer.Flush();
  return {Snapshot(controls, display), disk[path]};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const test_support::TemporaryDirectory directory;
  const std::string path = directory.File("Trellon.ini");
  test_support::WriteText(path, std::string(reinterpret_cast<const char*>(data), size));
  const Reading first = ReadAndSave(path);
  test_support::WriteText(path, first.saved);
  const Reading second = ReadAndSave(path);
  FUZZ_CHECK(second.state == first.state);
  FUZZ_CHECK(second.saved == first.saved);
  return 0;
}
