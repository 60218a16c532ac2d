#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sensor_source.h"

namespace trellon::sensors {

constexpr int kSlotCount = 32;

// A sensor's identity across reads: its chip and label.
struct SensorKey {
  std::string chip;
  std::string label;
  auto operator<=>(const SensorKey&) const = default;
};

// A slot fixed to a sensor by the user.
struct SlotPin {
  int slot;
  SensorKey sensor;
};

// The pin file: one line per pinned slot, "<slot> <chip> <label>", the label being the rest of
// the line; blank lines and lines starting with '#' are left out. Lines that cannot be used are
// listed in `problems` ("line 3: ...") and left out.
std::vector<SlotPin> ParsePins(const std::string& text, std::vector<std::string>& problems);

// Which sensor is in which of the 32 slots of the shared block. Pinned slots hold their sensor;
// every other sensor gets the lowest free slot when it is first seen (the first read's sensors in
// chip and label order), and keeps it for the program's life: a sensor that vanishes reads 0
// (no reading) until it comes back into the same slot. Sensors beyond 32 get no slot.
class SlotTable {
 public:
  explicit SlotTable(const std::vector<SlotPin>& pins = {});

  // Takes one read of the source; returns the slot values in hundredths of a degree (0 for an
  // empty slot, a vanished sensor or a failed reading).
  std::array<int32_t, kSlotCount> Update(const std::vector<SensorReading>& readings);

  // The slot of a sensor; nothing when it has none.
  std::optional<int> SlotOf(const SensorKey& sensor) const;
  // The sensor of a slot; nothing for an empty slot.
  const SensorKey* SensorIn(int slot) const;

 private:
  std::array<std::optional<SensorKey>, kSlotCount> slots_;
  std::map<SensorKey, int> slotOf_;
};

// Hundredths of a degree, rounded to the nearest; 0 for no reading.
int32_t HundredthsOf(const std::optional<double>& celsius);

// The text of --list: a line per sensor, "slot  chip  label  value", those without a slot last.
std::string ListText(const SlotTable& table, const std::vector<SensorReading>& readings);

}  // namespace trellon::sensors
