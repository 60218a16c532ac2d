#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "fault_schedule.h"
#include "sim_wire.h"

namespace trellon::sim {

// Injects the faults of a seeded schedule into the simulated controller: drops and restores the
// line and sends garbage and display-mode floods itself, and tells the simulator while it must
// stay silent, leave the program's bytes unread, answer late or flip the bits it sends. Every
// fault is announced on one line starting with "fault ".
class FaultInjector {
 public:
  FaultInjector(Clock& clock, SimWire& wire, std::function<void(const std::string&)> out,
                const FaultOptions& options);

  // Starts the faults that are due and ends those whose time is up.
  void Poll();
  // Milliseconds until Poll has something to do.
  uint32_t MillisToNextDue() const;

  // Nothing may be sent.
  bool Silent() const { return silentUntil_.has_value(); }
  // The program's bytes are left unread.
  bool ReadsStalled() const { return stallUntil_.has_value(); }
  // The line is down.
  bool LineDown() const { return lineBackAt_.has_value(); }
  // The extra delay for answering the hello burst that just began; 0 unless a late answer is
  // pending, which this uses up.
  uint32_t TakeAnswerDelay();
  // Flips one bit in each of the next bytes sent while a flip fault lasts; true when it did.
  bool Corrupt(std::vector<uint8_t>& bytes);

 private:
  void Start(const Fault& fault);
  void EndExpired();
  void SendBurst(const std::vector<uint8_t>& bytes, const std::string& what);
  bool Due(uint32_t at) const;

  Clock& clock_;
  SimWire& wire_;
  std::function<void(const std::string&)> out_;
  FaultSchedule schedule_;

  std::optional<uint32_t> lineBackAt_;
  std::optional<uint32_t> silentUntil_;
  std::optional<uint32_t> stallUntil_;
  uint32_t lateAnswerMs_ = 0;
  uint32_t flipsLeft_ = 0;
};

}  // namespace trellon::sim
