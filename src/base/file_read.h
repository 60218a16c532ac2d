#pragma once

#include <cstddef>
#include <limits>
#include <string>

namespace trellon {

enum class FileStatus {
  Read,        // the content was read
  Missing,     // there is no such file
  Unreadable,  // it cannot be read, or it is not a regular file (a FIFO, a device, a folder)
  TooLarge,    // it holds more than the reader takes
};

// What reading a file found.
struct FileRead {
  FileStatus status = FileStatus::Read;
  // Why the file was not read ("<file>: <error>"); empty when it was read or is missing.
  std::string reason;
  // Only the file's last bytes were read: the text begins inside a line.
  bool cut = false;
};

enum class ReadPart {
  Whole,  // a file over the limit is TooLarge and not read
  Tail,   // of a file over the limit the last bytes up to the limit are read
};

// Reads at most maxBytes of a file into content (empty unless Read). Only regular files are read,
// and they are opened without waiting, so that a FIFO without a writer cannot hold the program and
// an endless device cannot fill its memory. A file without any read bit counts as unreadable even
// for a user whose rights would allow reading it (root), as the atomic replace treats the write
// bits. Each platform has its own (file_read_posix.cpp).
FileRead ReadFile(const std::string& path, std::string& content, size_t maxBytes,
                  ReadPart part = ReadPart::Whole);

// A whole regular file, for tools and tests that read what they wrote; false when it cannot be
// read.
inline bool ReadFileContent(const std::string& path, std::string& content) {
  return ReadFile(path, content, std::numeric_limits<size_t>::max()).status == FileStatus::Read;
}

}  // namespace trellon
