#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "base/file_descriptor_posix.h"
#include "fans/speedfan_view.h"

namespace trellon {
namespace {

std::string ErrnoText(const char* call) {
  return std::string(call) + ": " + std::error_code(errno, std::generic_category()).message();
}

}  // namespace

// A descriptor on the block, and which block it is, to tell it from one made later under the
// same name.
struct SharedMemorySpeedFanView::Block {
  int fd = -1;
  dev_t device = 0;
  ino_t inode = 0;
};

SharedMemorySpeedFanView::SharedMemorySpeedFanView(std::string name) : name_(std::move(name)) {
  // Opened read-write like SpeedFan's own, so that a block we create can be sized; a block that
  // grants us only reading is still good to read.
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
  if (status.st_size == 0) {
    // Nobody has published anything yet: the block comes into being zero-filled.
    if (::ftruncate(fd.get(), static_cast<off_t>(kSpeedFanBlockSize)) != 0) {
      error_ = ErrnoText("ftruncate");
      return;
    }
  }
  block_ = std::make_unique<Block>(Block{fd.release(), status.st_dev, status.st_ino});
}

SharedMemorySpeedFanView::~SharedMemorySpeedFanView() {
  // The block itself stays: SpeedFan may have it open, and it disappears with the session.
  if (block_) ::close(block_->fd);
}

void SharedMemorySpeedFanView::FollowReplacedBlock() const {
  FileDescriptor current(::shm_open(name_.c_str(), O_RDONLY, 0));
  // Gone and not made again: the block held is the last one there was.
  if (current.get() < 0) return;
  struct stat status {};
  if (::fstat(current.get(), &status) != 0) return;
  if (status.st_dev == block_->device && status.st_ino == block_->inode) return;
  ::close(block_->fd);
  *block_ = Block{current.release(), status.st_dev, status.st_ino};
}

size_t SharedMemorySpeedFanView::ReadBlock(size_t offset, uint8_t* bytes, size_t size) const {
  size_t copied = 0;
  while (copied < size) {
    const ssize_t n =
        ::pread(block_->fd, bytes + copied, size - copied, static_cast<off_t>(offset + copied));
    if (n > 0) {
      copied += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // The end of the block; an error reads the same, as no more bytes.
      break;
    }
  }
  return copied;
}

}  // namespace trellon
