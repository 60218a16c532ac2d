#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/control_models.h"
#include "fans/controller_channel.h"
#include "fans/fan_state.h"
#include "fans/fan_status_view.h"
#include "fans/speedfan_view.h"

namespace trellon {

template <size_t N>
using SpinEditRefs = std::array<std::reference_wrapper<SpinEditModel>, N>;
using SensorSettings = SpinEditRefs<kSensorCount>;

// The Fan Control page's settings, by sensor index; the window owns the models. Every value is
// read at the moment of use.
struct FanControls {
  SensorSettings minRear, maxRear, respRear;
  SensorSettings minFront, maxFront, respFront;
  // SpeedFan temperature slot of each SpeedFan sensor.
  SpinEditRefs<kSpeedFanSensorCount> sfIndexEdits;
};

// The references to a table of controls that its owner keeps.
template <size_t N>
SpinEditRefs<N> SpinEditRefsOf(const std::array<std::unique_ptr<SpinEditModel>, N>& owned) {
  return [&]<size_t... I>(std::index_sequence<I...>) {
    return SpinEditRefs<N>{std::ref(*owned[I])...};
  }
  (std::make_index_sequence<N>{});
}

// Turns six temperatures into the duties of the two case fans once a second and sends them to
// the controller while it is attached.
class FanRegulation {
 public:
  FanRegulation(FanState& state, const FanControls& controls, const SpeedFanView& speedFan,
                ControllerChannel& channel, FanStatusView& view);

  // The regulation tick, every 1000 ms on the main thread, after the window has expired the
  // overlay message: SpeedFan readings, temperature labels, regulation of both fans, and while
  // attached the fan commands and the tick byte. A failed write or settings save propagates.
  void Timer2Timer();

  // The controller link's case sensors: sensor 0 rear, 1 front; 0 means no reading.
  void SetCaseTemperature(int sensor, int32_t celsius);
  // The controller was just attached: the next tick sends both fan commands.
  void ControllerAttached();

 private:
  void ReadSpeedFan();
  void ShowTemperatures();
  void Regulate(int fan, const SensorSettings& minEdits, const SensorSettings& maxEdits,
                const SensorSettings& respEdits);
  void SendFanCommands();

  FanState& state_;
  FanControls controls_;
  const SpeedFanView& speedFan_;
  ControllerChannel& channel_;
  FanStatusView& view_;
};

}  // namespace trellon
