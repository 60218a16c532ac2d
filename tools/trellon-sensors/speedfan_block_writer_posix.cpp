#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "speedfan_block_writer.h"

namespace trellon::sensors {

SpeedFanBlockWriter::SpeedFanBlockWriter(std::string name) : name_(std::move(name)) {
  const int fd = ::shm_open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = "cannot open the shared block " + name_ + ": " + std::strerror(errno);
    return;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || (status.st_size < static_cast<off_t>(kSpeedFanBlockSize) &&
                                    ::ftruncate(fd, static_cast<off_t>(kSpeedFanBlockSize)) != 0)) {
    error_ = "cannot size the shared block " + name_ + ": " + std::strerror(errno);
    ::close(fd);
    return;
  }
  void* mapped = ::mmap(nullptr, kSpeedFanBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  // The mapping holds the block; the descriptor is not needed any more.
  ::close(fd);
  if (mapped == MAP_FAILED) {
    error_ = "cannot map the shared block " + name_ + ": " + std::strerror(errno);
    return;
  }
  block_ = static_cast<uint8_t*>(mapped);
}

SpeedFanBlockWriter::~SpeedFanBlockWriter() {
  if (block_) ::munmap(block_, kSpeedFanBlockSize);
}

void SpeedFanBlockWriter::Write(const std::array<int32_t, kSlotCount>& values) {
  if (!block_) return;
  for (size_t slot = 0; slot < values.size(); ++slot) {
    const auto value = static_cast<uint32_t>(values[slot]);
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    // One copy per slot: a reader takes each slot on its own.
    std::memcpy(block_ + kSpeedFanTemperatureOffset + 4 * slot, bytes, sizeof bytes);
  }
}

}  // namespace trellon::sensors
