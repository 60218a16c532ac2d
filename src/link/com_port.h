#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "base/main_thread.h"
#include "base/shell_services.h"
#include "link/com_error.h"
#include "link/com_settings.h"
#include "link/com_types.h"
#include "link/comm_device.h"
#include "link/controller_port.h"

namespace trellon {

class TComThread;
struct ComWindowTarget;

// The serial port component: its settings, opening and closing the device, transfers, the modem
// lines, and the event thread that delivers device events as the port's events. Every failure
// raises EComPort. All operations and setters are for the main thread.
//
// TCustomComPort keeps the properties and events protected; TComPort publishes them.
class TCustomComPort : public ControllerPort, private ComSettingsOwner {
 public:
  // device: the serial device (closed). mainThread: where handlers run (smThreadSync) and where
  // smWindowSync posts its steps. errorReporter: takes exceptions that escape a handler during
  // event delivery, and the failure of an open at the end of loading.
  TCustomComPort(std::unique_ptr<CommDevice> device, MainThread& mainThread,
                 ErrorReporter& errorReporter);
  // Closes an open port first, with all close notifications; no event thread of the port is
  // left when it returns, and no handler runs afterwards.
  ~TCustomComPort() override;
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  // Opens the device, applies the settings, starts event delivery and raises the after-open
  // notifications. Nothing when already open.
  void Open() override;
  // Raises the before-close notifications, aborts transfers, stops event delivery, releases the
  // device and raises OnAfterClose. Nothing when closed. A failed abort raises EComPort 5 after
  // the port has been closed.
  void Close() override;
  bool Connected() const override { return connected_.load(); }
  // The open device's system handle (CommDevice::NativeHandle); -1 when closed.
  intptr_t NativeHandle() const { return device_->NativeHandle(); }

  int32_t WriteBytes(const std::vector<uint8_t>& bytes) override;
  // Reads up to count bytes; the result holds the bytes read.
  std::vector<uint8_t> ReadBytes(int32_t count) override;
  int32_t BytesWaiting();
  TModemLines ModemLines() override;
  void SetDTRLine(bool on) override;
  void SetRTSLine(bool on) override;

  // While the owner's stored settings are being loaded, setting Connected is only remembered;
  // Loaded opens the port if it was set, and hands a failure to the error reporter.
  void BeginLoading() { loading_ = true; }
  void Loaded();

 protected:
  void SetConnected(bool value);
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  int32_t CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int32_t value);
  const std::string& Port() const { return port_; }
  // A different name on an open port closes it and opens it again on the new name.
  void SetPort(const std::string& value);
  TComParity& Parity() { return parity_; }
  const TComParity& Parity() const { return parity_; }
  void SetParity(const TComParity& value) { parity_.Assign(value); }
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool value);
  uint8_t EventChar() const { return eventChar_; }
  void SetEventChar(uint8_t value);
  // Read at Open.
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents value) { events_ = value; }
  TComBuffer& Buffer() { return buffer_; }
  const TComBuffer& Buffer() const { return buffer_; }
  void SetBuffer(const TComBuffer& value) { buffer_.Assign(value); }
  TComFlowControl& FlowControl() { return flowControl_; }
  const TComFlowControl& FlowControl() const { return flowControl_; }
  void SetFlowControl(const TComFlowControl& value) { flowControl_.Assign(value); }
  TComTimeouts& Timeouts() { return timeouts_; }
  const TComTimeouts& Timeouts() const { return timeouts_; }
  void SetTimeouts(const TComTimeouts& value) { timeouts_.Assign(value); }
  // Read at Open; changing it while open raises EComPort 14.
  TSyncMethod SyncMethod() const { return syncMethod_; }
  void SetSyncMethod(TSyncMethod value);

  // Events. Handlers run on the thread that SyncMethod selects (the main thread for
  // smThreadSync and smWindowSync, the event thread for smNone); the open and close
  // notifications run on the thread that calls Open or Close. An unset handler is skipped.
  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnAfterClose;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnBeforeClose;
  // Count: the bytes waiting when the event is delivered (never 0).
  TRxCharEvent OnRxChar;
  // When set, received bytes are read by the port and handed here instead of OnRxChar.
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnBreak;
  TNotifyEvent OnRing;
  TNotifyEvent OnRxFlag;
  TNotifyEvent OnRx80Full;
  // OnOff: the line's state read when the event is delivered.
  TComSignalEvent OnCTSChange;
  TComSignalEvent OnDSRChange;
  TComSignalEvent OnRLSDChange;
  TComErrorEvent OnError;

 private:
  friend class TComThread;
  friend struct ComWindowTarget;

  // ComSettingsOwner: nothing while closed.
  void ApplyLineSettings() override;
  void ApplyTimeoutSettings() override;
  void ApplyBufferSizes() override;

  CommDcb MakeDcb() const;
  void StartEventThread();
  void StopEventThread();
  void CollectRetiredThreads();
  // Raises OnCTSChange, OnDSRChange and OnRLSDChange with fresh line states.
  void NotifyLineStates();
  // Raises one line's change event (when set) with the line's state read now.
  void NotifyLineState(const TComSignalEvent& event, TModemLines line);
  TComErrors ReadLineErrors();

  // One wake-up's events in their fixed order, each step on its own: an exception in one does
  // not keep the later ones from running. Stops when the port has been closed meanwhile or the
  // delivering thread has been stopped (a handler that closed and opened the port again: the
  // rest of the old wake-up does not belong to the new opening).
  std::vector<std::exception_ptr> DeliverEvents(TComEvents events,
                                                const std::atomic<bool>& stopped);
  // The step of one event; raises what its handler or device call raises.
  void DeliverEvent(TComEvent event);

  std::unique_ptr<CommDevice> device_;
  MainThread& mainThread_;
  ErrorReporter& errorReporter_;

  std::atomic<bool> connected_{false};
  bool closing_ = false;
  bool loading_ = false;
  bool connectedAtLoad_ = false;

  TBaudRate baudRate_ = TBaudRate::br9600;
  int32_t customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TComParity parity_{this};
  TStopBits stopBits_ = TStopBits::sbOneStopBit;
  TDataBits dataBits_ = TDataBits::dbEight;
  bool discardNull_ = false;
  uint8_t eventChar_ = 0;
  TComEvents events_ = kAllComEvents;
  TComBuffer buffer_{this};
  TComFlowControl flowControl_{this};
  TComTimeouts timeouts_{this};
  TSyncMethod syncMethod_ = TSyncMethod::smThreadSync;

  // The event thread of the current opening. The port joins every thread it started before it
  // is gone: Close joins the current one. One stopped from inside its own delivery (a handler
  // that closed the port) cannot be joined there; it ends by itself once that delivery has
  // returned, leaving the device alone, and waits in retired_ for the next Open, Close or the
  // destructor to join it. A port destroyed from inside its own delivery would leave its
  // thread running without it: TComThread's destructor ends the program then.
  std::unique_ptr<TComThread> thread_;
  std::vector<std::unique_ptr<TComThread>> retired_;
  // The receiver of smWindowSync steps; invalidated by Close so that late steps are skipped.
  std::shared_ptr<ComWindowTarget> windowTarget_;
};

// The serial port with its properties and events published.
class TComPort final : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;

  using TCustomComPort::SetConnected;

  using TCustomComPort::BaudRate;
  using TCustomComPort::Buffer;
  using TCustomComPort::CustomBaudRate;
  using TCustomComPort::DataBits;
  using TCustomComPort::DiscardNull;
  using TCustomComPort::EventChar;
  using TCustomComPort::Events;
  using TCustomComPort::FlowControl;
  using TCustomComPort::Parity;
  using TCustomComPort::Port;
  using TCustomComPort::SetBaudRate;
  using TCustomComPort::SetBuffer;
  using TCustomComPort::SetCustomBaudRate;
  using TCustomComPort::SetDataBits;
  using TCustomComPort::SetDiscardNull;
  using TCustomComPort::SetEventChar;
  using TCustomComPort::SetEvents;
  using TCustomComPort::SetFlowControl;
  using TCustomComPort::SetParity;
  using TCustomComPort::SetPort;
  using TCustomComPort::SetStopBits;
  using TCustomComPort::SetSyncMethod;
  using TCustomComPort::SetTimeouts;
  using TCustomComPort::StopBits;
  using TCustomComPort::SyncMethod;
  using TCustomComPort::Timeouts;

  using TCustomComPort::OnAfterClose;
  using TCustomComPort::OnAfterOpen;
  using TCustomComPort::OnBeforeClose;
  using TCustomComPort::OnBeforeOpen;
  using TCustomComPort::OnBreak;
  using TCustomComPort::OnCTSChange;
  using TCustomComPort::OnDSRChange;
  using TCustomComPort::OnError;
  using TCustomComPort::OnRing;
  using TCustomComPort::OnRLSDChange;
  using TCustomComPort::OnRx80Full;
  using TCustomComPort::OnRxBuf;
  using TCustomComPort::OnRxChar;
  using TCustomComPort::OnRxFlag;
  using TCustomComPort::OnTxEmpty;
};

}  // namespace trellon
