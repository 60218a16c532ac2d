// The atomic replace and the rename on POSIX systems: write, fdatasync and rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/atomic_file.h"

namespace trellon {

std::string ReplaceFileContent(const std::string& path, const std::string& content) {
  // A file the user made read-only stays untouched, even for a user whose rights would allow the
  // rename over it (root): the write bits say what the user wants.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 &&
      ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0)) {
    return path + ": " + std::strerror(EACCES);
  }
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return temporary + ": " + std::strerror(errno);
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      const std::string reason = temporary + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(temporary.c_str());
      return reason;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  // The descriptor is closed also when the flush fails; the flush's error is the reason then.
  const int syncError = ::fdatasync(fd) == 0 ? 0 : errno;
  const int closeError = ::close(fd) == 0 ? 0 : errno;
  if (syncError != 0 || closeError != 0) {
    const std::string reason =
        temporary + ": " + std::strerror(syncError != 0 ? syncError : closeError);
    ::unlink(temporary.c_str());
    return reason;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return reason;
  }
  return {};
}

std::string RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return from + ": " + std::strerror(errno);
  return {};
}

}  // namespace trellon
