#include "base/atomic_file.h"

#include <fstream>
#include <sstream>

namespace trellon {

bool ReadFileContent(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return true;
}

}  // namespace trellon
