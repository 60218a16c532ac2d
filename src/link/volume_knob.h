#pragma once

#include <cstdint>

#include "base/control_models.h"
#include "link/controller_port.h"
#include "link/key_sink.h"

namespace trellon {

// The case's volume knob: a quadrature encoder on the CTS and DSR inputs of the controller's
// port, decoded into "vol+" and "vol-" keys, one key per stretch/100 steps.
class VolumeKnob {
 public:
  // stretch is edVolumeControlStretch (percent), read at every event.
  VolumeKnob(ControllerPort& port, const SpinEditModel& stretch, KeySink& keys);

  // The port's CTS-change and DSR-change handler, on the main thread (also run twice inside
  // every Open and Close of the port). The event's own line state is not used: both lines are
  // read from the port. An EComPort from reading the lines propagates.
  void commCTSDSRChange();

  // Last phase seen (2 × CTS + DSR), or -1 before the first change.
  int32_t knobPhase() const { return knobPhase_; }
  // Signed quadrature steps since start (up +1, down -1).
  int64_t knobSteps() const { return knobSteps_; }

 private:
  int64_t ScaledSteps() const;

  ControllerPort& port_;
  const SpinEditModel& stretch_;
  KeySink& keys_;
  int32_t knobPhase_ = -1;
  // 64 bits: the count is never reset, and the scaling multiplies it by 100.
  int64_t knobSteps_ = 0;
};

}  // namespace trellon
