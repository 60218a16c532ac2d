#include "app/command_line.h"

namespace trellon {

bool HasNoClickArgument(const std::vector<std::string>& arguments) {
  return arguments.size() >= 2 && arguments[1] == "-noclick";
}

}  // namespace trellon
