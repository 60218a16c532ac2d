#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/controller_link.h"

namespace trellon::fakes {

// Records what the controller link and the volume knob ask of the rest of the program, in order:
// "key:ok/remote", "key:vol+/local", "service", "clear", "power", "display:1". Attaches are
// counted, and the case temperatures kept by channel, as the fan regulation keeps them.
class FakeLinkActions : public ControllerLinkActions {
 public:
  void DispatchKey(const std::string& keyName, bool fromRemote) override {
    calls.push_back("key:" + keyName + (fromRemote ? "/remote" : "/local"));
    if (!failOnKey.empty() && keyName == failOnKey) throw std::runtime_error("key failed");
  }
  void ServiceDelayedKeys() override { calls.push_back("service"); }
  void ClearDelayedKeys() override { calls.push_back("clear"); }
  void PowerKeyPressed() override { calls.push_back("power"); }
  bool DisplayMode() const override { return displayMode; }
  void SetDisplayMode(bool on) override {
    calls.push_back(on ? "display:1" : "display:0");
    displayMode = on;
  }
  void CaseTemperature(int32_t channel, int32_t celsius) override {
    caseTemperatures.at(static_cast<size_t>(channel)) = celsius;
  }
  void ControllerAttached() override { ++attaches; }

  // The calls other than "service", which every attached tick makes.
  std::vector<std::string> Events() const {
    std::vector<std::string> events;
    for (const std::string& call : calls) {
      if (call != "service") events.push_back(call);
    }
    return events;
  }

  bool displayMode = false;
  std::array<int32_t, 2> caseTemperatures{};
  int attaches = 0;
  // Dispatching this key raises, as a failing send or settings write would.
  std::string failOnKey;
  std::vector<std::string> calls;
};

}  // namespace trellon::fakes
