#include "app/command_line.h"

#include "base/ini_file.h"
#include "remote/key_server.h"

namespace trellon {

bool HasNoClickArgument(const std::vector<std::string>& arguments) {
  return arguments.size() >= 2 && arguments[1] == "-noclick";
}

std::optional<std::string> CommandLineAnswer(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) return std::nullopt;
  if (arguments[1] == "--version") return std::string("trellon ") + TRELLON_VERSION + "\n";
  if (arguments[1] != "--help") return std::nullopt;
  return "Usage: trellon [-noclick]\n"
         "\n"
         "Trellon controls the VX710 home-theatre PC case over its serial line: remote control,\n"
         "fans, temperatures and volume knob. It serves the remote's keys to media-centre\n"
         "programs on TCP port 21000 and keeps a log.\n"
         "\n"
         "  -noclick   clicks on the Display page are not forwarded to the mirrored monitor\n"
         "  --help     show this help and exit\n"
         "  --version  show the version and exit\n"
         "\n"
         "Trellon keeps its settings (Trellon.ini) and its log (Trellon.log) in the working\n"
         "directory. The desktop launcher starts it in $XDG_STATE_HOME/trellon\n"
         "(~/.local/state/trellon).\n"
         "\n"
         "Environment:\n"
         "  TRELLON_COM3             serial device of the controller (default /dev/ttyS2)\n"
         "  TRELLON_KEY_SERVER_PORT  TCP port of the key server (default 21000, 0: any free)\n"
         "  LC_TIME                  date and time format of the log's time stamps\n";
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
