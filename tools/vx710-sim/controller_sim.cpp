#include "controller_sim.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "protocol/controller_protocol.h"

namespace trellon::sim {
namespace {

using namespace trellon::vx710;

std::string KeyLabel(uint8_t code) {
  if (code == kRepeatCode) return "repeat";
  if (const auto name = SimKeyName(code)) return "key " + *name + " (" + std::to_string(code) + ")";
  return "code " + std::to_string(code);
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += hex;
  }
  return text;
}

}  // namespace

ControllerSim::ControllerSim(Clock& clock, SimWire& wire, LineSink out, SimSettings settings)
    : clock_(clock), wire_(wire), out_(std::move(out)), settings_(settings) {
  settings_.repeatIntervalMs = std::max<uint32_t>(settings_.repeatIntervalMs, 1);
  settings_.reportIntervalMs = std::max<uint32_t>(settings_.reportIntervalMs, 1);
  if (settings_.faults) faults_.emplace(clock_, wire_, out_, *settings_.faults);
}

bool ControllerSim::Due(uint32_t at) const {
  return TickReached(clock_.TickCount(), at);
}

uint32_t ControllerSim::Remaining(uint32_t at) const {
  return Due(at) ? 0 : at - clock_.TickCount();
}

void ControllerSim::Submit(std::string line) {
  queue_.push_back(std::move(line));
}

void ControllerSim::OnReceived(std::span<const uint8_t> bytes) {
  for (const auto& frame : decoder_.Feed(bytes, clock_.TickCount())) OnFrame(frame);
}

void ControllerSim::OnPortOpened() {
  portOpen_ = true;
  out_("port opened");
}

void ControllerSim::OnPortClosed() {
  portOpen_ = false;
  out_("port closed");
  // The next opening starts a new hello burst. The link state stays: the controller cannot
  // tell a closed port from a quiet program, and what it sends meanwhile is lost.
  inHelloBurst_ = false;
  answerDue_.reset();
}

void ControllerSim::OnFrame(const ProgramFrame& frame) {
  if (frame.kind != ProgramFrame::Kind::Tick || !settings_.quietTicks) out_(DescribeFrame(frame));
  switch (frame.kind) {
    case ProgramFrame::Kind::Hello:
      OnHello();
      break;
    case ProgramFrame::Kind::Attach:
      inHelloBurst_ = false;
      answerDue_.reset();
      SetAttached(true);
      break;
    case ProgramFrame::Kind::Detach:
      inHelloBurst_ = false;
      answerDue_.reset();
      SetAttached(false);
      break;
    case ProgramFrame::Kind::FanRear:
      lastFan_[0] = frame.value;
      break;
    case ProgramFrame::Kind::FanFront:
      lastFan_[1] = frame.value;
      break;
    case ProgramFrame::Kind::Tick:
    case ProgramFrame::Kind::Unknown:
      break;
  }
}

void ControllerSim::OnHello() {
  const uint32_t now = clock_.TickCount();
  if (!inHelloBurst_ || now - lastHello_ > kHelloBurstGapMs) burstAnswered_ = false;
  inHelloBurst_ = true;
  lastHello_ = now;
  // A hello means the program looks for the controller afresh: stop reporting until it attaches.
  SetAttached(false);
  if (!settings_.answerHello || burstAnswered_) return;
  burstAnswered_ = true;
  const uint32_t delay = settings_.answerDelayMs + (faults_ ? faults_->TakeAnswerDelay() : 0);
  if (delay == 0) {
    SendAnswer();
  } else {
    answerDue_ = now + delay;
  }
}

void ControllerSim::SetAttached(bool attached) {
  if (attached == attached_) return;
  attached_ = attached;
  out_(attached ? "attached" : "detached");
  if (attached) nextReport_ = clock_.TickCount();  // first report at once
}

void ControllerSim::SendAnswer() {
  Send(kAnswer, "answer");
}

bool ControllerSim::Send(std::span<const uint8_t> bytes, const std::string& label) {
  const bool sent = WireWrite(bytes);
  out_((sent ? "sent " : "dropped ") + label);
  return sent;
}

bool ControllerSim::WireWrite(std::span<const uint8_t> bytes) {
  if (!faults_) return wire_.IsOpen() && wire_.Write(bytes);
  if (faults_->Silent() || faults_->LineDown() || !wire_.IsOpen()) return false;
  std::vector<uint8_t> sent(bytes.begin(), bytes.end());
  // Said before the line of what was sent, so that a reader knows it went out altered.
  if (faults_->Corrupt(sent)) out_("flipped " + HexBytes(bytes) + " to " + HexBytes(sent));
  return wire_.Write(sent);
}

void ControllerSim::Poll() {
  if (faults_) faults_->Poll();
  for (const auto& frame : decoder_.Expire(clock_.TickCount())) OnFrame(frame);
  if (answerDue_ && Due(*answerDue_)) {
    answerDue_.reset();
    SendAnswer();
  }
  ServiceRepeats();
  ServiceReport();
  while (!quit_) {
    if (blockedUntil_) {
      if (!Due(*blockedUntil_) || (run_ && run_->done < run_->total)) break;
      blockedUntil_.reset();
      if (run_) {
        std::string line = "sent " + run_->label + " " + std::to_string(run_->sent);
        if (run_->sent < run_->done) line += " dropped " + std::to_string(run_->done - run_->sent);
        out_(line);
        run_.reset();
      }
    }
    if (waitingFor_) {
      const bool met = *waitingFor_ == SimCommand::Condition::PortOpen ? portOpen_ : attached_;
      if (!met) break;
      waitingFor_.reset();
    }
    if (queue_.empty()) break;
    const std::string line = std::move(queue_.front());
    queue_.pop_front();
    const auto parsed = ParseCommand(line);
    if (parsed.command) {
      Execute(*parsed.command);
    } else {
      out_("error: " + parsed.error);
    }
  }
}

void ControllerSim::ServiceRepeats() {
  if (!run_) return;
  const uint8_t repeat[] = {kRepeatCode};
  while (run_->done < run_->total &&
         Due(run_->start + (run_->firstStep + run_->done) * settings_.repeatIntervalMs)) {
    // One line per run, not per code: a held key gives about nine codes a second.
    if (WireWrite(repeat)) ++run_->sent;
    ++run_->done;
  }
}

void ControllerSim::ServiceReport() {
  if (!attached_ || !Due(nextReport_)) return;
  nextReport_ += settings_.reportIntervalMs;
  if (Due(nextReport_)) nextReport_ = clock_.TickCount() + settings_.reportIntervalMs;
  if (settings_.drift && ++reports_ % kDriftStepReports == 0) {
    if (driftOffset_ + driftStep_ > kDriftRange || driftOffset_ + driftStep_ < -kDriftRange) {
      driftStep_ = -driftStep_;
    }
    driftOffset_ += driftStep_;
  }
  const int rear = ReportedCelsius(0);
  const int front = ReportedCelsius(1);
  const std::array<uint8_t, 4> frame = {
      kSelectRear, static_cast<uint8_t>(rear + kTemperatureOffset), kSelectFront,
      static_cast<uint8_t>(front + kTemperatureOffset)};
  // Reports while nobody has the port open are lost on a real line too; say nothing of them.
  if (!wire_.IsOpen()) return;
  const bool sent = WireWrite(frame);
  if (!settings_.quietTicks || !sent) {
    out_(std::string(sent ? "sent" : "dropped") + " temp rear " + std::to_string(rear) + " front " +
         std::to_string(front));
  }
}

int ControllerSim::ReportedCelsius(int channel) const {
  const int base = channel == 0 ? settings_.rearCelsius : settings_.frontCelsius;
  const int offset = settings_.drift ? (channel == 0 ? driftOffset_ : -driftOffset_) : 0;
  return std::clamp(base + offset, kMinCelsius, kMaxCelsius);
}

void ControllerSim::Execute(const SimCommand& command) {
  using Kind = SimCommand::Kind;
  const uint32_t now = clock_.TickCount();
  switch (command.kind) {
    case Kind::None:
      break;
    case Kind::Key:
    case Kind::Code: {
      const uint8_t code[] = {command.code};
      Send(code, KeyLabel(command.code));
      break;
    }
    case Kind::Hold: {
      const uint8_t code[] = {command.code};
      Send(code, KeyLabel(command.code));
      run_ = RepeatRun{"repeats", now, 1, command.milliseconds / settings_.repeatIntervalMs, 0, 0};
      blockedUntil_ = now + command.milliseconds;
      ServiceRepeats();
      break;
    }
    case Kind::Repeat:
      run_ = RepeatRun{"repeats", now, 0, command.count, 0, 0};
      blockedUntil_ = now + (command.count - 1) * settings_.repeatIntervalMs;
      ServiceRepeats();
      break;
    case Kind::Raw:
      Send(command.bytes, "raw " + HexBytes(command.bytes));
      break;
    case Kind::Temp: {
      const bool rear = command.channel == SimCommand::Channel::Rear;
      (rear ? settings_.rearCelsius : settings_.frontCelsius) = command.celsius;
      out_(std::string("set temp ") + (rear ? "rear " : "front ") +
           std::to_string(command.celsius));
      break;
    }
    case Kind::Drift:
      settings_.drift = command.on;
      if (!command.on) driftOffset_ = 0;
      out_(std::string("set drift ") + (command.on ? "on" : "off"));
      break;
    case Kind::Answer:
      SendAnswer();
      break;
    case Kind::Sleep:
      blockedUntil_ = now + command.milliseconds;
      break;
    case Kind::Wait:
      waitingFor_ = command.condition;
      break;
    case Kind::Status:
      out_(StatusLine());
      break;
    case Kind::Help:
      for (const auto& line : HelpLines(settings_.repeatIntervalMs)) out_("# " + line);
      break;
    case Kind::Quit:
      quit_ = true;
      break;
  }
}

std::string ControllerSim::StatusLine() {
  auto fan = [](const std::optional<uint8_t>& value) {
    return value ? std::to_string(*value) : std::string("-");
  };
  return std::string("status link ") + (attached_ ? "attached" : "detached") + " port " +
         (wire_.IsOpen() ? "open" : "closed") + " temp rear " + std::to_string(ReportedCelsius(0)) +
         " front " + std::to_string(ReportedCelsius(1)) + " drift " +
         (settings_.drift ? "on" : "off") + " fan rear " + fan(lastFan_[0]) + " front " +
         fan(lastFan_[1]);
}

uint32_t ControllerSim::MillisToNextDue() const {
  uint32_t wait = kIdleWaitMs;
  auto consider = [&](uint32_t at) { wait = std::min(wait, Remaining(at)); };
  if (const auto deadline = decoder_.PendingDeadline()) consider(*deadline);
  if (answerDue_) consider(*answerDue_);
  if (attached_) consider(nextReport_);
  if (faults_) consider(clock_.TickCount() + faults_->MillisToNextDue());
  if (run_ && run_->done < run_->total) {
    consider(run_->start + (run_->firstStep + run_->done) * settings_.repeatIntervalMs);
  }
  if (blockedUntil_) {
    consider(*blockedUntil_);
  } else if (!waitingFor_ && !queue_.empty()) {
    wait = 0;
  }
  return wait;
}

bool ControllerSim::Busy() const {
  return !queue_.empty() || blockedUntil_ || waitingFor_ || run_;
}

}  // namespace trellon::sim
