#pragma once

#include <array>
#include <cstdint>

#include "base/control_models.h"
#include "fans/controller_channel.h"
#include "fans/fan_state.h"
#include "fans/fan_status_view.h"
#include "fans/speedfan_view.h"

namespace trellon {

// The Fan Control page's settings, by sensor index; the window owns the models. Every value is
// read at the moment of use.
struct FanControls {
  std::array<SpinEditModel*, kSensorCount> minRear{};
  std::array<SpinEditModel*, kSensorCount> maxRear{};
  std::array<SpinEditModel*, kSensorCount> respRear{};
  std::array<SpinEditModel*, kSensorCount> minFront{};
  std::array<SpinEditModel*, kSensorCount> maxFront{};
  std::array<SpinEditModel*, kSensorCount> respFront{};
  // SpeedFan temperature slot of each SpeedFan sensor.
  std::array<SpinEditModel*, kSpeedFanSensorCount> sfIndexEdits{};
};

// Turns six temperatures into the duties of the two case fans once a second and sends them to
// the controller while it is attached.
class FanRegulation {
 public:
  // Throws std::invalid_argument when a control of `controls` is missing.
  FanRegulation(FanState& state, const FanControls& controls, const SpeedFanView& speedFan,
                ControllerChannel& channel, FanStatusView& view);

  // The regulation tick, every 1000 ms on the main thread, after the window has expired the
  // overlay message: SpeedFan readings, temperature labels, regulation of both fans, and while
  // attached the fan commands and the tick byte. A failed write or settings save propagates.
  void Timer2Timer();

  // The value byte of a fan command for a duty in percent (0..177, halves to even).
  static uint8_t FanCommandValue(double duty);

 private:
  void ReadSpeedFan();
  void ShowTemperatures();
  void Regulate(int fan, const std::array<SpinEditModel*, kSensorCount>& minEdits,
                const std::array<SpinEditModel*, kSensorCount>& maxEdits,
                const std::array<SpinEditModel*, kSensorCount>& respEdits);
  void SendFanCommands();

  FanState& state_;
  FanControls controls_;
  const SpeedFanView& speedFan_;
  ControllerChannel& channel_;
  FanStatusView& view_;
};

}  // namespace trellon
