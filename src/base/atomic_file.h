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

// Moves a file to another name in the same folder, replacing a file of that name. Returns an
// empty string on success, else the reason ("<file>: <error>").
std::string RenameFile(const std::string& from, const std::string& to);

}  // namespace trellon
