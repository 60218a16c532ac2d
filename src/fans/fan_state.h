#pragma once

#include <array>
#include <cstdint>

namespace trellon {

// Sensor index of every per-sensor table: 0 rear case sensor, 1 front case sensor, 2..5 the
// SpeedFan sensors 0..3.
constexpr int kSensorCount = 6;
constexpr int kCaseSensorCount = 2;
constexpr int kSpeedFanSensorCount = 4;
// Fan index: 0 rear, 1 front.
constexpr int kFanCount = 2;

// The temperatures and fan duties that the controller link and the regulation share. The
// controller link writes tempIncoming[0..1] from the case sensors and resets fanSent on attach;
// the regulation owns the rest. Main thread only.
struct FanState {
  // Latest readings in °C; 0 means no reading.
  std::array<int32_t, kSensorCount> tempIncoming{};
  // As last shown and regulated on; -1 until the first regulation tick.
  std::array<int32_t, kSensorCount> tempShown{-1, -1, -1, -1, -1, -1};
  // Regulated duty per fan in percent, 0..100.
  std::array<double, kFanCount> fanDuty{};
  // The duty at the time the last fan command was sent; -1 = nothing sent since start or attach.
  std::array<double, kFanCount> fanSent{-1.0, -1.0};
};

}  // namespace trellon
