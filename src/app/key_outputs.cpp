#include "app/key_outputs.h"

#include <vector>

namespace trellon {
namespace {

constexpr char kPermissionHint[] =
    "Virtual keyboard: this user may not use /dev/uinput, so the remote's keys reach only "
    "key-server and LIRC clients. Install Trellon's udev rule (the package does) or add the user "
    "to the \"input\" group, and log in again; InputDevice=0 in Trellon.ini silences this";

}  // namespace

void KeyOutputs::Start(const KeyOutputSettings& settings) {
  Stop();
  StartVirtualKeyboard(settings);
  if (!settings.lircSocket.empty()) {
    lirc_ = std::make_unique<LircServer>(log_, settings.lircSocket);
    dispatch_.AddKeyOutput(*lirc_);
  }
}

void KeyOutputs::Stop() {
  if (lirc_) dispatch_.RemoveKeyOutput(*lirc_);
  if (inputOutput_) dispatch_.RemoveKeyOutput(*inputOutput_);
  lirc_.reset();
  inputOutput_.reset();
  keyboard_.reset();
}

void KeyOutputs::StartVirtualKeyboard(const KeyOutputSettings& settings) {
  using InputDevice = KeyOutputSettings::InputDevice;
  if (settings.inputDevice == InputDevice::kOff) return;
  if (settings.inputDevice == InputDevice::kAuto) {
    switch (VirtualKeyboardAllowed()) {
      case VirtualKeyboardAccess::kAllowed:
        break;
      case VirtualKeyboardAccess::kNoPermission:
        log_.WriteLog(kPermissionHint);
        return;
      case VirtualKeyboardAccess::kNoDevice:
        // A machine without uinput (a container, a kernel without the module) only says so.
        log_.WriteLog("Virtual keyboard: off, the system has no /dev/uinput");
        return;
    }
  }

  std::vector<std::string> unknown;
  auto codes = ResolveInputKeys(settings.keys, InputKeyCodeForName, unknown);
  // A mistyped entry keeps the built-in key, so that one typo does not silence a key.
  const InputKeyTable builtIn;
  for (const std::string& entry : unknown) {
    const std::string remoteKey = entry.substr(0, entry.find('='));
    log_.WriteLog("Virtual keyboard: " + std::string(InputKeyTable::kSettingPrefix) + entry +
                  " names no key; the built-in key is used");
    if (const auto inputKey = builtIn.InputKeyFor(remoteKey)) {
      if (const auto code = InputKeyCode(*inputKey, InputKeyCodeForName)) {
        codes.emplace(remoteKey, *code);
      }
    }
  }

  VirtualKeyboardProblem problem;
  keyboard_ = CreateVirtualKeyboard(InputKeyOutput::CodesOf(codes), problem);
  if (!keyboard_) {
    log_.WriteLog(problem.permission ? std::string(kPermissionHint)
                                     : "Virtual keyboard: " + problem.text);
    return;
  }
  inputOutput_ = std::make_unique<InputKeyOutput>(std::move(codes), *keyboard_);
  dispatch_.AddKeyOutput(*inputOutput_);
  log_.WriteLog(std::string("Virtual keyboard: \"") + kVirtualKeyboardName +
                "\" sends the remote's keys");
}

}  // namespace trellon
