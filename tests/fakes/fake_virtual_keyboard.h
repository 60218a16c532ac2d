#pragma once

#include <vector>

#include "remote/virtual_keyboard.h"

namespace trellon::fakes {

// Records every event written, in order; `accepts` false plays a device that has gone.
class FakeVirtualKeyboard : public VirtualKeyboard {
 public:
  bool Write(const std::vector<InputEvent>& written) override {
    ++writes;
    if (!accepts) return false;
    events.insert(events.end(), written.begin(), written.end());
    return true;
  }

  std::vector<InputEvent> events;
  int writes = 0;
  bool accepts = true;
};

// Records the keys handed to an output beside the key server: "name" for a press, "name+" for a
// forwarded repeat.
class RecordingKeyOutput : public KeyOutput {
 public:
  void KeyForwarded(const ForwardedKey& key) override {
    keys.push_back(key.name + (key.repeat ? "+" : ""));
  }

  std::vector<std::string> keys;
};

}  // namespace trellon::fakes
