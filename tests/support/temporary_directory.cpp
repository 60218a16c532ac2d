#include "support/temporary_directory.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace trellon::test_support {

namespace fs = std::filesystem;

TemporaryDirectory::TemporaryDirectory() {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("trellon-test-" + std::to_string(random()));
    // create_directory is false for a name that exists already: another test's, try the next.
    if (fs::create_directory(candidate)) path_ = candidate.string();
  }
  if (path_.empty()) throw std::runtime_error("no fresh temporary directory");
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  // Directories a test made read-only would keep their entries from being removed.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

TemporaryWorkingDirectory::TemporaryWorkingDirectory() : previous_(fs::current_path()) {
  fs::current_path(Path());
}

TemporaryWorkingDirectory::~TemporaryWorkingDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteText(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!(file << content) || !file.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace trellon::test_support
