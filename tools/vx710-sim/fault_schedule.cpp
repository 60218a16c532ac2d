#include "fault_schedule.h"

#include <algorithm>
#include <array>
#include <utility>

#include "protocol/controller_protocol.h"

namespace trellon::sim {
namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 7> kNames = {{
    {FaultKind::Drop, "drop"},
    {FaultKind::Silent, "silent"},
    {FaultKind::Late, "late"},
    {FaultKind::Garbage, "garbage"},
    {FaultKind::Stall, "stall"},
    {FaultKind::Flip, "flip"},
    {FaultKind::Flood, "flood"},
}};

struct Range {
  uint32_t low;
  uint32_t high;
};

// How much of each fault: long enough to matter to the program, short enough that the next one
// still finds a link to disturb.
Range AmountRange(FaultKind kind) {
  switch (kind) {
    case FaultKind::Drop:
      return {300, 3000};
    case FaultKind::Silent:
      return {500, 5000};
    case FaultKind::Late:
      return {1000, 5000};
    case FaultKind::Garbage:
      return {1, 64};
    case FaultKind::Stall:
      return {200, 3000};
    case FaultKind::Flip:
      return {1, 8};
    case FaultKind::Flood:
      return {10, 200};
  }
  return {0, 0};
}

}  // namespace

std::string_view FaultName(FaultKind kind) {
  for (const auto& [k, name] : kNames) {
    if (k == kind) return name;
  }
  return "?";
}

std::optional<FaultKind> FaultKindByName(std::string_view name) {
  for (const auto& [kind, n] : kNames) {
    if (n == name) return kind;
  }
  return std::nullopt;
}

std::optional<std::vector<FaultKind>> ParseFaultKinds(std::string_view list) {
  std::vector<FaultKind> kinds;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const auto kind = FaultKindByName(list.substr(0, comma));
    if (!kind) return std::nullopt;
    if (std::find(kinds.begin(), kinds.end(), *kind) == kinds.end()) kinds.push_back(*kind);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  if (kinds.empty()) return std::nullopt;
  return kinds;
}

FaultSchedule::FaultSchedule(const FaultOptions& options, uint32_t startTick)
    : random_(options.seed),
      meanGapMs_(std::max<uint32_t>(options.meanGapMs, 2)),
      kinds_(options.kinds) {
  if (kinds_.empty()) {
    for (const auto& [kind, name] : kNames) kinds_.push_back(kind);
  }
  nextAt_ = startTick + Gap();
}

uint32_t FaultSchedule::Uniform(uint32_t low, uint32_t high) {
  // By hand rather than with a distribution, whose results differ between standard libraries:
  // a seed gives the same faults wherever the simulator was built.
  const uint64_t span = static_cast<uint64_t>(high) - low + 1;
  return low + static_cast<uint32_t>(random_() % span);
}

uint32_t FaultSchedule::Gap() {
  return Uniform(meanGapMs_ / 2, meanGapMs_ + meanGapMs_ / 2);
}

Fault FaultSchedule::Draw() {
  const FaultKind kind = kinds_[Uniform(0, static_cast<uint32_t>(kinds_.size() - 1))];
  const Range range = AmountRange(kind);
  return {kind, Uniform(range.low, range.high)};
}

Fault FaultSchedule::Take(uint32_t now) {
  const Fault fault = Draw();
  nextAt_ = now + Gap();
  return fault;
}

uint8_t FaultSchedule::HarmlessByte() {
  for (;;) {
    const auto byte = static_cast<uint8_t>(Uniform(0, 255));
    if (byte != vx710::kPowerCode) return byte;
  }
}

uint8_t FaultSchedule::FlipOneBit(uint8_t byte) {
  const uint32_t bit = Uniform(0, 7);
  auto flipped = static_cast<uint8_t>(byte ^ (1u << bit));
  // Only one bit of a byte can turn it into the power key; the next one cannot.
  if (flipped == vx710::kPowerCode) flipped = static_cast<uint8_t>(byte ^ (1u << ((bit + 1) % 8)));
  return flipped;
}

}  // namespace trellon::sim
