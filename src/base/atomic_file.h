#pragma once

#include <string>

namespace trellon {

// Replaces a file's whole content so that a crash or power loss leaves either the old or the new
// file, never half of one: the text goes to a temporary file beside it, is flushed to the disk and
// renamed over the old file. A file that exists but is read-only (no write bit, or no write access)
// is not replaced. Returns an empty string on success, else the reason ("<file>: <error>").
// It waits for the disk, so the program calls it only on the file writer's thread. Each platform
// has its own (atomic_file_posix.cpp).
std::string ReplaceFileContent(const std::string& path, const std::string& content);

// Reads a whole file; false when it cannot be read.
bool ReadFileContent(const std::string& path, std::string& content);

}  // namespace trellon
