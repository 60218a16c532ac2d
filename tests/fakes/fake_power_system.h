#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "remote/power_link_control.h"
#include "remote/power_system.h"

namespace trellon::fakes {

// Records the power actions asked for, in order.
class RecordingPowerSystem : public PowerSystem {
 public:
  bool EnableShutdownPrivilege() override {
    calls.push_back("EnableShutdownPrivilege");
    return privilegeResult;
  }
  void Hibernate() override { calls.push_back("Hibernate"); }
  void Suspend() override { calls.push_back("Suspend"); }
  void PowerOff() override { calls.push_back("PowerOff"); }

  bool privilegeResult = true;
  std::vector<std::string> calls;
};

// The controller link as the power handling sees it: records calls and keeps a link state.
class RecordingLinkControl : public ControllerLinkControl {
 public:
  enum class State { kDetached, kOpening, kHandshake, kAttached };

  void DetachController() override {
    calls.push_back("DetachController");
    if (throwOnDetach) throw std::runtime_error("write failed");
    if (portOpen) {
      portOpen = false;
      state = State::kDetached;
    }
  }
  void ReopenController() override {
    calls.push_back("ReopenController");
    state = State::kOpening;
  }

  bool portOpen = true;
  bool throwOnDetach = false;
  State state = State::kAttached;
  std::vector<std::string> calls;
};

}  // namespace trellon::fakes
