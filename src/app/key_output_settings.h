#pragma once

#include <string>

#include "base/ini_file.h"
#include "remote/input_key_table.h"

namespace trellon {

// How the remote's keys reach programs beside the key server's clients. These keys of
// "Trellon.ini" are only read: the program never writes them, and the file keeps them as the
// user wrote them.
//   InputDevice=0|1        the virtual keyboard off or on; missing (or any other value): on
//                          when this user may make one
//   LircSocket=<path>      the LIRC socket; missing: the default path; empty: no socket
//   InputKey_<key>=<key>   the keyboard key of one remote key (KEY_ENTER, a number, or empty
//                          for none); remote keys without such a line keep the built-in key
struct KeyOutputSettings {
  enum class InputDevice { kAuto, kOff, kOn };

  InputDevice inputDevice = InputDevice::kAuto;
  std::string lircSocket;
  InputKeyTable keys;
};

constexpr const char* kInputDeviceKey = "InputDevice";
constexpr const char* kLircSocketKey = "LircSocket";

KeyOutputSettings ReadKeyOutputSettings(const IniFile& ini, const std::string& section,
                                        const std::string& defaultLircSocket);

}  // namespace trellon
