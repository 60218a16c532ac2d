#include "fans/fan_regulation.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "protocol/controller_protocol.h"

namespace trellon {
namespace {

// Bounds of the controls as the window builds them. A value typed but not yet committed is
// seen as typed; it is bounded here so that it can neither divide by zero nor reach outside
// SpeedFan's table.
constexpr int32_t kMaxTemperatureLow = 0;
constexpr int32_t kMaxTemperatureHigh = 100;
constexpr int32_t kResponseLow = 1;
constexpr int32_t kResponseHigh = 30;

int32_t Bounded(const SpinEditModel& edit, int32_t low, int32_t high) {
  return std::clamp(edit.Value(), low, high);
}

}  // namespace

FanRegulation::FanRegulation(FanState& state, const FanControls& controls,
                             const SpeedFanView& speedFan, ControllerChannel& channel,
                             FanStatusView& view)
    : state_(state), controls_(controls), speedFan_(speedFan), channel_(channel), view_(view) {}

void FanRegulation::SetCaseTemperature(int sensor, int32_t celsius) {
  state_.tempIncoming.at(static_cast<size_t>(sensor)) = celsius;
}

void FanRegulation::ControllerAttached() {
  state_.fanSent.fill(-1.0);
}

void FanRegulation::Timer2Timer() {
  ReadSpeedFan();
  ShowTemperatures();
  Regulate(0, controls_.minRear, controls_.maxRear, controls_.respRear);
  Regulate(1, controls_.minFront, controls_.maxFront, controls_.respFront);
  if (channel_.IsAttached()) SendFanCommands();
}

void FanRegulation::ReadSpeedFan() {
  for (int i = 0; i < kSpeedFanSensorCount; ++i) {
    const int32_t slot = Bounded(controls_.sfIndexEdits[i], 0, kSpeedFanSlotCount - 1);
    // Hundredths to whole degrees, rounding half away from zero for positive values; in 64 bits
    // so that a value near the 32-bit limits cannot overflow.
    const int64_t hundredths = speedFan_.SlotValue(slot);
    state_.tempIncoming[kCaseSensorCount + i] = static_cast<int32_t>((hundredths + 50) / 100);
  }
}

void FanRegulation::ShowTemperatures() {
  for (int s = 0; s < kSensorCount; ++s) {
    const int32_t value = state_.tempIncoming[s];
    if (value == state_.tempShown[s]) continue;
    state_.tempShown[s] = value;
    if (value != 0) {
      view_.SetTemperatureVisible(s, true);
      view_.SetTemperatureText(s, std::to_string(value));
    } else {
      view_.SetTemperatureVisible(s, false);
    }
  }
}

void FanRegulation::Regulate(int fan, const SensorSettings& minEdits,
                             const SensorSettings& maxEdits, const SensorSettings& respEdits) {
  const double old = state_.fanDuty[fan];
  double best = 0.0;
  for (int s = 0; s < kSensorCount; ++s) {
    int32_t min = minEdits[s].get().Value();
    const int32_t max = Bounded(maxEdits[s], kMaxTemperatureLow, kMaxTemperatureHigh);
    const int32_t resp = Bounded(respEdits[s], kResponseLow, kResponseHigh);
    if (min >= max) {
      // Fires the control's change handler, which saves the settings.
      min = max - 1;
      minEdits[s].get().SetValue(min);
    }
    const int32_t t = state_.tempShown[s];
    double target;
    if (t <= min) {
      target = 0.0;
    } else if (t >= max) {
      target = 100.0;
    } else {
      // In floating point: a typed minimum near the 32-bit limit must not overflow.
      target = (static_cast<double>(t) - min) / (static_cast<double>(max) - min) * 100.0;
    }
    const double candidate = old + (target - old) / resp;
    if (candidate > best) best = candidate;
  }
  state_.fanDuty[fan] = best;
}

void FanRegulation::SendFanCommands() {
  for (int fan = 0; fan < kFanCount; ++fan) {
    const double duty = state_.fanDuty[fan];
    if (vx710::RoundHalfEven(duty) == vx710::RoundHalfEven(state_.fanSent[fan])) continue;
    const uint8_t value = vx710::FanValueForDuty(duty);
    channel_.SendToController(vx710::FanFrame(fan, value));
    state_.fanSent[fan] = duty;
    view_.SetFanText(fan, std::to_string(vx710::FanPercentForValue(value)) + " %");
  }
  channel_.SendToController(vx710::TickFrame());
}

}  // namespace trellon
