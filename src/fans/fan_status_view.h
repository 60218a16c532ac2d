#pragma once

#include <string>

namespace trellon {

// The status page's temperature and fan labels as the regulation updates them; the main window
// implements it. Main thread only.
class FanStatusView {
 public:
  virtual ~FanStatusView() = default;
  // The value label of a sensor (tempLabels entry).
  virtual void SetTemperatureText(int sensor, const std::string& text) = 0;
  // Shows or hides both the value label and the name label of a sensor (tempLabels and
  // tempNameLabels entries).
  virtual void SetTemperatureVisible(int sensor, bool visible) = 0;
  // The duty label of a fan (fanLabels entry).
  virtual void SetFanText(int fan, const std::string& text) = 0;
};

}  // namespace trellon
