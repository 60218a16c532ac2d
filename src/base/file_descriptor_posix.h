#pragma once

#include <unistd.h>

#include <utility>

namespace trellon {

// Owns a POSIX file descriptor and closes it when it goes; -1 owns nothing.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  // Gives the descriptor up to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace trellon
