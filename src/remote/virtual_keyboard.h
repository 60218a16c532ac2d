#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/input_key_table.h"
#include "remote/key_interfaces.h"

namespace trellon {

// A keyboard that exists only in software (uinput on Linux): what it writes reaches every program
// that reads keyboards, the desktop and a media centre alike.
class VirtualKeyboard {
 public:
  virtual ~VirtualKeyboard() = default;
  // Writes the events in order; false when the device did not take them.
  virtual bool Write(const std::vector<InputEvent>& events) = 0;
};

// The device's name as readers see it.
constexpr const char* kVirtualKeyboardName = "VX710 Remote";

// Why a virtual keyboard could not be made.
struct VirtualKeyboardProblem {
  std::string text;
  // The user lacks the right to make one (rather than the system lacking the device).
  bool permission = false;
};

// Backend: a keyboard that can send `codes`; nothing, with the reason, when none can be made.
std::unique_ptr<VirtualKeyboard> CreateVirtualKeyboard(const std::vector<int>& codes,
                                                       VirtualKeyboardProblem& problem);
enum class VirtualKeyboardAccess { kAllowed, kNoPermission, kNoDevice };
// Backend: whether this user may make a virtual keyboard (the device node is there and writable).
VirtualKeyboardAccess VirtualKeyboardAllowed();
// Backend: the code of a key name such as "KEY_ENTER"; nothing for a name that is no key.
std::optional<int> InputKeyCodeForName(std::string_view name);

// Sends every key that dispatch passes on through the virtual keyboard as one keystroke, when the
// key table has an entry for it. Main thread only.
class InputKeyOutput final : public KeyOutput {
 public:
  InputKeyOutput(std::map<std::string, int, std::less<>> codes, VirtualKeyboard& keyboard)
      : codes_(std::move(codes)), keyboard_(keyboard) {}

  void KeyForwarded(const ForwardedKey& key) override;

  // The codes the device must be able to send.
  static std::vector<int> CodesOf(const std::map<std::string, int, std::less<>>& codes);

 private:
  const std::map<std::string, int, std::less<>> codes_;
  VirtualKeyboard& keyboard_;
};

}  // namespace trellon
