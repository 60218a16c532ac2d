#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace trellon::sim {

// The ways the simulated controller can misbehave.
enum class FaultKind {
  Drop,     // the line goes away (the pseudo-terminal is closed) and comes back later
  Silent,   // nothing is sent for a while: no answer, no reports, no keys
  Late,     // the next hello burst is answered late
  Garbage,  // a burst of random bytes
  Stall,    // the program's bytes are not read for a while
  Flip,     // the next bytes sent have one bit flipped each
  Flood,    // a burst of display-mode codes
};

struct Fault {
  FaultKind kind = FaultKind::Drop;
  // Milliseconds for Drop, Silent, Late and Stall; a number of bytes for the others.
  uint32_t amount = 0;
};

struct FaultOptions {
  uint32_t seed = 1;
  // Faults come on average this far apart (each gap is drawn from half to one and a half times it).
  uint32_t meanGapMs = 5000;
  std::vector<FaultKind> kinds;  // empty: all
};

std::string_view FaultName(FaultKind kind);
std::optional<FaultKind> FaultKindByName(std::string_view name);
// "drop,silent,flip" into kinds; nothing when a name is unknown or the list is empty.
std::optional<std::vector<FaultKind>> ParseFaultKinds(std::string_view list);

// Which fault comes when, drawn from a seeded generator: the same seed and options give the same
// faults at the same offsets from the start, run after run.
class FaultSchedule {
 public:
  FaultSchedule(const FaultOptions& options, uint32_t startTick);

  // The tick count the next fault is due at.
  uint32_t NextAt() const { return nextAt_; }
  // The next fault; the one after it is scheduled from `now`.
  Fault Take(uint32_t now);

  // A whole number from low to high (both included).
  uint32_t Uniform(uint32_t low, uint32_t high);
  // A random byte that is not the power key, so that no fault can switch the machine off.
  uint8_t HarmlessByte();
  // `byte` with one random bit flipped, never giving the power key.
  uint8_t FlipOneBit(uint8_t byte);

 private:
  Fault Draw();
  uint32_t Gap();

  std::mt19937 random_;
  uint32_t meanGapMs_;
  std::vector<FaultKind> kinds_;
  uint32_t nextAt_;
};

}  // namespace trellon::sim
