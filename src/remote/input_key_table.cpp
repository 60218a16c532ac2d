#include "remote/input_key_table.h"

#include <array>
#include <utility>

#include "protocol/controller_protocol.h"

namespace trellon {
namespace {

// Chosen for a media centre on a television: the arrows, Enter and Backspace walk every menu,
// Escape leaves; the media and volume keys are the ones keyboards have, which desktops and media
// centres already know. "power" has none: the program runs the power action itself, and a
// power key from a keyboard would make the desktop shut the machine down a second way.
constexpr std::array<std::pair<std::string_view, std::string_view>, 41> kBuiltIn{{
    {"up", "KEY_UP"},
    {"down", "KEY_DOWN"},
    {"left", "KEY_LEFT"},
    {"right", "KEY_RIGHT"},
    {"ok", "KEY_ENTER"},
    {"back", "KEY_BACKSPACE"},
    {"exit", "KEY_ESC"},
    {"mute", "KEY_MUTE"},
    {"vol+", "KEY_VOLUMEUP"},
    {"vol-", "KEY_VOLUMEDOWN"},
    {"ch+", "KEY_CHANNELUP"},
    {"ch-", "KEY_CHANNELDOWN"},
    {"play", "KEY_PLAYCD"},
    {"pause", "KEY_PAUSECD"},
    {"stop", "KEY_STOPCD"},
    {"next", "KEY_NEXTSONG"},
    {"prev", "KEY_PREVIOUSSONG"},
    {"rew", "KEY_REWIND"},
    {"fwd", "KEY_FASTFORWARD"},
    {"rec", "KEY_RECORD"},
    {"0", "KEY_0"},
    {"1", "KEY_1"},
    {"2", "KEY_2"},
    {"3", "KEY_3"},
    {"4", "KEY_4"},
    {"5", "KEY_5"},
    {"6", "KEY_6"},
    {"7", "KEY_7"},
    {"8", "KEY_8"},
    {"9", "KEY_9"},
    {"home", "KEY_HOMEPAGE"},
    {"video", "KEY_VIDEO"},
    {"pictures", "KEY_IMAGES"},
    {"music", "KEY_AUDIO"},
    {"tv", "KEY_TV"},
    {"livetv", "KEY_TV2"},
    {"epg", "KEY_EPG"},
    {"dvd", "KEY_DVD"},
    {"detail", "KEY_INFO"},
    {"task", "KEY_MENU"},
    {"run", "KEY_PROG1"},
}};

constexpr std::array<std::string_view, 1> kKeysBesideTheRemote{"power"};

}  // namespace

InputKeyTable::InputKeyTable() {
  for (const auto& [remoteKey, inputKey] : kBuiltIn) {
    entries_.emplace(std::string(remoteKey), std::string(inputKey));
  }
}

void InputKeyTable::Override(const std::string& remoteKey, const std::string& inputKey) {
  entries_[remoteKey] = inputKey;
}

std::optional<std::string> InputKeyTable::InputKeyFor(std::string_view remoteKey) const {
  const auto it = entries_.find(remoteKey);
  if (it == entries_.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

std::vector<std::pair<std::string, std::string>> InputKeyTable::Entries() const {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& [remoteKey, inputKey] : entries_) {
    if (!inputKey.empty()) entries.emplace_back(remoteKey, inputKey);
  }
  return entries;
}

std::vector<std::string> InputKeyTable::RemoteKeyNames() {
  std::vector<std::string> names;
  for (int code = vx710::kFirstKeyCode; code <= vx710::kLastKeyCode; ++code) {
    const std::optional<std::string_view> name = vx710::KeyNameForCode(static_cast<uint8_t>(code));
    if (name && !name->empty()) names.emplace_back(*name);
  }
  for (std::string_view name : kKeysBesideTheRemote) names.emplace_back(name);
  return names;
}

std::vector<InputEvent> KeystrokeEvents(int code) {
  return {{kEvKey, code, 1}, {kEvSyn, kSynReport, 0}, {kEvKey, code, 0}, {kEvSyn, kSynReport, 0}};
}

}  // namespace trellon
