#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "base/atomic_file.h"

namespace trellon::testing {

// Runs a test in a fresh, empty working directory and goes back afterwards.
class TemporaryWorkingDirectory {
 public:
  TemporaryWorkingDirectory() {
    char buffer[4096];
    previous_ = getcwd(buffer, sizeof buffer) ? buffer : "/";
    if (chdir(directory_.path().toLocal8Bit().constData()) != 0) ok_ = false;
  }
  ~TemporaryWorkingDirectory() {
    // Let QTemporaryDir remove what a test made read-only.
    chmod(Path().c_str(), 0700);
    [[maybe_unused]] const int ignored = chdir(previous_.c_str());
  }
  bool Ok() const { return ok_ && directory_.isValid(); }
  std::string Path() const { return directory_.path().toStdString(); }
  std::string File(const std::string& name) const { return Path() + "/" + name; }

 private:
  QTemporaryDir directory_;
  std::string previous_;
  bool ok_ = true;
};

inline std::string ReadText(const std::string& path) {
  std::string content;
  ReadFileContent(path, content);
  return content;
}

inline void WriteText(const std::string& path, const std::string& content) {
  ReplaceFileContent(path, content);
}

}  // namespace trellon::testing
