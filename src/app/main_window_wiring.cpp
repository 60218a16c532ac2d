// The window's wiring of the subsystems: the serial port's settings and events, the adapters
// between the subsystems, the fan labels, and taking it all apart again. Forwarding only; the
// logic is in the subsystems.
#include <QLabel>

#include "app/main_window.h"

namespace trellon {

void TVX710MainWindow::ConfigureComm() {
  // The controller's line: 38400 8N1 without flow control, RTS on (it powers the knob's
  // encoder), DTR off. Only the events the link and the knob handle are delivered.
  comm.SetPort(kControllerPort);
  comm.SetBaudRate(TBaudRate::br38400);
  comm.SetDataBits(TDataBits::dbEight);
  comm.Parity().SetBits(TParityBits::prNone);
  comm.SetStopBits(TStopBits::sbOneStopBit);
  comm.FlowControl().SetFlowControl(TFlowControl::fcNone);
  comm.FlowControl().SetOutDSRFlow(false);
  comm.FlowControl().SetControlDTR(TDTRFlowControl::dtrDisable);
  comm.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
  comm.SetEvents({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR});
  comm.SetSyncMethod(TSyncMethod::smThreadSync);
}

void TVX710MainWindow::WireSubsystems() {
  // The port's events reach these on the main thread while the event thread waits.
  comm.OnRxChar = [this](TCustomComPort&, int32_t count) {
    Handle([this, count] { commRxChar(count); });
  };
  comm.OnCTSChange = [this](TCustomComPort&, bool) { Handle([this] { commCTSDSRChange(); }); };
  comm.OnDSRChange = [this](TCustomComPort&, bool) { Handle([this] { commCTSDSRChange(); }); };
  // A crash after this would write its safe state to a closed, maybe reused, descriptor.
  comm.OnBeforeClose = [this](TCustomComPort&) { DisarmControllerSafeState(); };

  lbLinkStatus->setText(QString::fromStdString(link.StatusText()));
  link.SetOnStatusChange(
      [this](const std::string& text) { lbLinkStatus->setText(QString::fromStdString(text)); });
}

void TVX710MainWindow::UnwireSubsystems() {
  DisarmControllerSafeState();
  link.SetOnStatusChange(nullptr);
  // Without handlers, closing the port reaches neither the knob nor the link.
  comm.OnRxChar = nullptr;
  comm.OnCTSChange = nullptr;
  comm.OnDSRChange = nullptr;
  comm.OnBeforeClose = nullptr;
  Handle([this] { comm.Close(); });
}

FanControls TVX710MainWindow::MakeFanControls() {
  return {SpinEditRefsOf(controls_.minRear),     SpinEditRefsOf(controls_.maxRear),
          SpinEditRefsOf(controls_.respRear),    SpinEditRefsOf(controls_.minFront),
          SpinEditRefsOf(controls_.maxFront),    SpinEditRefsOf(controls_.respFront),
          SpinEditRefsOf(controls_.sfIndexEdits)};
}

// --- WindowLinkActions ---

void WindowLinkActions::DispatchKey(const std::string& keyName, bool fromRemote) {
  window_.keyDispatch.DispatchKey(keyName, fromRemote);
}

void WindowLinkActions::ServiceDelayedKeys() {
  window_.keyDispatch.ServiceDelayedKeys();
}

void WindowLinkActions::ClearDelayedKeys() {
  window_.keyDispatch.ClearDelayedKeys();
}

void WindowLinkActions::PowerKeyPressed() {
  window_.power.PowerKeyPressed();
}

bool WindowLinkActions::DisplayMode() const {
  return window_.display().DisplayMode;
}

void WindowLinkActions::SetDisplayMode(bool on) {
  window_.SetDisplayMode(on);
}

void WindowLinkActions::CaseTemperature(int32_t channel, int32_t celsius) {
  window_.regulation.SetCaseTemperature(channel, celsius);
}

void WindowLinkActions::ControllerAttached() {
  window_.regulation.ControllerAttached();
  window_.ArmControllerSafeState();
}

// --- LinkFanChannel, LinkPowerControl, WindowPowerOffAction ---

bool LinkFanChannel::IsAttached() const {
  return window_.link.IsAttached();
}

void LinkFanChannel::SendToController(const std::vector<uint8_t>& bytes) {
  window_.link.SendToController(bytes);
}

void LinkPowerControl::DetachController() {
  window_.link.DetachController();
}

void LinkPowerControl::ReopenController() {
  window_.link.ReopenController();
}

void WindowPowerOffAction::DoPowerOff() {
  window_.power.DoPowerOff();
}

// --- StatusLabels ---

void StatusLabels::SetTemperatureText(int sensor, const std::string& text) {
  QLabel* label = window_.tempLabels.at(static_cast<size_t>(sensor));
  label->setText(QString::fromStdString(text));
  // The label was sized for "N/A".
  label->adjustSize();
}

void StatusLabels::SetTemperatureVisible(int sensor, bool visible) {
  window_.tempLabels.at(static_cast<size_t>(sensor))->setVisible(visible);
  window_.tempNameLabels.at(static_cast<size_t>(sensor))->setVisible(visible);
}

void StatusLabels::SetFanText(int fan, const std::string& text) {
  window_.fanLabels.at(static_cast<size_t>(fan))->setText(QString::fromStdString(text));
}

}  // namespace trellon
