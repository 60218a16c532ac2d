#include "e2e_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/event_log.h"
#include "fans/speedfan_view.h"
#include "support/wait.h"

namespace trellon::e2e {
namespace {

using test_support::Deadline;

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

// --- SimProcess ---

SimProcess::SimProcess(const TemporaryDirectory& directory, const std::vector<std::string>& options)
    : test_support::SimProcess(
          VX710_SIM_PATH,
          [&] {
            std::vector<std::string> all = {"--link", directory.File("vx710")};
            all.insert(all.end(), options.begin(), options.end());
            return all;
          }(),
          directory.File("vx710-sim.stderr")),
      linkPath_(directory.File("vx710")) {}

// --- ProgramProcess ---

ProgramProcess::ProgramProcess(const TemporaryDirectory& directory, const Environment& environment)
    : logPath_(directory.File("Trellon.log")),
      errorPath_(directory.File("trellon.stderr")),
      process_([&] {
        ChildProcess::Options child({TRELLON_PATH});
        child.environment = environment;
        child.environment.emplace_back("QT_QPA_PLATFORM", "offscreen");
        child.workingDirectory = directory.Path();
        child.errorFile = directory.File("trellon.stderr");
        return child;
      }()) {}

std::vector<std::string> ProgramProcess::LogMessages() const {
  std::vector<std::string> messages;
  for (const auto& line : SplitLines(test_support::ReadText(logPath_))) {
    const size_t separator = line.find(": ");
    messages.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
  }
  return messages;
}

bool ProgramProcess::WaitForLog(const std::string& message, int timeoutMs, size_t count) {
  return test_support::WaitFor(
      [&] {
        const auto messages = LogMessages();
        return static_cast<size_t>(std::count(messages.begin(), messages.end(), message)) >= count;
      },
      timeoutMs);
}

std::string ProgramProcess::StandardError() const {
  return test_support::ReadText(errorPath_);
}

std::optional<ExitStatus> ProgramProcess::Terminate(int timeoutMs) {
  process_.Signal(SIGTERM);
  return process_.WaitExit(timeoutMs);
}

// --- KeyClient ---

void KeyClient::Pump(int timeoutMs) {
  if (!socket_.HasInput(timeoutMs)) return;
  const std::vector<uint8_t> bytes = socket_.ReceiveAvailable();
  const SteadyTime now = std::chrono::steady_clock::now();
  partial_.insert(partial_.end(), bytes.begin(), bytes.end());
  while (partial_.size() >= kRecordSize) {
    records_.push_back(
        {std::vector<uint8_t>(partial_.begin(), partial_.begin() + kRecordSize), now});
    partial_.erase(partial_.begin(), partial_.begin() + kRecordSize);
  }
}

void KeyClient::ReadFor(int ms) {
  ReadUntil(SIZE_MAX, ms);
}

void KeyClient::ReadUntil(size_t count, int timeoutMs) {
  const Deadline deadline(timeoutMs);
  while (records_.size() < count && !deadline.Passed() && !Closed()) Pump(deadline.MillisLeft());
}

// --- SpeedFanPublisher ---

SpeedFanPublisher::SpeedFanPublisher() {
  const int fd = shm_open(kSpeedFanBlockName, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = Errno("shm_open");
    return;
  }
  struct stat status {};
  // A block of SpeedFan's may be longer; only a shorter one is grown.
  if (fstat(fd, &status) != 0 || (status.st_size < static_cast<off_t>(kSpeedFanBlockSize) &&
                                  ftruncate(fd, static_cast<off_t>(kSpeedFanBlockSize)) != 0)) {
    error_ = Errno("sizing the block");
    close(fd);
    return;
  }
  void* mapped = mmap(nullptr, kSpeedFanBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) {
    error_ = Errno("mmap");
    return;
  }
  block_ = static_cast<uint8_t*>(mapped);
}

SpeedFanPublisher::~SpeedFanPublisher() {
  if (!block_) return;
  for (const int slot : touched_) SetSlot(slot, 0);
  munmap(block_, kSpeedFanBlockSize);
}

void SpeedFanPublisher::SetSlot(int slot, int32_t hundredths) {
  if (!block_ || slot < 0 || slot >= kSpeedFanSlotCount) return;
  if (std::find(touched_.begin(), touched_.end(), slot) == touched_.end()) {
    touched_.push_back(slot);
  }
  const uint32_t value = static_cast<uint32_t>(hundredths);
  uint8_t* at = block_ + kSpeedFanTemperatureOffset + 4 * static_cast<size_t>(slot);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace trellon::e2e
