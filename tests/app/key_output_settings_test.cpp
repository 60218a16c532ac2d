#include "app/key_output_settings.h"

#include <gtest/gtest.h>

#include "base/ini_file.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

using Device = KeyOutputSettings::InputDevice;

KeyOutputSettings ReadFrom(const std::string& text) {
  test_support::TemporaryDirectory directory;
  test_support::WriteText(directory.File("Trellon.ini"), text);
  IniFile ini(directory.File("Trellon.ini"));
  ini.Load();
  return ReadKeyOutputSettings(ini, "X", "/run/user/1000/trellon/lircd");
}

TEST(KeyOutputSettings, WithoutTheirKeysEverythingIsAtItsDefault) {
  const KeyOutputSettings settings = ReadFrom("[X]\nRepeatDead=250\n");
  EXPECT_EQ(settings.inputDevice, Device::kAuto);
  EXPECT_EQ(settings.lircSocket, "/run/user/1000/trellon/lircd");
  EXPECT_EQ(settings.keys.Entries(), InputKeyTable().Entries());
}

TEST(KeyOutputSettings, SingleKeysAreOverriddenAndTheOthersKeepTheBuiltInTable) {
  const KeyOutputSettings settings = ReadFrom(
      "[X]\nInputKey_ok=KEY_SELECT\nInputKey_back=\nInputKey_power=KEY_SLEEP\n"
      "InputKey_nosuch=KEY_A\n[Other]\nInputKey_up=KEY_W\n");
  EXPECT_EQ(settings.keys.InputKeyFor("ok"), "KEY_SELECT");
  EXPECT_FALSE(settings.keys.InputKeyFor("back"));
  EXPECT_EQ(settings.keys.InputKeyFor("power"), "KEY_SLEEP");
  // Only the remote's own keys, and only in the program's section.
  EXPECT_FALSE(settings.keys.InputKeyFor("nosuch"));
  EXPECT_EQ(settings.keys.InputKeyFor("up"), "KEY_UP");
}

TEST(KeyOutputSettings, TheDeviceIsOnOffOrAutomaticAndAnEmptySocketPathMeansNone) {
  EXPECT_EQ(ReadFrom("[X]\nInputDevice=0\n").inputDevice, Device::kOff);
  EXPECT_EQ(ReadFrom("[X]\nInputDevice=1\n").inputDevice, Device::kOn);
  EXPECT_EQ(ReadFrom("[X]\nInputDevice=yes\n").inputDevice, Device::kAuto);
  EXPECT_EQ(ReadFrom("[X]\nLircSocket=\n").lircSocket, "");
  EXPECT_EQ(ReadFrom("[X]\nLircSocket=/tmp/l\n").lircSocket, "/tmp/l");
}

}  // namespace
}  // namespace trellon
