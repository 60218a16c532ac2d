#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trellon {

// The remote's keys as keyboard keys for programs that read input devices: remote key name ->
// Linux input key name ("ok" -> "KEY_ENTER"). The built-in table is the one place that says which
// key a remote key becomes; the settings file can replace single entries. A remote key without an
// entry, or with an empty one, is not sent as a keyboard key.
class InputKeyTable {
 public:
  // Settings-file keys "InputKey_<remote key>" override the entry of that remote key.
  static constexpr std::string_view kSettingPrefix = "InputKey_";

  // The built-in table.
  InputKeyTable();

  // Replaces the entry of `remoteKey` (also a key the built-in table lacks). `inputKey` is a
  // key name such as "KEY_SELECT", a decimal key code, or empty for "not sent".
  void Override(const std::string& remoteKey, const std::string& inputKey);
  // The entry of a remote key; nothing when it is not sent.
  std::optional<std::string> InputKeyFor(std::string_view remoteKey) const;
  // Every remote key with its entry, in name order (empty entries left out).
  std::vector<std::pair<std::string, std::string>> Entries() const;

  // Every remote key name the program may pass on: the remote's, the knob's and the power key's.
  static std::vector<std::string> RemoteKeyNames();

 private:
  std::map<std::string, std::string, std::less<>> entries_;
};

// Turns an entry into a key code: a decimal number is taken as it is (1..767), a name is looked
// up by `codeForName`. Nothing for an entry that names no key.
template <typename CodeForName>
std::optional<int> InputKeyCode(std::string_view entry, CodeForName codeForName);

// The entries of `table` as key codes, for the remote keys whose entry names a key. Entries that
// name none are listed in `unknown` ("<remote key>=<entry>") and left out.
template <typename CodeForName>
std::map<std::string, int, std::less<>> ResolveInputKeys(const InputKeyTable& table,
                                                         CodeForName codeForName,
                                                         std::vector<std::string>& unknown);

// The input events of one keystroke. Every key that dispatch passes on, a press or a forwarded
// repeat alike, is one whole keystroke (key down, report, key up, report): the device has no
// repeat of its own, so holding a remote key repeats exactly as the repeat filter forwards, and a
// reader never sees a key that stays down (which desktops would repeat themselves, and media
// centres take for a long press).
struct InputEvent {
  int type;
  int code;
  int value;
  bool operator==(const InputEvent&) const = default;
};
std::vector<InputEvent> KeystrokeEvents(int code);

// Linux's input event numbers, part of its stable interface.
constexpr int kEvSyn = 0;
constexpr int kEvKey = 1;
constexpr int kSynReport = 0;
constexpr int kMaxInputKeyCode = 0x2ff;

}  // namespace trellon

#include "remote/input_key_table_impl.h"
