#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fans/controller_channel.h"
#include "fans/fan_status_view.h"
#include "link/controller_link.h"
#include "remote/key_interfaces.h"
#include "remote/power_link_control.h"

namespace trellon {

class TVX710MainWindow;

// The subsystems meet only here: each adapter implements the interface that the calling side owns
// by forwarding to the window's member that does the work. Main thread only.

// What the controller link does with received codes: keys (also the knob's) and the delayed-key
// queue to key dispatch, the power key to the power handling, the display-mode code to the
// window's DisplayMode field, the case temperatures and the attach to the fan regulation.
class WindowLinkActions final : public ControllerLinkActions {
 public:
  explicit WindowLinkActions(TVX710MainWindow& window) : window_(window) {}

  void DispatchKey(const std::string& keyName, bool fromRemote) override;
  void ServiceDelayedKeys() override;
  void ClearDelayedKeys() override;
  void PowerKeyPressed() override;
  bool DisplayMode() const override;
  void SetDisplayMode(bool on) override;
  void CaseTemperature(int32_t channel, int32_t celsius) override;
  void ControllerAttached() override;

 private:
  TVX710MainWindow& window_;
};

// The fan regulation's way to the controller: the controller link.
class LinkFanChannel final : public ControllerChannel {
 public:
  explicit LinkFanChannel(TVX710MainWindow& window) : window_(window) {}

  bool IsAttached() const override;
  void SendToController(const std::vector<uint8_t>& bytes) override;

 private:
  TVX710MainWindow& window_;
};

// The power handling's hold on the controller link (detach at suspend, reopen at resume).
class LinkPowerControl final : public ControllerLinkControl {
 public:
  explicit LinkPowerControl(TVX710MainWindow& window) : window_(window) {}

  void DetachController() override;
  void ReopenController() override;

 private:
  TVX710MainWindow& window_;
};

// The power action that key dispatch runs for the power key's delayed marker. Key dispatch is
// made before the power handling, which schedules through it, so it reaches the power handling
// through the window.
class WindowPowerOffAction final : public PowerOffAction {
 public:
  explicit WindowPowerOffAction(TVX710MainWindow& window) : window_(window) {}

  void DoPowerOff() override;

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
