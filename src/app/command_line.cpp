#include "app/command_line.h"

#include "base/ini_file.h"
#include "remote/key_server.h"

namespace trellon {

bool HasNoClickArgument(const std::vector<std::string>& arguments) {
  return arguments.size() >= 2 && arguments[1] == "-noclick";
}

uint16_t KeyServerPortSetting(const char* value, std::string& problem) {
  problem.clear();
  if (value == nullptr || *value == '\0') return kKeyServerPort;
  const std::optional<int32_t> port = ParseInteger(value);
  if (port && *port >= 0 && *port <= 65535) return static_cast<uint16_t>(*port);
  problem = std::string(kKeyServerPortVariable) + "=" + value + " is no TCP port; using " +
            std::to_string(kKeyServerPort);
  return kKeyServerPort;
}

}  // namespace trellon
