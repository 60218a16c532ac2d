#pragma once

#include <string>

#include "fans/fan_status_view.h"
#include "link/controller_link.h"

namespace trellon {

class TVX710MainWindow;

// What the controller link does with received codes, forwarded to the window's Parts: keys and
// the delayed-key queue to key dispatch, the power key to the power handling, the display-mode
// code to the window's DisplayMode field. Main thread only.
class WindowLinkActions final : public ControllerLinkActions {
 public:
  explicit WindowLinkActions(TVX710MainWindow& window) : window_(window) {}

  void DispatchKey(const std::string& keyName, bool fromRemote) override;
  void ServiceDelayedKeys() override;
  void ClearDelayedKeys() override;
  void PowerKeyPressed() override;
  bool DisplayMode() const override;
  void SetDisplayMode(bool on) override;

 private:
  TVX710MainWindow& window_;
};

// The Status page's temperature and fan labels as the fan regulation updates them. Main thread
// only.
class StatusLabels final : public FanStatusView {
 public:
  explicit StatusLabels(TVX710MainWindow& window) : window_(window) {}

  void SetTemperatureText(int sensor, const std::string& text) override;
  void SetTemperatureVisible(int sensor, bool visible) override;
  void SetFanText(int fan, const std::string& text) override;

 private:
  TVX710MainWindow& window_;
};

}  // namespace trellon
