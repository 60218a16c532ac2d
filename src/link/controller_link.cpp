#include "link/controller_link.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <utility>

#include "base/expected_exceptions.h"
#include "protocol/controller_protocol.h"

namespace trellon {
namespace {

constexpr int kHelloCount = 10;
constexpr uint32_t kHelloSpacingMs = 100;
constexpr uint32_t kAttachPauseMs = 2000;
constexpr uint32_t kDetachStepMs = 100;
// A port that cannot be opened is retried on the next ticks a few times (a device that is just
// appearing), then about once a second.
constexpr int kQuickOpenRetries = 3;
constexpr uint32_t kOpenRetrySpacingMs = 1000;
// The window timer may fire a few milliseconds early or late: a tick that short of the hello
// spacing or of the attach pause (counted from a tick that ran late) is on time, so the burst keeps
// its 100 ms rhythm and the attach its 2 s pause instead of waiting for one more tick.
constexpr uint32_t kTimerSlackMs = 10;
// A controller that has not answered this long after the last hello missed the burst (it was
// off, or a byte was lost on the line): the port is opened again and a new burst sent.
constexpr uint32_t kAnswerWaitMs = 5000;

// Milliseconds from `since` to `now` on the wrapping 32-bit tick count.
uint32_t Elapsed(uint32_t now, uint32_t since) {
  return now - since;
}

}  // namespace

ControllerLink::ControllerLink(ControllerPort& port, ControllerLinkActions& actions, Clock& clock,
                               LogSink& log)
    : port_(port), actions_(actions), clock_(clock), log_(log) {
  ResetSteps();
  statusText_ = "Port closed";
}

void ControllerLink::SetLinkState(LinkState state) {
  unansweredBursts_ = 0;
  ChangeState(state);
}

void ControllerLink::ChangeState(LinkState state) {
  linkState_ = state;
  ResetSteps();
  delayedKeysServiced_ = false;
  // Any change of state ends a streak of failed opens: a new request to open is tried at once
  // and logged again.
  openFailures_ = 0;
  openHeld_ = false;
}

void ControllerLink::HoldOpening(uint32_t notBefore) {
  openHeld_ = true;
  openNotBefore_ = notBefore;
}

void ControllerLink::ResetSteps() {
  // The hello burst belongs to the opening step; a link put into Handshake any other way only
  // looks for the answer.
  hellosSent_ = kHelloCount;
  burstSent_ = false;
  lastHelloTick_ = clock_.TickCount() - kHelloSpacingMs;
  answerSeen_ = false;
}

void ControllerLink::SetStatus(std::string text) {
  if (text == statusText_) return;
  statusText_ = std::move(text);
  if (onStatusChange_) onStatusChange_(statusText_);
}

void ControllerLink::Timer1Timer() {
  switch (linkState_) {
    case LinkState::Detached:
      return;
    case LinkState::Opening:
      TickOpening();
      return;
    case LinkState::Handshake:
      TickHandshake();
      return;
    case LinkState::Attached:
      TickAttached();
      return;
  }
}

void ControllerLink::TickOpening() {
  const uint32_t now = clock_.TickCount();
  if (openHeld_ && !TickReached(now, openNotBefore_)) return;
  openHeld_ = false;
  // After the first unanswered burst, trying again is no news for the log.
  const bool quiet = unansweredBursts_ > 1;
  if (openFailures_ == 0) {
    if (!quiet) log_.WriteLog("Comm: Opening port");
    SetStatus("Opening port");
  }
  // A missing or busy port is raised on every try; the retries are no news for the log.
  const ExpectedExceptions retried;
  try {
    // A port that lost its device may refuse the close; that belongs to the failed open.
    port_.Close();
    port_.Open();
  } catch (const std::exception& error) {
    // A missing or busy port is an expected state, not an error for a message box: it is
    // logged once per failed streak, shown on the Status page and retried.
    ++openFailures_;
    if (openFailures_ == 1) log_.WriteLog(std::string("Comm: Cannot open port: ") + error.what());
    SetStatus(std::string("Cannot open the port: ") + error.what() + " (retrying)");
    if (openFailures_ >= kQuickOpenRetries) HoldOpening(now + kOpenRetrySpacingMs);
    return;
  }
  openFailures_ = 0;
  port_.SetRTSLine(true);
  port_.SetDTRLine(false);
  ChangeState(LinkState::Handshake);
  if (!quiet) {
    log_.WriteLog("Comm: Port opened");
    log_.WriteLog("Comm: Looking for VX710");
  }
  SetStatus("Looking for VX710");
  // The first hello now, the other nine on the following ticks, 100 ms apart.
  SendToController(vx710::HelloFrame());
  hellosSent_ = 1;
  burstSent_ = true;
  // Opening and logging take time: the spacing counts from the frame, not from the tick.
  lastHelloTick_ = clock_.TickCount();
}

std::optional<uint32_t> ControllerLink::NextStepDue() const {
  if (linkState_ != LinkState::Handshake) return std::nullopt;
  if (answerSeen_) return answerTick_ + kAttachPauseMs;
  if (hellosSent_ < kHelloCount) return lastHelloTick_ + kHelloSpacingMs;
  return std::nullopt;
}

void ControllerLink::RunDueStep() {
  const std::optional<uint32_t> due = NextStepDue();
  const uint32_t now = clock_.TickCount();
  if (!due || !TickReached(now + kTimerSlackMs, *due)) return;
  if (answerSeen_) {
    // The attach pause is over; what arrived during it waits for the first attached tick.
    Attach();
    return;
  }
  SendToController(vx710::HelloFrame());
  ++hellosSent_;
  lastHelloTick_ = now;
}

void ControllerLink::TickHandshake() {
  // The burst and the attach pause: nothing received is looked at until the link is attached.
  if (NextStepDue()) {
    RunDueStep();
    return;
  }
  // The answer is looked for from one spacing after the last hello on.
  const uint32_t now = clock_.TickCount();
  if (Elapsed(now, lastHelloTick_) + kTimerSlackMs < kHelloSpacingMs) return;
  // Only the link's own burst is repeated, and only once every received byte has been looked at
  // (an answer may stand behind garbage); a link put into Handshake otherwise keeps waiting.
  if (burstSent_ && !HasReceived(sizeof(vx710::kAnswer)) &&
      Elapsed(now, lastHelloTick_) >= kAnswerWaitMs) {
    StartOverUnanswered();
    return;
  }
  // One try per tick: the bytes up to the first mismatch with the answer are gone.
  if (!HasReceived(sizeof(vx710::kAnswer))) return;
  for (uint8_t expected : vx710::kAnswer) {
    if (TakeReceived(1).front() != expected) return;
  }
  // What came up to and with the answer (echoes, stale bytes) is dropped.
  rxBuffer_.clear();
  answerSeen_ = true;
  answerTick_ = now;
}

void ControllerLink::StartOverUnanswered() {
  ++unansweredBursts_;
  if (unansweredBursts_ == 1) log_.WriteLog("Comm: No answer from VX710, trying again");
  // Bytes that came meanwhile stay for the next handshake, as across any reopen.
  ChangeState(LinkState::Opening);
}

void ControllerLink::Attach() {
  SetLinkState(LinkState::Attached);
  log_.WriteLog("Comm: VX710 detected and attached");
  SetStatus("VX710 attached");
  // The next regulation tick sends both fan commands.
  actions_.ControllerAttached();
  SendToController(vx710::AttachConfirmFrame());
  actions_.ClearDelayedKeys();
}

void ControllerLink::TickAttached() {
  ServiceDelayedKeysOfThisPeriod();
  // The next period starts: its first bytes (or its tick) may run a delayed key again.
  delayedKeysServiced_ = false;
  DecodeReceived();
}

void ControllerLink::ServiceDelayedKeysOfThisPeriod() {
  if (delayedKeysServiced_) return;
  delayedKeysServiced_ = true;
  actions_.ServiceDelayedKeys();
}

void ControllerLink::DecodeReceived() {
  // One byte at a time off the buffer: an action that fails leaves the bytes after it for the
  // next decoding, and one that runs a nested event loop finds the buffer consistent.
  while (!rxBuffer_.empty()) {
    const uint8_t b = rxBuffer_.front();
    rxBuffer_.pop_front();
    HandleByte(b);
  }
}

void ControllerLink::HandleByte(uint8_t b) {
  // Every code of 1..125, meaningful or not, cancels a pending power-off sequence first.
  if (vx710::IsKeyCode(b)) actions_.ClearDelayedKeys();
  if (b == vx710::kPowerCode) {
    actions_.PowerKeyPressed();
  } else if (b == vx710::kDisplayModeCode) {
    actions_.SetDisplayMode(!actions_.DisplayMode());
  } else if (vx710::IsKeyCode(b)) {
    if (const auto name = vx710::KeyNameForCode(b)) actions_.DispatchKey(std::string(*name), true);
  } else if (b == vx710::kRepeatCode) {
    actions_.DispatchKey(std::string(), true);
  } else if (const auto celsius = vx710::TemperatureForByte(b)) {
    actions_.CaseTemperature(tempChannel_, *celsius);
  } else if (b == vx710::kSelectRear) {
    tempChannel_ = 0;
  } else if (b == vx710::kSelectFront) {
    tempChannel_ = 1;
  }
}

void ControllerLink::commRxChar(int32_t count) {
  if (count <= 0) return;
  const std::vector<uint8_t> bytes = port_.ReadBytes(count);
  rxBuffer_.insert(rxBuffer_.end(), bytes.begin(), bytes.end());
  if (rxBuffer_.size() > kRxBufferLimit) {
    rxBuffer_.erase(rxBuffer_.begin(), rxBuffer_.begin() + static_cast<std::ptrdiff_t>(
                                                               rxBuffer_.size() - kRxBufferLimit));
  }
  if (linkState_ != LinkState::Attached || rxBuffer_.empty()) return;
  // As the next tick would: its delayed key, then the bytes.
  ServiceDelayedKeysOfThisPeriod();
  DecodeReceived();
}

std::vector<uint8_t> ControllerLink::TakeReceived(size_t n) {
  const size_t taken = std::min(n, rxBuffer_.size());
  std::vector<uint8_t> bytes(rxBuffer_.begin(),
                             rxBuffer_.begin() + static_cast<std::ptrdiff_t>(taken));
  rxBuffer_.erase(rxBuffer_.begin(), rxBuffer_.begin() + static_cast<std::ptrdiff_t>(taken));
  return bytes;
}

void ControllerLink::SendToController(const std::vector<uint8_t>& bytes) {
  try {
    port_.WriteBytes(bytes);
  } catch (const std::exception&) {
    // The device is gone (unplugged, powered off): the failure is reported by the caller's error
    // handling, and the link starts over, so that it attaches again when the device is back
    // instead of writing to a dead port (and reporting it) every second.
    // The new try waits a second, so that a port that opens but cannot be written is not
    // reported ten times a second.
    if (linkState_ != LinkState::Detached) {
      SetLinkState(LinkState::Opening);
      HoldOpening(clock_.TickCount() + kOpenRetrySpacingMs);
    }
    throw;
  }
}

void ControllerLink::DetachController() {
  if (!port_.Connected()) return;
  log_.WriteLog("Comm: Detaching VX710");
  try {
    clock_.Sleep(kDetachStepMs);
    SendToController(vx710::DetachFrame());
    clock_.Sleep(kDetachStepMs);
    SendToController(vx710::DetachFansFrame());
  } catch (const std::exception&) {
    // The device is gone. The detach still ends with the port closed and the link idle, so that
    // no tick reopens the port while the machine goes to sleep; the caller reports the failure.
    // The link is idle first, as closing a port that lost its device may fail too.
    SetLinkState(LinkState::Detached);
    SetStatus("Port closed");
    log_.WriteLog("Comm: Closing port");
    port_.Close();
    log_.WriteLog("Comm: Port close");
    throw;
  }
  clock_.Sleep(kDetachStepMs);
  log_.WriteLog("Comm: VX710 detached");
  log_.WriteLog("Comm: Closing port");
  port_.Close();
  log_.WriteLog("Comm: Port close");
  SetLinkState(LinkState::Detached);
  SetStatus("Port closed");
}

}  // namespace trellon
