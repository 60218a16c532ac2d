#include "link/volume_knob.h"

#include <algorithm>

namespace trellon {
namespace {

// The control's lower bound; a smaller value typed but not committed must not divide by zero.
constexpr int64_t kMinStretch = 10;

// Step for a phase change: +1 up, -1 down, 0 for the same phase, a skipped phase or no previous
// phase. Up runs 0 -> 2 -> 3 -> 1 -> 0 (CTS changes first), down the other way.
int Step(int32_t previous, int32_t phase) {
  static constexpr int32_t kUpFrom[4] = {1, 3, 0, 2};
  static constexpr int32_t kDownFrom[4] = {2, 0, 3, 1};
  if (previous < 0 || previous > 3) return 0;
  if (previous == kUpFrom[phase]) return 1;
  if (previous == kDownFrom[phase]) return -1;
  return 0;
}

// Division rounding toward minus infinity.
int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

VolumeKnob::VolumeKnob(ControllerPort& port, const SpinEditModel& stretch, KeySink& keys)
    : port_(port), stretch_(stretch), keys_(keys) {}

int64_t VolumeKnob::ScaledSteps() const {
  const int64_t stretch = std::max<int64_t>(stretch_.Value(), kMinStretch);
  return FloorDiv(knobSteps_ * 100, stretch);
}

void VolumeKnob::commCTSDSRChange() {
  const TModemLines lines = port_.ModemLines();
  const int32_t phase = 2 * ((lines & kLineCTS) ? 1 : 0) + ((lines & kLineDSR) ? 1 : 0);
  const int step = Step(knobPhase_, phase);
  knobPhase_ = phase;

  int64_t before = ScaledSteps();
  knobSteps_ += step;
  // The stretch is read again: a change between events moves the thresholds at once.
  const int64_t after = ScaledSteps();
  for (; before < after; ++before) keys_.DispatchKey("vol+", false);
  for (; before > after; --before) keys_.DispatchKey("vol-", false);
}

}  // namespace trellon
