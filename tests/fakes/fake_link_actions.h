#pragma once

#include <string>
#include <vector>

#include "link/controller_link.h"
#include "remote/key_interfaces.h"

namespace trellon::fakes {

// Records what the controller link and the volume knob ask of the rest of the program, in order:
// "key:ok/remote", "key:vol+/local", "service", "clear", "power", "display:1".
class FakeLinkActions : public ControllerLinkActions, public KeyDispatcher {
 public:
  void DispatchKey(const std::string& keyName, bool fromRemote) override {
    calls.push_back("key:" + keyName + (fromRemote ? "/remote" : "/local"));
  }
  void ServiceDelayedKeys() override { calls.push_back("service"); }
  void ClearDelayedKeys() override { calls.push_back("clear"); }
  void PowerKeyPressed() override { calls.push_back("power"); }
  bool DisplayMode() const override { return displayMode; }
  void SetDisplayMode(bool on) override {
    calls.push_back(on ? "display:1" : "display:0");
    displayMode = on;
  }

  // The calls other than "service", which every attached tick makes.
  std::vector<std::string> Events() const {
    std::vector<std::string> events;
    for (const std::string& call : calls) {
      if (call != "service") events.push_back(call);
    }
    return events;
  }

  bool displayMode = false;
  std::vector<std::string> calls;
};

}  // namespace trellon::fakes
