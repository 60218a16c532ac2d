#include <unistd.h>

#include <cstdlib>
#include <string>

#include "remote/lirc_server.h"

namespace trellon {

std::string DefaultLircSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/trellon/lircd";
  return "/tmp/trellon-" + std::to_string(::getuid()) + "/lircd";
}

}  // namespace trellon
