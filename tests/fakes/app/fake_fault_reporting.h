#pragma once

#include <cstdint>
#include <vector>

#include "crash/fault_reporting.h"

namespace trellon::fakes {

// Records the controller ports the window gives its fault handling.
class RecordingFaultReporting final : public FaultReporting {
 public:
  void SetControllerPort(intptr_t handle) override { ports.push_back(handle); }

  // The port a crash would write to now.
  intptr_t Port() const { return ports.empty() ? -1 : ports.back(); }

  std::vector<intptr_t> ports;
};

}  // namespace trellon::fakes
