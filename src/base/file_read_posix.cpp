// Reading a file on POSIX systems: check the kind, open without waiting, check the size, pread.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/file_descriptor_posix.h"
#include "base/file_read.h"

namespace trellon {
namespace {

std::string Reason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

}  // namespace

FileRead ReadFile(const std::string& path, std::string& content, size_t maxBytes, ReadPart part) {
  content.clear();
  // Anything but a regular file is not even opened: opening a FIFO waits for a writer, opening a
  // serial device switches its lines.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return {FileStatus::Missing, {}};
    return {FileStatus::Unreadable, Reason(path, errno)};
  }
  if (!S_ISREG(info.st_mode)) return {FileStatus::Unreadable, path + ": not a regular file"};
  // Without waiting all the same, and checked again, should the file have been swapped meanwhile.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return {FileStatus::Missing, {}};
    return {FileStatus::Unreadable, Reason(path, errno)};
  }
  if (::fstat(file.get(), &info) != 0) return {FileStatus::Unreadable, Reason(path, errno)};
  if (!S_ISREG(info.st_mode)) return {FileStatus::Unreadable, path + ": not a regular file"};
  if ((info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) == 0) {
    return {FileStatus::Unreadable, Reason(path, EACCES)};
  }
  const auto size = static_cast<size_t>(info.st_size);
  FileRead read;
  off_t start = 0;
  if (size > maxBytes) {
    if (part == ReadPart::Whole) {
      return {FileStatus::TooLarge, path + ": " + std::to_string(size) + " bytes, more than the " +
                                        std::to_string(maxBytes) + " taken"};
    }
    start = static_cast<off_t>(size - maxBytes);
    read.cut = true;
  }
  // What the file held when it was looked at; a file that grows meanwhile is read no further.
  content.resize(std::min(size, maxBytes));
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t got = ::pread(file.get(), content.data() + done, content.size() - done,
                                start + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      content.clear();
      return {FileStatus::Unreadable, Reason(path, error)};
    }
    if (got == 0) break;  // it shrank
    done += static_cast<size_t>(got);
  }
  content.resize(done);
  return read;
}

}  // namespace trellon
