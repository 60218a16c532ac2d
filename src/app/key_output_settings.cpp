#include "app/key_output_settings.h"

namespace trellon {

KeyOutputSettings ReadKeyOutputSettings(const IniFile& ini, const std::string& section,
                                        const std::string& defaultLircSocket) {
  KeyOutputSettings settings;
  switch (ini.ReadInteger(section, kInputDeviceKey, -1)) {
    case 0:
      settings.inputDevice = KeyOutputSettings::InputDevice::kOff;
      break;
    case 1:
      settings.inputDevice = KeyOutputSettings::InputDevice::kOn;
      break;
    default:
      break;
  }
  settings.lircSocket = ini.ReadString(section, kLircSocketKey, defaultLircSocket);
  for (const std::string& remoteKey : InputKeyTable::RemoteKeyNames()) {
    const std::string key = std::string(InputKeyTable::kSettingPrefix) + remoteKey;
    if (ini.HasKey(section, key))
      settings.keys.Override(remoteKey, ini.ReadString(section, key, ""));
  }
  return settings;
}

}  // namespace trellon
