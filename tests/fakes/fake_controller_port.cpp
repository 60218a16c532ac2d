#include "fakes/fake_controller_port.h"

#include <algorithm>

namespace trellon::fakes {

void FakeControllerPort::Open() {
  if (connected) return;
  if (openFailuresLeft > 0) {
    --openFailuresLeft;
    calls.push_back("Open failed");
    throw FakePortError(openError);
  }
  calls.push_back("Open");
  connected = true;
}

void FakeControllerPort::Close() {
  // Recorded even when closed (a no-op then), so that the order of the calls can be checked.
  calls.push_back("Close");
  connected = false;
}

void FakeControllerPort::SetRTSLine(bool on) {
  calls.push_back(on ? "SetRTSLine(1)" : "SetRTSLine(0)");
}

void FakeControllerPort::SetDTRLine(bool on) {
  calls.push_back(on ? "SetDTRLine(1)" : "SetDTRLine(0)");
}

int32_t FakeControllerPort::WriteBytes(const std::vector<uint8_t>& bytes) {
  calls.push_back("WriteBytes");
  if (failWrites || !connected) throw FakePortError("WriteFile function failed");
  writes.push_back({clock_ ? clock_->TickCount() : 0, bytes});
  return static_cast<int32_t>(bytes.size());
}

std::vector<uint8_t> FakeControllerPort::ReadBytes(int32_t count) {
  calls.push_back("ReadBytes(" + std::to_string(count) + ")");
  const size_t n = std::min(incoming.size(), static_cast<size_t>(std::max(count, 0)));
  std::vector<uint8_t> bytes(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(n));
  incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(n));
  return bytes;
}

TModemLines FakeControllerPort::ModemLines() {
  calls.push_back("ModemLines");
  return lines;
}

std::vector<uint8_t> FakeControllerPort::WrittenBytes() const {
  std::vector<uint8_t> all;
  for (const Write& write : writes) all.insert(all.end(), write.bytes.begin(), write.bytes.end());
  return all;
}

}  // namespace trellon::fakes
