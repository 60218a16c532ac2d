#include "fault_injector.h"

#include <algorithm>
#include <utility>

#include "protocol/controller_protocol.h"

namespace trellon::sim {

FaultInjector::FaultInjector(Clock& clock, SimWire& wire,
                             std::function<void(const std::string&)> out,
                             const FaultOptions& options)
    : clock_(clock), wire_(wire), out_(std::move(out)), schedule_(options, clock.TickCount()) {}

bool FaultInjector::Due(uint32_t at) const {
  return TickReached(clock_.TickCount(), at);
}

void FaultInjector::Poll() {
  EndExpired();
  if (Due(schedule_.NextAt())) Start(schedule_.Take(clock_.TickCount()));
}

uint32_t FaultInjector::MillisToNextDue() const {
  const uint32_t now = clock_.TickCount();
  auto remaining = [&](uint32_t at) { return TickReached(now, at) ? 0 : at - now; };
  uint32_t wait = remaining(schedule_.NextAt());
  for (const auto& end : {lineBackAt_, silentUntil_, stallUntil_}) {
    if (end) wait = std::min(wait, remaining(*end));
  }
  return wait;
}

void FaultInjector::Start(const Fault& fault) {
  const uint32_t now = clock_.TickCount();
  const std::string amount = std::to_string(fault.amount);
  switch (fault.kind) {
    case FaultKind::Drop:
      // A line that is already down stays down for the longer of the two.
      out_("fault drop " + amount + " ms");
      if (!lineBackAt_) wire_.DropLine();
      if (!lineBackAt_ || !TickReached(*lineBackAt_, now + fault.amount)) {
        lineBackAt_ = now + fault.amount;
      }
      break;
    case FaultKind::Silent:
      out_("fault silent " + amount + " ms");
      silentUntil_ = now + fault.amount;
      break;
    case FaultKind::Late:
      out_("fault late " + amount + " ms");
      lateAnswerMs_ = fault.amount;
      break;
    case FaultKind::Garbage: {
      std::vector<uint8_t> bytes(fault.amount);
      for (uint8_t& byte : bytes) byte = schedule_.HarmlessByte();
      SendBurst(bytes, "fault garbage " + amount + " bytes");
      break;
    }
    case FaultKind::Stall:
      out_("fault stall " + amount + " ms");
      stallUntil_ = now + fault.amount;
      break;
    case FaultKind::Flip:
      out_("fault flip " + amount + " bytes");
      flipsLeft_ = fault.amount;
      break;
    case FaultKind::Flood:
      SendBurst(std::vector<uint8_t>(fault.amount, vx710::kDisplayModeCode),
                "fault flood " + amount + " display codes");
      break;
  }
}

void FaultInjector::EndExpired() {
  if (silentUntil_ && Due(*silentUntil_)) silentUntil_.reset();
  if (stallUntil_ && Due(*stallUntil_)) stallUntil_.reset();
  if (lineBackAt_ && Due(*lineBackAt_)) {
    lineBackAt_.reset();
    std::string text;
    out_(wire_.RestoreLine(text) ? "line back " + text : "line not back: " + text);
  }
}

void FaultInjector::SendBurst(const std::vector<uint8_t>& bytes, const std::string& what) {
  // Said whether or not it reaches the program: the soak counts the faults it was dealt.
  const bool sent = !Silent() && !LineDown() && wire_.IsOpen() && wire_.Write(bytes);
  out_(what + (sent ? "" : " (dropped)"));
}

uint32_t FaultInjector::TakeAnswerDelay() {
  return std::exchange(lateAnswerMs_, 0);
}

bool FaultInjector::Corrupt(std::vector<uint8_t>& bytes) {
  bool flipped = false;
  for (uint8_t& byte : bytes) {
    if (flipsLeft_ == 0) break;
    byte = schedule_.FlipOneBit(byte);
    --flipsLeft_;
    flipped = true;
  }
  return flipped;
}

}  // namespace trellon::sim
