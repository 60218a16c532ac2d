#include "link/com_port.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "link/com_thread.h"

namespace trellon {
namespace {

// Line speeds by TBaudRate; brCustom (0) takes CustomBaudRate.
constexpr uint32_t kBaudRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                   14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
static_assert(std::size(kBaudRates) == static_cast<size_t>(TBaudRate::br256000) + 1);

// DCB control flags by TDTRFlowControl and TRTSFlowControl.
constexpr uint32_t kDtrControl[] = {0, CommDcb::kDtrControlEnable, CommDcb::kDtrControlHandshake};
constexpr uint32_t kRtsControl[] = {0, CommDcb::kRtsControlEnable, CommDcb::kRtsControlHandshake,
                                    CommDcb::kRtsControlToggle};

// Raises EComPort with the system error when a device call failed.
void Check(uint32_t result, int32_t errorCode) {
  if (result != winerr::kSuccess) throw EComPort(errorCode, static_cast<int32_t>(result));
}

}  // namespace

TCustomComPort::TCustomComPort(std::unique_ptr<CommDevice> device, MainThread& mainThread,
                               ErrorReporter& errorReporter)
    : device_(std::move(device)), mainThread_(mainThread), errorReporter_(errorReporter) {}

TCustomComPort::~TCustomComPort() {
  CollectRetiredThreads();
  if (!Connected()) return;
  try {
    Close();
  } catch (...) {
    errorReporter_.HandleException(std::current_exception());
  }
  if (Connected()) {
    // A close notification failed: release everything without further notifications.
    StopEventThread();
    device_->Close();
    connected_ = false;
  }
}

// --- Open and close

void TCustomComPort::Open() {
  if (Connected()) return;
  if (auto handler = OnBeforeOpen) handler(*this);
  if (Connected()) return;  // the handler opened it

  Check(device_->Open(port_), kComOpenFailed);
  connected_ = true;
  try {
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
    if (!events_.Empty()) StartEventThread();
  } catch (...) {
    StopEventThread();
    device_->Close();
    connected_ = false;
    throw;
  }

  if (auto handler = OnAfterOpen) handler(*this);
  NotifyLineStates();
}

void TCustomComPort::NotifyLineStates() {
  NotifyLineState(OnCTSChange, kLineCTS);
  NotifyLineState(OnDSRChange, kLineDSR);
  NotifyLineState(OnRLSDChange, kLineRLSD);
}

void TCustomComPort::NotifyLineState(const TComSignalEvent& event, TModemLines line) {
  // Each notification reads the lines afresh; an unset handler reads nothing.
  if (auto handler = event) handler(*this, (ModemLines() & line) != 0);
}

void TCustomComPort::Close() {
  if (!Connected() || closing_) return;
  closing_ = true;
  struct ClosingGuard {
    bool& flag;
    ~ClosingGuard() { flag = false; }
  } guard{closing_};

  if (auto handler = OnCTSChange) handler(*this, false);
  if (auto handler = OnDSRChange) handler(*this, false);
  if (auto handler = OnRLSDChange) handler(*this, false);
  if (auto handler = OnBeforeClose) handler(*this);

  // A device that refuses the abort has usually gone away (unplugged, hung up); keeping it open
  // would leave a port that can be neither used nor closed nor opened again. It is released all
  // the same, and the failure is raised once the port is closed.
  const uint32_t abortResult = device_->PurgeComm(kPurgeTxAbort | kPurgeRxAbort);
  StopEventThread();
  device_->Close();
  connected_ = false;
  if (auto handler = OnAfterClose) handler(*this);
  Check(abortResult, kComPurgeFailed);
}

void TCustomComPort::StartEventThread() {
  CollectRetiredThreads();
  if (syncMethod_ == TSyncMethod::smWindowSync) {
    windowTarget_ = std::make_shared<ComWindowTarget>(this);
  }
  thread_ = std::make_unique<TComThread>(*this, *device_, mainThread_, errorReporter_, events_,
                                         syncMethod_, windowTarget_);
  thread_->Start();
}

void TCustomComPort::StopEventThread() {
  // Steps already handed over but not yet run belong to this opening: they are dropped.
  if (windowTarget_) windowTarget_->open = false;
  windowTarget_.reset();
  if (thread_ && !thread_->Stop()) retired_.push_back(std::move(thread_));
  thread_.reset();
  CollectRetiredThreads();
}

void TCustomComPort::CollectRetiredThreads() {
  // Stopping a retired thread runs no handler, so the list cannot change while it is walked.
  std::erase_if(retired_, [](const std::unique_ptr<TComThread>& thread) { return thread->Stop(); });
}

void TCustomComPort::SetConnected(bool value) {
  if (loading_) {
    connectedAtLoad_ = value;
    return;
  }
  if (value) {
    Open();
  } else {
    Close();
  }
}

void TCustomComPort::Loaded() {
  loading_ = false;
  if (connectedAtLoad_) RunHandler(errorReporter_, [this] { Open(); });
}

// --- Transfers and lines

int32_t TCustomComPort::WriteBytes(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return 0;
  uint32_t written = 0;
  Check(device_->WriteFile(bytes.data(), static_cast<uint32_t>(bytes.size()), written),
        kComWriteFailed);
  return static_cast<int32_t>(written);
}

std::vector<uint8_t> TCustomComPort::ReadBytes(int32_t count) {
  if (count <= 0) return {};
  std::vector<uint8_t> buffer(static_cast<size_t>(count));
  uint32_t read = 0;
  Check(device_->ReadFile(buffer.data(), static_cast<uint32_t>(count), read), kComReadFailed);
  // Clears the line-error state that the read may have left.
  BytesWaiting();
  buffer.resize(std::min<size_t>(read, buffer.size()));
  return buffer;
}

int32_t TCustomComPort::BytesWaiting() {
  uint32_t errors = 0;
  CommStatus status;
  Check(device_->ClearCommError(errors, status), kComClearErrorFailed);
  return static_cast<int32_t>(status.cbInQue);
}

TComErrors TCustomComPort::ReadLineErrors() {
  uint32_t errors = 0;
  CommStatus status;
  Check(device_->ClearCommError(errors, status), kComClearErrorFailed);
  TComErrors result;
  if (errors & commerr::kFrame) result.Include(TComError::ceFrame);
  if (errors & commerr::kRxParity) result.Include(TComError::ceRxParity);
  if (errors & commerr::kOverrun) result.Include(TComError::ceOverrun);
  if (errors & commerr::kBreak) result.Include(TComError::ceBreak);
  if (errors & commerr::kIoError) result.Include(TComError::ceIO);
  if (errors & commerr::kMode) result.Include(TComError::ceMode);
  if (errors & commerr::kRxOver) result.Include(TComError::ceRxOver);
  if (errors & commerr::kTxFull) result.Include(TComError::ceTxFull);
  return result;
}

TModemLines TCustomComPort::ModemLines() {
  uint32_t status = 0;
  Check(device_->GetCommModemStatus(status), kComModemStatusFailed);
  TModemLines lines = 0;
  if (status & kMsCtsOn) lines |= kLineCTS;
  if (status & kMsDsrOn) lines |= kLineDSR;
  if (status & kMsRingOn) lines |= kLineRing;
  if (status & kMsRlsdOn) lines |= kLineRLSD;
  return lines;
}

void TCustomComPort::SetDTRLine(bool on) {
  Check(device_->EscapeCommFunction(on ? kSetDtr : kClrDtr), kComEscapeFailed);
}

void TCustomComPort::SetRTSLine(bool on) {
  Check(device_->EscapeCommFunction(on ? kSetRts : kClrRts), kComEscapeFailed);
}

// --- Event delivery

std::vector<std::exception_ptr> TCustomComPort::DeliverEvents(TComEvents events,
                                                              const std::atomic<bool>& stopped) {
  std::vector<std::exception_ptr> errors;
  for (TComEvent event : kDeliveryOrder) {
    if (!events.Contains(event)) continue;
    if (stopped || !Connected()) break;
    try {
      DeliverEvent(event);
    } catch (...) {
      errors.push_back(std::current_exception());
    }
  }
  return errors;
}

void TCustomComPort::DeliverEvent(TComEvent event) {
  switch (event) {
    case TComEvent::evError:
      if (auto handler = OnError) {
        const TComErrors errors = ReadLineErrors();
        if (!errors.Empty()) handler(*this, errors);
      }
      break;
    case TComEvent::evRxChar:
      if (OnRxBuf) {
        const std::vector<uint8_t> bytes = ReadBytes(BytesWaiting());
        if (auto handler = OnRxBuf; handler && !bytes.empty()) {
          handler(*this, bytes.data(), static_cast<int32_t>(bytes.size()));
        }
      } else if (auto handler = OnRxChar) {
        if (const int32_t count = BytesWaiting(); count > 0) handler(*this, count);
      }
      break;
    case TComEvent::evTxEmpty:
      if (auto handler = OnTxEmpty) handler(*this);
      break;
    case TComEvent::evBreak:
      if (auto handler = OnBreak) handler(*this);
      break;
    case TComEvent::evRing:
      if (auto handler = OnRing) handler(*this);
      break;
    case TComEvent::evCTS:
      NotifyLineState(OnCTSChange, kLineCTS);
      break;
    case TComEvent::evDSR:
      NotifyLineState(OnDSRChange, kLineDSR);
      break;
    case TComEvent::evRxFlag:
      if (auto handler = OnRxFlag) handler(*this);
      break;
    case TComEvent::evRLSD:
      NotifyLineState(OnRLSDChange, kLineRLSD);
      break;
    case TComEvent::evRx80Full:
      if (auto handler = OnRx80Full) handler(*this);
      break;
  }
}

// --- Applying the settings

CommDcb TCustomComPort::MakeDcb() const {
  CommDcb dcb;
  dcb.BaudRate = baudRate_ == TBaudRate::brCustom ? static_cast<uint32_t>(customBaudRate_)
                                                  : kBaudRates[static_cast<size_t>(baudRate_)];
  const TComFlowControl& flow = flowControl_;
  uint32_t flags = CommDcb::kBinary;
  if (parity_.Check()) flags |= CommDcb::kParity;
  if (flow.OutCTSFlow()) flags |= CommDcb::kOutxCtsFlow;
  if (flow.OutDSRFlow()) flags |= CommDcb::kOutxDsrFlow;
  flags |= kDtrControl[static_cast<size_t>(flow.ControlDTR())];
  if (flow.DSRSensitivity()) flags |= CommDcb::kDsrSensitivity;
  if (flow.TxContinueOnXoff()) flags |= CommDcb::kTxContinueOnXoff;
  if (flow.XonXoffOut()) flags |= CommDcb::kOutX;
  if (flow.XonXoffIn()) flags |= CommDcb::kInX;
  const bool replace = parity_.Check() && parity_.Replace();
  if (replace) flags |= CommDcb::kErrorChar;
  if (discardNull_) flags |= CommDcb::kNull;
  flags |= kRtsControl[static_cast<size_t>(flow.ControlRTS())];
  dcb.Flags = flags;
  // The field is 16 bits wide; a size outside it gives the nearest limit, not a wrapped one.
  const auto limit = static_cast<uint16_t>(std::clamp(buffer_.InputSize() / 4, 0, 0xFFFF));
  dcb.XonLim = limit;
  dcb.XoffLim = limit;
  dcb.ByteSize = static_cast<uint8_t>(5 + static_cast<int>(dataBits_));
  dcb.Parity = static_cast<uint8_t>(parity_.Bits());
  dcb.StopBits = static_cast<uint8_t>(stopBits_);
  dcb.XonChar = flow.XonChar();
  dcb.XoffChar = flow.XoffChar();
  dcb.ErrorChar = replace ? parity_.ReplaceChar() : 0;
  dcb.EvtChar = eventChar_;
  return dcb;
}

void TCustomComPort::ApplyLineSettings() {
  if (!Connected()) return;
  Check(device_->SetCommState(MakeDcb()), kComSetStateFailed);
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!Connected()) return;
  CommTimeouts block;
  block.ReadIntervalTimeout = static_cast<uint32_t>(timeouts_.ReadInterval());
  block.ReadTotalTimeoutMultiplier = static_cast<uint32_t>(timeouts_.ReadTotalMultiplier());
  block.ReadTotalTimeoutConstant = static_cast<uint32_t>(timeouts_.ReadTotalConstant());
  block.WriteTotalTimeoutMultiplier = static_cast<uint32_t>(timeouts_.WriteTotalMultiplier());
  block.WriteTotalTimeoutConstant = static_cast<uint32_t>(timeouts_.WriteTotalConstant());
  Check(device_->SetCommTimeouts(block), kComSetTimeoutsFailed);
}

void TCustomComPort::ApplyBufferSizes() {
  if (!Connected()) return;
  Check(device_->SetupComm(static_cast<uint32_t>(buffer_.InputSize()),
                           static_cast<uint32_t>(buffer_.OutputSize())),
        kComSetupFailed);
}

// --- Property setters

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (StoreChanged(baudRate_, value)) ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value) {
  if (StoreChanged(customBaudRate_, value)) ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;
  if (!Connected()) {
    port_ = value;
    return;
  }
  Close();
  port_ = value;
  Open();
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (StoreChanged(stopBits_, value)) ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (StoreChanged(dataBits_, value)) ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
  if (StoreChanged(discardNull_, value)) ApplyLineSettings();
}

void TCustomComPort::SetEventChar(uint8_t value) {
  if (StoreChanged(eventChar_, value)) ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == syncMethod_) return;
  if (Connected()) throw EComPort(kComSetWhileConnected);
  syncMethod_ = value;
}

}  // namespace trellon
