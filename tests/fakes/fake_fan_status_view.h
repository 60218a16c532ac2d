#pragma once

#include <array>
#include <string>

#include "fans/fan_state.h"
#include "fans/fan_status_view.h"

namespace trellon::fakes {

// The status page's labels as the window would hold them, built as "N/A" and "100 %".
class FakeFanStatusView : public FanStatusView {
 public:
  FakeFanStatusView() {
    temperatureText.fill("N/A");
    temperatureVisible.fill(true);
    fanText.fill("100 %");
  }
  void SetTemperatureText(int sensor, const std::string& text) override {
    temperatureText.at(static_cast<size_t>(sensor)) = text;
    ++updates;
  }
  void SetTemperatureVisible(int sensor, bool visible) override {
    temperatureVisible.at(static_cast<size_t>(sensor)) = visible;
    ++updates;
  }
  void SetFanText(int fan, const std::string& text) override {
    fanText.at(static_cast<size_t>(fan)) = text;
    ++updates;
  }
  std::array<std::string, kSensorCount> temperatureText;
  std::array<bool, kSensorCount> temperatureVisible;
  std::array<std::string, kFanCount> fanText;
  int updates = 0;
};

}  // namespace trellon::fakes
