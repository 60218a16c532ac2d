#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "fans/speedfan_view.h"

namespace trellon {
namespace {

std::string ErrnoText(const char* call) {
  return std::string(call) + ": " + std::error_code(errno, std::generic_category()).message();
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

SharedMemorySpeedFanView::SharedMemorySpeedFanView(std::string name) : name_(std::move(name)) {
  // Opened read-write like SpeedFan's own mapping, so that a block we create can be sized; a
  // block that grants us only reading is still good to read.
  int rawFd = ::shm_open(name_.c_str(), O_RDWR | O_CREAT, 0600);
  if (rawFd < 0 && errno == EACCES) rawFd = ::shm_open(name_.c_str(), O_RDONLY, 0);
  if (rawFd < 0) {
    error_ = ErrnoText("shm_open");
    return;
  }
  FileDescriptor fd(rawFd);

  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) {
    error_ = ErrnoText("fstat");
    return;
  }
  size_t size = status.st_size > 0 ? static_cast<size_t>(status.st_size) : 0;
  if (size == 0) {
    // Nobody has published anything yet: the block comes into being zero-filled.
    if (::ftruncate(fd.get(), static_cast<off_t>(kSpeedFanBlockSize)) != 0) {
      error_ = ErrnoText("ftruncate");
      return;
    }
    size = kSpeedFanBlockSize;
  }
  // A block shorter than SpeedFan's is mapped as far as it goes; reading past its end would
  // fault, so slots beyond it read 0.
  const size_t length = std::min(size, kSpeedFanBlockSize);
  void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd.get(), 0);
  if (mapped == MAP_FAILED) {
    error_ = ErrnoText("mmap");
    return;
  }
  view_ = static_cast<const volatile uint8_t*>(mapped);
  length_ = length;
}

SharedMemorySpeedFanView::~SharedMemorySpeedFanView() {
  // The block itself stays: SpeedFan may have it open, and it disappears with the session.
  if (view_ != nullptr) ::munmap(const_cast<uint8_t*>(view_), length_);
}

}  // namespace trellon
