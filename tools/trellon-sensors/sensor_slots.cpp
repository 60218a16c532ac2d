#include "sensor_slots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace trellon::sensors {

std::vector<SlotPin> ParsePins(const std::string& text, std::vector<std::string>& problems) {
  std::vector<SlotPin> pins;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first[0] == '#') continue;
    const auto problem = [&](const std::string& what) {
      problems.push_back("line " + std::to_string(number) + ": " + what);
    };
    int slot = -1;
    try {
      size_t used = 0;
      slot = std::stoi(first, &used);
      if (used != first.size()) slot = -1;
    } catch (const std::logic_error&) {
      slot = -1;  // reported just below
    }
    if (slot < 0 || slot >= kSlotCount) {
      problem("the slot must be a number from 0 to 31, not \"" + first + "\"");
      continue;
    }
    SensorKey sensor;
    std::string label;
    if (!(words >> sensor.chip) || !std::getline(words >> std::ws, label) || label.empty()) {
      problem("expected \"<slot> <chip> <label>\"");
      continue;
    }
    sensor.label = label;
    const auto taken = std::find_if(pins.begin(), pins.end(), [&](const SlotPin& pin) {
      return pin.slot == slot || pin.sensor == sensor;
    });
    if (taken != pins.end()) {
      problem("slot " + first + " or its sensor is pinned twice");
      continue;
    }
    pins.push_back({slot, sensor});
  }
  return pins;
}

SlotTable::SlotTable(const std::vector<SlotPin>& pins) {
  for (const SlotPin& pin : pins) {
    slots_[static_cast<size_t>(pin.slot)] = pin.sensor;
    slotOf_[pin.sensor] = pin.slot;
  }
}

int32_t HundredthsOf(const std::optional<double>& celsius) {
  if (!celsius || !std::isfinite(*celsius)) return 0;
  const double hundredths = std::round(*celsius * 100.0);
  constexpr double kLimit = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(hundredths, -kLimit, kLimit));
}

std::array<int32_t, kSlotCount> SlotTable::Update(const std::vector<SensorReading>& readings) {
  // New sensors in a fixed order, so that the same machine gets the same slots every start.
  std::vector<SensorKey> newcomers;
  for (const SensorReading& reading : readings) {
    SensorKey key{reading.chip, reading.label};
    if (!slotOf_.contains(key)) newcomers.push_back(std::move(key));
  }
  std::sort(newcomers.begin(), newcomers.end());
  newcomers.erase(std::unique(newcomers.begin(), newcomers.end()), newcomers.end());
  size_t free = 0;
  for (SensorKey& key : newcomers) {
    while (free < slots_.size() && slots_[free]) ++free;
    if (free == slots_.size()) break;
    slotOf_[key] = static_cast<int>(free);
    slots_[free] = std::move(key);
  }

  std::array<int32_t, kSlotCount> values{};
  for (const SensorReading& reading : readings) {
    if (const auto slot = SlotOf({reading.chip, reading.label})) {
      values[static_cast<size_t>(*slot)] = HundredthsOf(reading.celsius);
    }
  }
  return values;
}

std::optional<int> SlotTable::SlotOf(const SensorKey& sensor) const {
  const auto it = slotOf_.find(sensor);
  if (it == slotOf_.end()) return std::nullopt;
  return it->second;
}

const SensorKey* SlotTable::SensorIn(int slot) const {
  if (slot < 0 || slot >= kSlotCount || !slots_[static_cast<size_t>(slot)]) return nullptr;
  return &*slots_[static_cast<size_t>(slot)];
}

std::string ListText(const SlotTable& table, const std::vector<SensorReading>& readings) {
  std::ostringstream text;
  const auto value = [](const std::optional<double>& celsius) {
    if (!celsius) return std::string("no reading");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f °C", *celsius);
    return std::string(buffer);
  };
  text << "slot  chip  label  value\n";
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const SensorKey* sensor = table.SensorIn(slot);
    if (!sensor) continue;
    const auto reading = std::find_if(readings.begin(), readings.end(), [&](const auto& r) {
      return r.chip == sensor->chip && r.label == sensor->label;
    });
    text << slot << "  " << sensor->chip << "  " << sensor->label << "  "
         << (reading == readings.end() ? std::string("gone") : value(reading->celsius)) << "\n";
  }
  for (const SensorReading& reading : readings) {
    if (!table.SlotOf({reading.chip, reading.label})) {
      text << "-  " << reading.chip << "  " << reading.label << "  " << value(reading.celsius)
           << " (no free slot)\n";
    }
  }
  return text.str();
}

}  // namespace trellon::sensors
