#pragma once

// Files for a test: a fresh directory of its own, and whole-file reads and writes.

#include <filesystem>
#include <string>

namespace trellon::test_support {

// A fresh, empty directory under the system's temporary directory, removed with everything in
// it at the end, also when a test made something in it read-only. Throws when it cannot be made.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A temporary directory that is the working directory while the object lives.
class TemporaryWorkingDirectory : public TemporaryDirectory {
 public:
  TemporaryWorkingDirectory();
  ~TemporaryWorkingDirectory();

 private:
  std::filesystem::path previous_;
};

// The whole file, byte for byte; empty when it cannot be read.
std::string ReadText(const std::string& path);
// Replaces the file's content; throws when it cannot be written.
void WriteText(const std::string& path, const std::string& content);

}  // namespace trellon::test_support
