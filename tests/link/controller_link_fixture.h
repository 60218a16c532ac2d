#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "fakes/fake_controller_port.h"
#include "fakes/fake_link_actions.h"
#include "fakes/recording_shell.h"
#include "link/controller_link.h"

namespace trellon {

// A controller link on a fake port, a manual clock starting at a given tick, and recording
// actions and log.
class ControllerLinkFixture : public ::testing::Test {
 protected:
  using Bytes = std::vector<uint8_t>;
  using Write = fakes::FakeControllerPort::Write;

  explicit ControllerLinkFixture(uint32_t startTick) : clock(startTick) {}

  // One link tick, 100 ms after the last.
  void Tick() {
    clock.Advance(100);
    link.Timer1Timer();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Tick();
  }
  // The controller sends bytes, and the port reports them.
  void Receive(const Bytes& bytes) {
    port.Queue(bytes);
    link.commRxChar(static_cast<int32_t>(bytes.size()));
  }

  ManualClock clock;
  fakes::FakeControllerPort port{&clock};
  fakes::FakeLinkActions actions;
  fakes::RecordingShell shell;
  ControllerLink link{port, actions, clock, shell};
};

}  // namespace trellon
