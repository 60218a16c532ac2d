#include "fans/fan_regulation.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "link/controller_protocol.h"

namespace trellon {
namespace {

// Bounds of the controls as the window builds them. A value typed but not yet committed is
// seen as typed; it is bounded here so that it can neither divide by zero nor reach outside
// SpeedFan's table.
constexpr int32_t kMaxTemperatureLow = 0;
constexpr int32_t kMaxTemperatureHigh = 100;
constexpr int32_t kResponseLow = 1;
constexpr int32_t kResponseHigh = 30;

// Nearest integer, halves to the even neighbour, whatever the FPU rounding mode.
double RoundHalfEven(double x) {
  const double lower = std::floor(x);
  const double fraction = x - lower;
  if (fraction < 0.5) return lower;
  if (fraction > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

int32_t Bounded(const SpinEditModel& edit, int32_t low, int32_t high) {
  return std::clamp(edit.Value(), low, high);
}

template <size_t N>
void RequireAll(const std::array<SpinEditModel*, N>& edits, const char* table) {
  for (const SpinEditModel* edit : edits) {
    if (edit == nullptr)
      throw std::invalid_argument(std::string("FanRegulation: missing ") + table);
  }
}

}  // namespace

FanRegulation::FanRegulation(FanState& state, const FanControls& controls,
                             const SpeedFanView& speedFan, ControllerChannel& channel,
                             FanStatusView& view)
    : state_(state), controls_(controls), speedFan_(speedFan), channel_(channel), view_(view) {
  RequireAll(controls_.minRear, "minRear");
  RequireAll(controls_.maxRear, "maxRear");
  RequireAll(controls_.respRear, "respRear");
  RequireAll(controls_.minFront, "minFront");
  RequireAll(controls_.maxFront, "maxFront");
  RequireAll(controls_.respFront, "respFront");
  RequireAll(controls_.sfIndexEdits, "sfIndexEdits");
}

uint8_t FanRegulation::FanCommandValue(double duty) {
  const double value = RoundHalfEven(duty / 100.0 * 177.0);
  if (!(value > 0.0)) return 0;
  if (value > vx710::kFanMax) return vx710::kFanMax;
  return static_cast<uint8_t>(value);
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
    const int32_t slot = Bounded(*controls_.sfIndexEdits[i], 0, kSpeedFanSlotCount - 1);
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

void FanRegulation::Regulate(int fan, const std::array<SpinEditModel*, kSensorCount>& minEdits,
                             const std::array<SpinEditModel*, kSensorCount>& maxEdits,
                             const std::array<SpinEditModel*, kSensorCount>& respEdits) {
  const double old = state_.fanDuty[fan];
  double best = 0.0;
  for (int s = 0; s < kSensorCount; ++s) {
    int32_t min = minEdits[s]->Value();
    const int32_t max = Bounded(*maxEdits[s], kMaxTemperatureLow, kMaxTemperatureHigh);
    const int32_t resp = Bounded(*respEdits[s], kResponseLow, kResponseHigh);
    if (min >= max) {
      // Fires the control's change handler, which saves the settings.
      min = max - 1;
      minEdits[s]->SetValue(min);
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
    if (RoundHalfEven(duty) == RoundHalfEven(state_.fanSent[fan])) continue;
    const uint8_t value = FanCommandValue(duty);
    channel_.SendToController({static_cast<uint8_t>(vx710::kFanRear + fan), value});
    state_.fanSent[fan] = duty;
    const double shown = RoundHalfEven(value / 177.0 * 100.0);
    view_.SetFanText(fan, std::to_string(static_cast<int>(shown)) + " %");
  }
  channel_.SendToController({vx710::kTick});
}

}  // namespace trellon
