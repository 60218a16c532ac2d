#include "crash/call_site_table.h"

#include <cstring>
#include <optional>

namespace trellon {
namespace {

// Pointer encodings of the exception tables (DWARF's DW_EH_PE_*).
constexpr uint8_t kOmit = 0xff;
constexpr uint8_t kAbsolute = 0x00;
constexpr uint8_t kUleb128 = 0x01;
constexpr uint8_t kUdata2 = 0x02;
constexpr uint8_t kUdata4 = 0x03;
constexpr uint8_t kUdata8 = 0x04;
constexpr uint8_t kSleb128 = 0x09;
constexpr uint8_t kSdata2 = 0x0a;
constexpr uint8_t kSdata4 = 0x0b;
constexpr uint8_t kSdata8 = 0x0c;
constexpr uint8_t kPcRelative = 0x10;
constexpr uint8_t kIndirect = 0x80;

class TableReader {
 public:
  explicit TableReader(const uint8_t* position) : position_(position) {}

  const uint8_t* Position() const { return position_; }
  uint8_t Byte() { return *position_++; }

  uint64_t Uleb128() { return Leb128(false); }
  int64_t Sleb128() { return static_cast<int64_t>(Leb128(true)); }

  // A value in one of the encodings above; nothing for an encoding this reader does not know
  // (relative to text or data segments, which these tables do not use on this platform).
  std::optional<uint64_t> Encoded(uint8_t encoding) {
    const uint8_t* start = position_;
    uint64_t value = 0;
    switch (encoding & 0x0f) {
      case kAbsolute:
        value = Fixed<uintptr_t>();
        break;
      case kUleb128:
        value = Uleb128();
        break;
      case kUdata2:
        value = Fixed<uint16_t>();
        break;
      case kUdata4:
        value = Fixed<uint32_t>();
        break;
      case kUdata8:
        value = Fixed<uint64_t>();
        break;
      case kSleb128:
        value = static_cast<uint64_t>(Sleb128());
        break;
      case kSdata2:
        value = static_cast<uint64_t>(static_cast<int64_t>(Fixed<int16_t>()));
        break;
      case kSdata4:
        value = static_cast<uint64_t>(static_cast<int64_t>(Fixed<int32_t>()));
        break;
      case kSdata8:
        value = Fixed<uint64_t>();
        break;
      default:
        return std::nullopt;
    }
    switch (encoding & 0x70) {
      case 0:
        break;
      case kPcRelative:
        if (value != 0) value += reinterpret_cast<uintptr_t>(start);
        break;
      default:
        return std::nullopt;
    }
    if ((encoding & kIndirect) && value != 0) {
      uintptr_t target = 0;
      std::memcpy(&target, reinterpret_cast<const void*>(static_cast<uintptr_t>(value)),
                  sizeof target);
      value = target;
    }
    return value;
  }

 private:
  // LEB128: seven bits a byte, low first; a signed value extends the sign of its last byte.
  uint64_t Leb128(bool isSigned) {
    uint64_t value = 0;
    unsigned shift = 0;
    uint8_t byte = 0;
    do {
      byte = *position_++;
      if (shift < 64) value |= static_cast<uint64_t>(byte & 0x7f) << shift;
      shift += 7;
    } while (byte & 0x80);
    if (isSigned && shift < 64 && (byte & 0x40)) value |= ~uint64_t{0} << shift;
    return value;
  }

  template <typename T>
  T Fixed() {
    T value;
    std::memcpy(&value, position_, sizeof value);
    position_ += sizeof value;
    return value;
  }

  const uint8_t* position_;
};

// The action records of a call site: a chain of (type filter, offset to the next record).
// Filter 0 is a cleanup, a positive one a catch clause, a negative one a list of allowed
// exceptions (`throw(...)`).
FrameHandling ClassifyActions(const uint8_t* actionTable, uint64_t action) {
  TableReader reader(actionTable + (action - 1));
  for (int records = 0; records < 1024; ++records) {
    const int64_t filter = reader.Sleb128();
    if (filter != 0) return FrameHandling::Examines;
    const uint8_t* next = reader.Position();
    const int64_t displacement = reader.Sleb128();
    if (displacement == 0) return FrameHandling::Cleanup;
    reader = TableReader(next + displacement);
  }
  return FrameHandling::Cleanup;
}

}  // namespace

FrameHandling ClassifyCallSite(const uint8_t* table, uintptr_t functionStart,
                               uintptr_t instruction) {
  if (table == nullptr) return FrameHandling::None;
  TableReader reader(table);
  // Where the landing pads lie does not matter here, only whether a call has one.
  const uint8_t landingPadBaseEncoding = reader.Byte();
  if (landingPadBaseEncoding != kOmit && !reader.Encoded(landingPadBaseEncoding)) {
    return FrameHandling::None;
  }
  const uint8_t typeTableEncoding = reader.Byte();
  if (typeTableEncoding != kOmit) reader.Uleb128();
  const uint8_t callSiteEncoding = reader.Byte();
  const uint64_t callSiteTableLength = reader.Uleb128();
  const uint8_t* actionTable = reader.Position() + callSiteTableLength;

  while (reader.Position() < actionTable) {
    const auto start = reader.Encoded(callSiteEncoding);
    const auto length = reader.Encoded(callSiteEncoding);
    const auto landingPad = reader.Encoded(callSiteEncoding);
    const uint64_t action = reader.Uleb128();
    if (!start || !length || !landingPad) return FrameHandling::None;
    // The table is sorted: past the instruction, no later entry holds it.
    if (instruction < functionStart + *start) break;
    if (instruction >= functionStart + *start + *length) continue;
    if (*landingPad == 0) return FrameHandling::None;
    if (action == 0) return FrameHandling::Cleanup;
    return ClassifyActions(actionTable, action);
  }
  // A call that the table does not list may not throw.
  return FrameHandling::Terminates;
}

}  // namespace trellon
